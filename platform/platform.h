// The platform layer: one wrapper per Win32 service the program uses, with the service's own meaning,
// so that the logic above runs the same on Windows, on a Linux desktop (GTK 3) and headless in tests.
#pragma once

// Conventions for every backend (win32, gtk, headless):
// - Names are ours; window messages, flags and constants keep their Win32 names and values. On Windows
//   they come from <windows.h>, elsewhere from this header.
// - Results keep the Win32 meaning: false / null / 0 on failure, with platform_get_last_error() giving
//   the Win32 error code of the failure (ERROR_ALREADY_EXISTS, ...). Nothing throws.
// - One thread. Messages posted to a window wait in one queue that platform_peek_message drains in
//   order; WM_QUIT is returned only once that queue is empty. A backend with its own event loop (GTK)
//   runs one non-blocking iteration of it inside platform_peek_message and turns what it sees into
//   posted messages.
// - Modal calls (platform_message_box, platform_track_popup_menu) run a nested loop that keeps
//   dispatching queued messages until the user answers, so the window procedure can be entered again
//   while a handler is inside one of them; a WM_QUIT seen there is left for the outer loop.

#include <cstddef>
#include <cstdint>
#ifndef _WIN32
#include <mutex>
#endif

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>
#ifndef MOD_NOREPEAT
#define MOD_NOREPEAT 0x4000  // Windows 7 and later; older headers leave it out
#endif
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0  // Windows 8.1 and later
#endif

#define PLATFORM_CALLBACK CALLBACK
typedef HWND WindowHandle;
typedef HMENU MenuHandle;
typedef HICON IconHandle;
typedef HDC DeviceContext;
typedef HBITMAP BitmapHandle;
typedef HGDIOBJ GdiObject;
typedef HDROP DropHandle;
typedef HINSTANCE InstanceHandle;
typedef HANDLE FindHandle;

#else  // not _WIN32

#define PLATFORM_CALLBACK
// Each backend defines these structures; the code above only holds pointers to them.
struct PlatformWindow;
struct PlatformMenu;
struct PlatformIcon;
struct PlatformDeviceContext;
struct PlatformBitmap;
struct PlatformDrop;
struct PlatformInstance;
struct PlatformFind;
typedef PlatformWindow* WindowHandle;
typedef PlatformMenu* MenuHandle;
typedef PlatformIcon* IconHandle;
typedef PlatformDeviceContext* DeviceContext;
typedef PlatformBitmap* BitmapHandle;
typedef void* GdiObject;  // any GDI object, as HGDIOBJ: a BitmapHandle converts to it
typedef PlatformDrop* DropHandle;
typedef PlatformInstance* InstanceHandle;
typedef PlatformFind* FindHandle;

typedef intptr_t LRESULT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;

#define LOWORD(l) ((uint16_t)(((uintptr_t)(l)) & 0xFFFF))
#define HIWORD(l) ((uint16_t)((((uintptr_t)(l)) >> 16) & 0xFFFF))
#define MAKELPARAM(low, high) \
  ((LPARAM)(uint32_t)(((uint32_t)(uint16_t)(low)) | (((uint32_t)(uint16_t)(high)) << 16)))

#define MAX_PATH 260

// Window messages.
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_SETTINGCHANGE 0x001A
#define WM_DISPLAYCHANGE 0x007E
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_COMMAND 0x0111
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_LBUTTONDBLCLK 0x0203
#define WM_RBUTTONDOWN 0x0204
#define WM_RBUTTONUP 0x0205
#define WM_RBUTTONDBLCLK 0x0206
#define WM_CAPTURECHANGED 0x0215
#define WM_DROPFILES 0x0233
#define WM_DPICHANGED 0x02E0
#define WM_HOTKEY 0x0312
#define WM_USER 0x0400
#define WM_APP 0x8000
#define MK_LBUTTON 0x0001
#define MK_RBUTTON 0x0002

// Window classes, styles, creation and placement.
#define CS_DBLCLKS 0x0008
#define WS_POPUP 0x80000000u
#define WS_VISIBLE 0x10000000u
#define WS_EX_TOPMOST 0x00000008u
#define WS_EX_ACCEPTFILES 0x00000010u
#define WS_EX_TOOLWINDOW 0x00000080u
#define WS_EX_LAYERED 0x00080000u
#define CW_USEDEFAULT ((int)0x80000000)
#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOREDRAW 0x0008
#define SWP_NOACTIVATE 0x0010
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080
#define SWP_NOOWNERZORDER 0x0200
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5
#define ULW_ALPHA 0x00000002
#define AC_SRC_OVER 0x00
#define AC_SRC_ALPHA 0x01

// System settings (WM_SETTINGCHANGE's wparam).
#define SPI_SETWORKAREA 0x002F

// App bar notices (the app bar callback message's wparam).
#define ABN_FULLSCREENAPP 0x00000002

// Message queue.
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

// Message boxes.
#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_YESNO 0x00000004u
#define MB_ICONERROR 0x00000010u
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONWARNING 0x00000030u
#define MB_ICONINFORMATION 0x00000040u
#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

// Menus.
#define MF_STRING 0x00000000u
#define MF_BYCOMMAND 0x00000000u
#define MF_UNCHECKED 0x00000000u
#define MF_GRAYED 0x00000001u
#define MF_CHECKED 0x00000008u
#define MF_BYPOSITION 0x00000400u
#define MF_SEPARATOR 0x00000800u
#define MFT_RADIOCHECK 0x00000200u
#define TPM_LEFTALIGN 0x0000u
#define TPM_TOPALIGN 0x0000u
#define TPM_RIGHTALIGN 0x0008u
#define TPM_BOTTOMALIGN 0x0020u
#define TPM_RETURNCMD 0x0100u

// Tray icon.
#define NIM_ADD 0x00000000u
#define NIM_MODIFY 0x00000001u
#define NIM_DELETE 0x00000002u
#define NIF_MESSAGE 0x00000001u
#define NIF_ICON 0x00000002u
#define NIF_TIP 0x00000004u

// Hot keys.
#define MOD_ALT 0x0001
#define MOD_CONTROL 0x0002
#define MOD_SHIFT 0x0004
#define MOD_NOREPEAT 0x4000
#define VK_F1 0x70

// Error codes (platform_get_last_error).
#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_NO_MORE_FILES 18
#define ERROR_WRITE_PROTECT 19
#define ERROR_GEN_FAILURE 31
#define ERROR_NOT_SUPPORTED 50
#define ERROR_FILE_EXISTS 80
#define ERROR_INVALID_PARAMETER 87
#define ERROR_DISK_FULL 112
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_INVALID_NAME 123
#define ERROR_DIR_NOT_EMPTY 145
#define ERROR_ALREADY_EXISTS 183
#define ERROR_FILENAME_EXCED_RANGE 206
#define ERROR_DIRECTORY 267
#define ERROR_INVALID_WINDOW_HANDLE 1400
#define ERROR_INVALID_MENU_HANDLE 1401
#define ERROR_CANNOT_FIND_WND_CLASS 1407
#define ERROR_HOTKEY_ALREADY_REGISTERED 1409
#define ERROR_CLASS_ALREADY_EXISTS 1410
#define ERROR_INVALID_ICON_HANDLE 1414
#define ERROR_HOTKEY_NOT_REGISTERED 1419
#define ERROR_MENU_ITEM_NOT_FOUND 1456
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814

// Files.
#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_DEVICE 0x00000040u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu

// Waits.
#define INFINITE 0xFFFFFFFFu

// Priorities.
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_TIME_CRITICAL 15
#define NORMAL_PRIORITY_CLASS 0x00000020u
#define HIGH_PRIORITY_CLASS 0x00000080u
#define REALTIME_PRIORITY_CLASS 0x00000100u

#endif  // _WIN32

// Constants of this program that every backend must know.
constexpr uint32_t TRAY_CALLBACK_MESSAGE = 1037;   // the tray icon's callback message (WM_USER + 13)
constexpr int32_t APP_ICON_RESOURCE_ID = 101;      // icon group of the program (48, 32, 16 px)
constexpr uint32_t DROP_QUERY_COUNT = 0xFFFFFFFFu; // platform_drag_query_file index asking for the count
// The app bar's callback message (WM_USER + 14): wparam ABN_FULLSCREENAPP, lparam non-zero when a
// full-screen program has come over the monitor of the app bar's window, 0 when it has gone.
constexpr uint32_t APP_BAR_CALLBACK_MESSAGE = 1038;
// Posted to a hot key's window (WM_USER + 15, wparam the key's id) where the desktop takes back a key
// that registering seemed to grant: its shortcuts dialog was refused. The key is not registered since.
constexpr uint32_t HOT_KEY_LOST_MESSAGE = 1039;

#ifdef _WIN32
constexpr char PLATFORM_PATH_SEPARATOR = '\\';
#define PLATFORM_PATH_SEPARATOR_TEXT "\\"
// The longest path the system's file calls take, terminator included.
constexpr uint32_t PLATFORM_MAX_PATH = MAX_PATH;
#else
constexpr char PLATFORM_PATH_SEPARATOR = '/';
#define PLATFORM_PATH_SEPARATOR_TEXT "/"
constexpr uint32_t PLATFORM_MAX_PATH = 4096;  // PATH_MAX
#endif

struct PlatformPoint {
  int32_t x, y;
};

struct PlatformRect {
  int32_t left, top, right, bottom;
};

// A queued message, as PeekMessageA fills MSG.
struct PlatformMessage {
  WindowHandle window;  // null for a message to the thread (WM_QUIT)
  uint32_t message;
  WPARAM wparam;
  LPARAM lparam;
  uint32_t time;        // platform_time_ms() when posted
  PlatformPoint point;  // cursor position when posted
};

// The window procedure of a class: `window_procedure(window, message, wparam, lparam)`.
typedef LRESULT(PLATFORM_CALLBACK* WindowProcedure)(WindowHandle window, uint32_t message, WPARAM wparam,
                                                    LPARAM lparam);

// The tray icon's record (NOTIFYICONDATAA, first version).
struct TrayIconData {
  WindowHandle window;        // receives callback_message with wparam = id, lparam = the mouse message
  uint32_t id;
  uint32_t flags;             // NIF_MESSAGE | NIF_ICON | NIF_TIP
  uint32_t callback_message;
  IconHandle icon;
  char tip[64];               // terminated
  // The menu the program shows for a click on the icon. Trays that show an icon's menu themselves (a
  // StatusNotifierItem's host) are given this one to show; Windows does not use it.
  MenuHandle menu;
};

// One entry of a directory search, as WIN32_FIND_DATAA gives it.
struct PlatformFindData {
  char name[MAX_PATH];  // file name without directory, terminated
  uint32_t attributes;  // FILE_ATTRIBUTE_*
};

// The re-entrant lock of the shell: the thread that holds it may take it again, and must leave it as
// many times as it took it. A critical section on Windows (mingw's win32 thread model has no
// std::recursive_mutex), a std::recursive_mutex elsewhere.
#ifdef _WIN32
struct PlatformLock {
  CRITICAL_SECTION section;
  PlatformLock() { InitializeCriticalSection(&section); }
  ~PlatformLock() { DeleteCriticalSection(&section); }
  PlatformLock(const PlatformLock&) = delete;
  PlatformLock& operator=(const PlatformLock&) = delete;
};
#else
struct PlatformLock {
  std::recursive_mutex mutex;
};
#endif

// Mouse messages carry the client point in lparam as two signed 16-bit words.
inline int32_t platform_lparam_x(LPARAM lparam) { return (int16_t)LOWORD(lparam); }
inline int32_t platform_lparam_y(LPARAM lparam) { return (int16_t)HIWORD(lparam); }
inline LPARAM platform_make_lparam(int32_t low, int32_t high) { return MAKELPARAM(low, high); }
// WM_DROPFILES carries the drop handle in wparam.
inline DropHandle platform_drop_from_wparam(WPARAM wparam) { return reinterpret_cast<DropHandle>(wparam); }

// ---- The program's run ----
// What the backend needs for a run of the program: the first call of start-up and the last of
// tear-down, made once each. On Windows COM, apartment-threaded, for the shell's services
// (ShellExecuteA); elsewhere nothing.
void platform_start_up();
void platform_tear_down();

// ---- Drawing surface (GDI) ----
// A memory device context compatible with the screen (dc null) or with dc.
DeviceContext platform_create_compatible_dc(DeviceContext dc);
// A 32-bit top-down DIB section of width x height pixels, zero-filled: row 0 is the top row, each row
// width * 4 bytes of blue, green, red, alpha. *pixels receives its memory, which lives as long as the
// bitmap. Null (and *pixels null) when the size is not positive or cannot be allocated.
BitmapHandle platform_create_dib_section(DeviceContext dc, int32_t width, int32_t height, uint8_t** pixels);
// Selects object into dc and returns the object it held before (a memory DC starts with a stock
// 1 x 1 bitmap); null on failure.
GdiObject platform_select_object(DeviceContext dc, GdiObject object);
bool platform_delete_dc(DeviceContext dc);
// Fails while the object is selected into a device context, as on Windows.
bool platform_delete_object(GdiObject object);

// ---- Layered character window ----
// UpdateLayeredWindow(window, no destination DC, no destination point, size width x height, source,
// source point (0, 0), colour key 0, {AC_SRC_OVER, 0, constant_alpha, alpha_format}, flags): shows the
// top-left width x height pixels of the bitmap selected into source (premultiplied B, G, R, A when
// alpha_format is AC_SRC_ALPHA) at the window's position, with the whole window at constant_alpha, and
// sizes the window to width x height. The window needs WS_EX_LAYERED.
bool platform_update_layered_window(WindowHandle window, int32_t width, int32_t height, DeviceContext source,
                                    uint8_t constant_alpha, uint8_t alpha_format, uint32_t flags);
// Pictures shown again. A caller that shows the same pixels again and again (the frames of a looping
// animation) may name them by a number of its own, never given to other pixels. Windows and the
// headless backend keep nothing; on X11 the server keeps a copy and its shape, so that showing the
// picture again sends and reads no pixels. A backend keeps what its own bound lets it, letting go of the
// pictures not shown for the longest time first.
// The picture that update_layered_window just showed on window is named picture: keep it if that helps.
// True where the window keeps it and can show it at any constant_alpha: the caller need not keep its
// pixels, until show_kept_picture returns false for it.
bool platform_keep_layered_picture(WindowHandle window, uint64_t picture);
// update_layered_window of the picture kept under picture at width x height and constant_alpha, with
// no pixels read; false, and nothing done, where it is not kept or cannot be shown so now: the caller
// then draws it and calls update_layered_window.
bool platform_show_kept_picture(WindowHandle window, uint64_t picture, int32_t width, int32_t height,
                                uint8_t constant_alpha);
// Lets go of every picture kept for window: none of them is shown again.
void platform_forget_kept_pictures(WindowHandle window);
// SetWindowPos; insert_after null is the top of the window's band. SWP_NOSIZE keeps the size,
// SWP_NOMOVE the position, SWP_NOZORDER the stacking.
bool platform_set_window_pos(WindowHandle window, WindowHandle insert_after, int32_t x, int32_t y,
                             int32_t width, int32_t height, uint32_t flags);
// ShowWindow with SW_HIDE / SW_SHOW; returns whether the window was visible before.
bool platform_show_window(WindowHandle window, int32_t command);
bool platform_bring_window_to_top(WindowHandle window);
bool platform_set_foreground_window(WindowHandle window);
// Captures the mouse for window; returns the window that held the capture before, or null.
WindowHandle platform_set_capture(WindowHandle window);
bool platform_release_capture();
// Converts a client point of window to screen coordinates, in place.
bool platform_client_to_screen(WindowHandle window, PlatformPoint* point);
bool platform_get_cursor_pos(PlatformPoint* point);
// SystemParametersInfoA(SPI_GETWORKAREA): the desktop less the task bar / panels.
bool platform_get_work_area(PlatformRect* area);
// MonitorFromRect(rect, MONITOR_DEFAULTTONULL): whether any monitor shows a pixel of rect (an empty
// rect counts as its top-left pixel).
bool platform_rect_on_a_monitor(const PlatformRect* rect);
// When the desktop changes under the windows (a panel comes, goes, moves or grows; the resolution,
// the monitors or the DPI change), Windows sends WM_DISPLAYCHANGE, WM_SETTINGCHANGE with
// SPI_SETWORKAREA or WM_DPICHANGED; the other backends post WM_DISPLAYCHANGE to each window without an
// owner, once for each change they see.

// SHAppBarMessage(ABM_NEW) for window: from now on window receives callback_message (wparam
// ABN_FULLSCREENAPP, lparam whether it is on) when a full-screen program comes over or leaves the
// monitor that shows window. No space is reserved on the desktop. Off Windows (X11) the backend
// follows the active window and its full-screen state itself; headless, a test scripts it.
bool platform_register_app_bar(WindowHandle window, uint32_t callback_message);
// SHAppBarMessage(ABM_REMOVE).
bool platform_remove_app_bar(WindowHandle window);

// ---- Windows and messages ----
// RegisterClassExA with class_style (CS_DBLCLKS), procedure, the default application icon and arrow
// cursor, no menu. instance null means this program. Fails when the name is already registered.
bool platform_register_class(InstanceHandle instance, const char* class_name, uint32_t class_style,
                             WindowProcedure procedure);
// CreateWindowExA; CW_USEDEFAULT for x / width lets the system choose (0 for a WS_POPUP window). owner
// may be null. Null on failure (unknown class, invalid owner). WS_VISIBLE shows it at once.
WindowHandle platform_create_window_ex(uint32_t ex_style, const char* class_name, const char* title,
                                       uint32_t style, int32_t x, int32_t y, int32_t width, int32_t height,
                                       WindowHandle owner, InstanceHandle instance);
// DestroyWindow: destroys the windows owned by window first, then window; each receives WM_DESTROY.
// Messages still queued for a destroyed window are dropped.
bool platform_destroy_window(WindowHandle window);
// DefWindowProcA: WM_CLOSE destroys the window; everything else is answered with 0.
LRESULT platform_default_window_procedure(WindowHandle window, uint32_t message, WPARAM wparam,
                                          LPARAM lparam);
// PostMessageA; a null window posts to the thread (dispatched to no procedure).
bool platform_post_message(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam);
// PostQuitMessage: WM_QUIT (wparam = exit_code) comes out of the queue once every other message has.
void platform_post_quit_message(int32_t exit_code);
// PeekMessageA(message, any window, all messages, remove = PM_REMOVE or PM_NOREMOVE): false when
// nothing waits. Never blocks.
bool platform_peek_message(PlatformMessage* message, uint32_t remove);
bool platform_translate_message(const PlatformMessage* message);
// DispatchMessageA: calls the procedure of message->window and returns its result (0 for the thread).
LRESULT platform_dispatch_message(const PlatformMessage* message);

// ---- Pop-up menu ----
MenuHandle platform_create_popup_menu();
// AppendMenuA: MF_STRING with an id and a caption, or MF_SEPARATOR (id 0, caption null).
bool platform_append_menu(MenuHandle menu, uint32_t flags, uintptr_t id, const char* caption);
// DeleteMenu: the item at a position (MF_BYPOSITION) or with a command id (MF_BYCOMMAND); false when
// there is no such item.
bool platform_delete_menu(MenuHandle menu, uint32_t item, uint32_t flags);
// CheckMenuRadioItem: among the items from first to last (ids with MF_BYCOMMAND, positions with
// MF_BYPOSITION) marks check with a radio mark and clears the others; false when one is not found.
bool platform_check_menu_radio_item(MenuHandle menu, uint32_t first, uint32_t last, uint32_t check,
                                    uint32_t flags);
// TrackPopupMenu: modal. Shows menu at the screen point (x, y), placed by flags (TPM_RIGHTALIGN,
// TPM_BOTTOMALIGN; 0 is left and top aligned), and returns when the user chose or dismissed it. A
// choice is posted to owner as WM_COMMAND with the item's id (or returned, with TPM_RETURNCMD).
// Returns non-zero on success (with TPM_RETURNCMD: the chosen id, 0 for none).
int32_t platform_track_popup_menu(MenuHandle menu, uint32_t flags, int32_t x, int32_t y, WindowHandle owner);
bool platform_destroy_menu(MenuHandle menu);

// ---- Tray icon and icons ----
// Shell_NotifyIconA with NIM_ADD, NIM_MODIFY or NIM_DELETE; an icon is known by (window, id). The
// window of an added icon also hears "TaskbarCreated" when the tray starts again (and the icon is gone),
// on Windows also when this program runs elevated.
bool platform_notify_icon(uint32_t action, const TrayIconData* data);
// LoadImageA(instance, resource_id, IMAGE_ICON, width, height, LR_DEFAULTCOLOR); instance null means
// this program. Null when there is no such icon.
IconHandle platform_load_icon(InstanceHandle instance, int32_t resource_id, int32_t width, int32_t height);
bool platform_destroy_icon(IconHandle icon);

// ---- Message box, hot key, dropped files, web address ----
// MessageBoxA: modal; returns the id of the button the user pressed (IDOK, ...).
int32_t platform_message_box(WindowHandle owner, const char* text, const char* caption, uint32_t flags);
// RegisterHotKey: WM_HOTKEY (wparam = id) reaches window whenever modifiers + key is pressed anywhere;
// with MOD_NOREPEAT once per press, not again while the key is held. Fails when another window or
// program holds the same keys, whatever MOD_NOREPEAT says (ERROR_HOTKEY_ALREADY_REGISTERED), and
// where the session lets no program take keys for itself (ERROR_NOT_SUPPORTED: Wayland without a
// shortcuts portal).
bool platform_register_hot_key(WindowHandle window, int32_t id, uint32_t modifiers, uint32_t key);
bool platform_unregister_hot_key(WindowHandle window, int32_t id);
// DragAcceptFiles: whether files dropped on window reach it as WM_DROPFILES (on Windows also from
// Explorer when this program runs elevated).
void platform_drag_accept_files(WindowHandle window, bool accept);
// DragQueryFileA: index DROP_QUERY_COUNT gives the number of files. Otherwise copies the path of file
// index into buffer (cut to size - 1 characters, terminated) and returns its length without the
// terminator; a null buffer returns the length needed. 0 when there is no such file.
uint32_t platform_drag_query_file(DropHandle drop, uint32_t index, char* buffer, uint32_t size);
// DragFinish: releases the drop; its handle is invalid afterwards.
void platform_drag_finish(DropHandle drop);
// ShellExecuteA(window, verb, file, parameters, directory, show): opens a web address with "open".
bool platform_shell_execute(WindowHandle window, const char* verb, const char* file, const char* parameters,
                            const char* directory, int32_t show);

// ---- Time, priorities, errors ----
// timeGetTime: milliseconds, unsigned 32-bit; it wraps, so take elapsed times as uint32_t differences.
uint32_t platform_time_ms();
void platform_sleep(uint32_t milliseconds);
// MsgWaitForMultipleObjects on the message queue alone (QS_ALLINPUT): blocks until a message waits to
// be peeked (true, also at once when one waits already) or timeout_ms have passed (false); INFINITE
// waits for a message only. Windows raises the system timer to 1 ms (timeBeginPeriod) for the last
// tens of milliseconds of a wait, so that it ends on its millisecond, and lowers it again before
// returning.
bool platform_wait_message(uint32_t timeout_ms);
// time(): the calendar time in seconds, used to seed the random numbers.
int64_t platform_calendar_time();
// SetThreadPriority of the calling thread (THREAD_PRIORITY_*) and SetPriorityClass of this process
// (*_PRIORITY_CLASS). Backends that cannot raise a priority report false; callers ignore the result.
bool platform_set_thread_priority(int32_t priority);
bool platform_set_priority_class(uint32_t priority_class);
uint32_t platform_get_last_error();
void platform_set_last_error(uint32_t code);
// FormatMessageA(FROM_SYSTEM) of code into buffer, as the system words it (empty when it has no text).
// Returns the length written.
uint32_t platform_error_text(uint32_t code, char* buffer, uint32_t size);

// GetCurrentProcessId, and whether a process of that id runs now (an id of ours included).
uint32_t platform_process_id();
bool platform_process_running(uint32_t process_id);

// ---- Install path ----
// The install path into buffer (520 bytes in the program). Windows: the value "path" under
// HKEY_CURRENT_USER "Software\Orvant\VelissaDesk"; without it, false when the current folder holds
// "anim" (it stays the install path), else the folder of the program. Elsewhere: the environment variable
// VELISSADESK_PATH, else the first line of $XDG_CONFIG_HOME/VelissaDesk/path (XDG_CONFIG_HOME defaults
// to ~/.config), a leading "~" standing for the home folder; when neither is set, or the one set names
// no folder, the user's own data folder $XDG_DATA_HOME/VelissaDesk (~/.local/share/VelissaDesk),
// made on first start with copies of the samples and guides installed with the program. False, with
// buffer empty, when there is none or it does not fit.
bool platform_read_install_path(char* buffer, uint32_t size);

// A configured install path that the last platform_read_install_path passed over because no such
// folder exists: the path as configured into path, and where it was configured into setting (the
// environment variable's name or the settings file's path). False when nothing was passed over; always
// false on Windows, whose registry value is used as it is.
bool platform_passed_over_install_path(char* path, uint32_t path_size, char* setting, uint32_t setting_size);

// ---- One running copy per install path ----
// What a later start asks of the copy it hands over to: show its character, or hide or show it as the
// hot key does ("velissadesk --toggle").
enum HandOverRequest { HAND_OVER_SHOW, HAND_OVER_TOGGLE };
// Claims the install path (as a full path) for this process: a later start on the same path hands
// over to it, and owner then receives platform_show_request_message() or, for a toggle,
// platform_toggle_request_message(). False when another running copy holds the path: that copy has
// been sent the request, and this one should end. Where nothing can be checked (no session bus and no
// lock directory) the copy runs: true.
bool platform_claim_install_path(const char* path, WindowHandle owner, HandOverRequest request = HAND_OVER_SHOW);
// The messages a running copy's owner window receives when a later start hands over to it; 0 until
// platform_claim_install_path has been called (registered messages on Windows).
uint32_t platform_show_request_message();
uint32_t platform_toggle_request_message();

// ---- Display ----
// Why the program's windows cannot open (no display, or none it can use), as one line without a
// final newline into buffer; false where the platform has nothing to say (Windows, headless).
bool platform_no_display_reason(char* buffer, uint32_t size);

// ---- Files ----
// A directory search: pattern is a path whose last part is a wildcard ("*.dat", "dir/*.*"). Names come
// in the file system's order, never sorted, without "." and "..". A symbolic link carries
// FILE_ATTRIBUTE_REPARSE_POINT beside the attributes of what it points at, as on Windows. Names match as on Windows: "*" and
// "*.*" match every name, '*' any run of characters, '?' one character, letters without regard to
// case (so "*.dat" also finds "X.DAT" on Linux). Null when nothing matches
// (ERROR_FILE_NOT_FOUND) or the directory cannot be read.
FindHandle platform_find_first_file(const char* pattern, PlatformFindData* data);
// False at the end (ERROR_NO_MORE_FILES).
bool platform_find_next_file(FindHandle find, PlatformFindData* data);
bool platform_find_close(FindHandle find);
// CopyFileA(existing, new_path, fail if it exists): never overwrites, also when the destination
// appears while copying (ERROR_FILE_EXISTS).
bool platform_copy_file(const char* existing, const char* new_path);
// MoveFileExA(existing, new_path, MOVEFILE_WRITE_THROUGH) on one volume: never replaces what is at
// new_path (ERROR_ALREADY_EXISTS), also when it appears meanwhile; off Windows renameat2 with
// RENAME_NOREPLACE, or link and unlink where the file system lacks it.
bool platform_move_file(const char* existing, const char* new_path);
// FlushFileBuffers of the file at path: true once its content has reached the disk.
bool platform_flush_file(const char* path);
// CreateDirectoryA: false with ERROR_ALREADY_EXISTS when the name exists.
bool platform_create_directory(const char* path);
// RemoveDirectoryA: only an empty directory.
bool platform_remove_directory(const char* path);
// DeleteFileA: not a directory; a read-only file is refused (ERROR_ACCESS_DENIED) on every platform.
bool platform_delete_file(const char* path);
// GetFileAttributesA: FILE_ATTRIBUTE_* or INVALID_FILE_ATTRIBUTES. On Linux a file without write
// permission for its owner is read-only, and what is neither a regular file nor a directory (a FIFO, a
// socket, a device) carries FILE_ATTRIBUTE_DEVICE, in a directory search too.
uint32_t platform_get_file_attributes(const char* path);
// SetFileAttributesA: on Linux only FILE_ATTRIBUTE_READONLY counts (clears or restores write permission).
bool platform_set_file_attributes(const char* path, uint32_t attributes);
bool platform_set_current_directory(const char* path);
// GetCurrentDirectoryA: the length written without terminator; when buffer is too small, nothing is
// written and the size needed (with terminator) is returned; 0 on failure.
uint32_t platform_get_current_directory(char* buffer, uint32_t size);

// ---- Shared by every backend (portable code) ----
// The runtime's srand / rand as the 32-bit Windows C runtime computes them, values 0 to 32767:
// state = state * 214013 + 2531011, result (state >> 16) & 0x7FFF. The state starts as after srand(1).
void platform_srand(uint32_t seed);
int32_t platform_rand();
void platform_lock(PlatformLock* lock);
bool platform_try_lock(PlatformLock* lock);
void platform_unlock(PlatformLock* lock);
// directory + separator + name into out (no second separator when directory already ends with one; no
// separator after an empty directory). out may be directory itself. False, with out empty, when the
// result does not fit in size bytes.
bool platform_join_path(char* out, size_t size, const char* directory, const char* name);
// Whether name matches a search pattern's last part, by the rule of platform_find_first_file.
bool platform_match_pattern(const char* pattern, const char* name);
// A file's title: the last part of path, after the last separator (Windows: '\\', '/' or ':', as
// PathFindFileNameA takes it), extension included, into buffer. Never GetFileTitleA, which drops the
// extension when Explorer hides known ones. 0 on success; the size needed when buffer is too small;
// negative when path names no file (empty, or ending in a separator).
int32_t platform_get_file_title(const char* path, char* buffer, uint16_t size);
// RegisterWindowMessageA: the same message number (0xC000 to 0xFFFF) for the same name (without regard
// to case), in every program of the session on Windows; 0 on failure.
uint32_t platform_register_window_message(const char* name);
