// The win32 backend: each wrapper of platform.h is the Win32 service it is named after, called with
// the program's arguments. The handle types are the system's own, so most arguments pass straight
// through; the last error is the system's (GetLastError).
#include "platform/platform.h"

#include <mmsystem.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/portable/portable_files.h"
#include "platform/portable/portable_wait.h"

namespace {

const char kInstallKey[] = "Software\\Orvant\\VelissaDesk";
const char kInstallValue[] = "path";

InstanceHandle this_program(InstanceHandle instance) {
  return instance != nullptr ? instance : GetModuleHandleA(nullptr);
}

// A shared file service's error code becomes the last error, as the Win32 call would have left it.
bool succeeded(uint32_t error) {
  if (error != ERROR_SUCCESS) SetLastError(error);
  return error == ERROR_SUCCESS;
}

// Whether platform_start_up initialised COM, which platform_tear_down then ends.
bool com_initialised = false;

// Run elevated, the program would not hear Explorer, which runs at a lower integrity level: User
// Interface Privilege Isolation drops its drops and its restart broadcast unless the window lets them
// through. ChangeWindowMessageFilterEx is Windows 7's, Vista has only the process-wide
// ChangeWindowMessageFilter: both are looked up by name so that the program starts wherever either is
// missing.
void allow_message(HWND window, UINT message) {
  typedef BOOL(WINAPI * FilterOfWindow)(HWND, UINT, DWORD, void*);
  typedef BOOL(WINAPI * FilterOfProcess)(UINT, DWORD);
  const DWORD kAllow = 1;  // MSGFLT_ALLOW, and MSGFLT_ADD for the process-wide filter
  const HMODULE user32 = GetModuleHandleA("user32.dll");
  if (user32 == nullptr) return;
  // Through void*: a FARPROC cast straight to another function type draws -Wcast-function-type.
  const auto of_window = reinterpret_cast<FilterOfWindow>(
      reinterpret_cast<void*>(GetProcAddress(user32, "ChangeWindowMessageFilterEx")));
  if (of_window != nullptr) {
    of_window(window, message, kAllow, nullptr);
    return;
  }
  const auto of_process = reinterpret_cast<FilterOfProcess>(
      reinterpret_cast<void*>(GetProcAddress(user32, "ChangeWindowMessageFilter")));
  if (of_process != nullptr) of_process(message, kAllow);
}

MSG to_msg(const PlatformMessage& message) {
  MSG msg{};
  msg.hwnd = message.window;
  msg.message = message.message;
  msg.wParam = message.wparam;
  msg.lParam = message.lparam;
  msg.time = message.time;
  msg.pt.x = message.point.x;
  msg.pt.y = message.point.y;
  return msg;
}

}  // namespace

// ================= The program's run =================

void platform_start_up() {
  // ShellExecuteA may hand an address to shell extensions that need COM on the calling thread.
  com_initialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
}

void platform_tear_down() {
  if (com_initialised) CoUninitialize();
  com_initialised = false;
}

// ================= Drawing surface =================

DeviceContext platform_create_compatible_dc(DeviceContext dc) { return CreateCompatibleDC(dc); }

BitmapHandle platform_create_dib_section(DeviceContext dc, int32_t width, int32_t height, uint8_t** pixels) {
  if (pixels != nullptr) *pixels = nullptr;
  if (width <= 0 || height <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // negative: top-down, row 0 is the top row
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap != nullptr && pixels != nullptr) *pixels = static_cast<uint8_t*>(bits);
  return bitmap;
}

GdiObject platform_select_object(DeviceContext dc, GdiObject object) { return SelectObject(dc, object); }
bool platform_delete_dc(DeviceContext dc) { return DeleteDC(dc) != 0; }
bool platform_delete_object(GdiObject object) { return DeleteObject(object) != 0; }

// ================= Layered character window =================

bool platform_update_layered_window(WindowHandle window, int32_t width, int32_t height, DeviceContext source,
                                    uint8_t constant_alpha, uint8_t alpha_format, uint32_t flags) {
  SIZE size{width, height};
  POINT source_point{0, 0};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, constant_alpha, alpha_format};
  return UpdateLayeredWindow(window, nullptr, nullptr, &size, source, &source_point, 0, &blend, flags) != 0;
}

// The system keeps its own copy of every update: a picture is read from its bitmap each time.
bool platform_keep_layered_picture(WindowHandle, uint64_t) { return false; }
bool platform_show_kept_picture(WindowHandle, uint64_t, int32_t, int32_t, uint8_t) { return false; }
void platform_forget_kept_pictures(WindowHandle) {}

bool platform_set_window_pos(WindowHandle window, WindowHandle insert_after, int32_t x, int32_t y,
                             int32_t width, int32_t height, uint32_t flags) {
  return SetWindowPos(window, insert_after, x, y, width, height, flags) != 0;
}

bool platform_show_window(WindowHandle window, int32_t command) { return ShowWindow(window, command) != 0; }
bool platform_bring_window_to_top(WindowHandle window) { return BringWindowToTop(window) != 0; }
bool platform_set_foreground_window(WindowHandle window) { return SetForegroundWindow(window) != 0; }
WindowHandle platform_set_capture(WindowHandle window) { return SetCapture(window); }
bool platform_release_capture() { return ReleaseCapture() != 0; }

bool platform_client_to_screen(WindowHandle window, PlatformPoint* point) {
  if (point == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  POINT converted{point->x, point->y};
  if (!ClientToScreen(window, &converted)) return false;
  point->x = converted.x;
  point->y = converted.y;
  return true;
}

bool platform_get_cursor_pos(PlatformPoint* point) {
  POINT cursor;
  if (point == nullptr || !GetCursorPos(&cursor)) return false;
  point->x = cursor.x;
  point->y = cursor.y;
  return true;
}

bool platform_get_work_area(PlatformRect* area) {
  RECT rect;
  if (area == nullptr || !SystemParametersInfoA(SPI_GETWORKAREA, 0, &rect, 0)) return false;
  *area = PlatformRect{rect.left, rect.top, rect.right, rect.bottom};
  return true;
}

bool platform_rect_on_a_monitor(const PlatformRect* rect) {
  if (rect == nullptr) return false;
  // An empty rect stands for its top-left pixel (none at the very end of the range).
  const auto past = [](LONG start, LONG end) { return start == INT32_MAX ? end : std::max(end, start + 1); };
  const RECT area{rect->left, rect->top, past(rect->left, rect->right), past(rect->top, rect->bottom)};
  return MonitorFromRect(&area, MONITOR_DEFAULTTONULL) != nullptr;
}

// The shell tells its app bars of full-screen programs on their monitor (ABN_FULLSCREENAPP); one
// registered without ABM_SETPOS takes no room on the desktop.
bool platform_register_app_bar(WindowHandle window, uint32_t callback_message) {
  APPBARDATA data{};
  data.cbSize = sizeof data;
  data.hWnd = window;
  data.uCallbackMessage = callback_message;
  return SHAppBarMessage(ABM_NEW, &data) != 0;
}

bool platform_remove_app_bar(WindowHandle window) {
  APPBARDATA data{};
  data.cbSize = sizeof data;
  data.hWnd = window;
  return SHAppBarMessage(ABM_REMOVE, &data) != 0;
}

// ================= Windows and messages =================

bool platform_register_class(InstanceHandle instance, const char* class_name, uint32_t class_style,
                             WindowProcedure procedure) {
  WNDCLASSEXA window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.style = class_style;
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = this_program(instance);
  window_class.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  window_class.hIconSm = LoadIconA(nullptr, IDI_APPLICATION);
  window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(1));
  window_class.lpszClassName = class_name;
  return RegisterClassExA(&window_class) != 0;
}

WindowHandle platform_create_window_ex(uint32_t ex_style, const char* class_name, const char* title,
                                       uint32_t style, int32_t x, int32_t y, int32_t width, int32_t height,
                                       WindowHandle owner, InstanceHandle instance) {
  return CreateWindowExA(ex_style, class_name, title, style, x, y, width, height, owner, nullptr,
                         this_program(instance), nullptr);
}

bool platform_destroy_window(WindowHandle window) { return DestroyWindow(window) != 0; }

LRESULT platform_default_window_procedure(WindowHandle window, uint32_t message, WPARAM wparam,
                                          LPARAM lparam) {
  return DefWindowProcA(window, message, wparam, lparam);
}

bool platform_post_message(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam) {
  return PostMessageA(window, message, wparam, lparam) != 0;
}

void platform_post_quit_message(int32_t exit_code) { PostQuitMessage(exit_code); }

bool platform_peek_message(PlatformMessage* message, uint32_t remove) {
  MSG msg;
  if (message == nullptr || !PeekMessageA(&msg, nullptr, 0, 0, remove)) return false;
  *message = PlatformMessage{msg.hwnd,
                             msg.message,
                             msg.wParam,
                             msg.lParam,
                             static_cast<uint32_t>(msg.time),
                             PlatformPoint{msg.pt.x, msg.pt.y}};
  return true;
}

bool platform_translate_message(const PlatformMessage* message) {
  if (message == nullptr) return false;
  const MSG msg = to_msg(*message);
  return TranslateMessage(&msg) != 0;
}

LRESULT platform_dispatch_message(const PlatformMessage* message) {
  if (message == nullptr) return 0;
  const MSG msg = to_msg(*message);
  return DispatchMessageA(&msg);
}

// ================= Pop-up menu =================

MenuHandle platform_create_popup_menu() { return CreatePopupMenu(); }

bool platform_append_menu(MenuHandle menu, uint32_t flags, uintptr_t id, const char* caption) {
  return AppendMenuA(menu, flags, id, caption) != 0;
}

bool platform_delete_menu(MenuHandle menu, uint32_t item, uint32_t flags) {
  return DeleteMenu(menu, item, flags) != 0;
}

bool platform_check_menu_radio_item(MenuHandle menu, uint32_t first, uint32_t last, uint32_t check,
                                    uint32_t flags) {
  return CheckMenuRadioItem(menu, first, last, check, flags) != 0;
}

int32_t platform_track_popup_menu(MenuHandle menu, uint32_t flags, int32_t x, int32_t y, WindowHandle owner) {
  return TrackPopupMenu(menu, flags, x, y, 0, owner, nullptr);
}

bool platform_destroy_menu(MenuHandle menu) { return DestroyMenu(menu) != 0; }

// ================= Tray icon and icons =================

bool platform_notify_icon(uint32_t action, const TrayIconData* data) {
  if (data == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  // The first version of the record, which every version of the shell accepts: 88 bytes in a 32-bit
  // program, 104 in a 64-bit one (the window and icon handles are pointer-sized and aligned).
  static_assert(NOTIFYICONDATAA_V1_SIZE == (sizeof(void*) == 8 ? 104 : 88), "first version of the record");
  NOTIFYICONDATAA record{};
  record.cbSize = NOTIFYICONDATAA_V1_SIZE;
  record.hWnd = data->window;
  record.uID = data->id;
  record.uFlags = data->flags;
  record.uCallbackMessage = data->callback_message;
  record.hIcon = data->icon;
  static_assert(sizeof data->tip <= sizeof record.szTip, "the tip fits the record");
  memcpy(record.szTip, data->tip, sizeof data->tip);
  record.szTip[sizeof data->tip - 1] = '\0';
  // Explorer broadcasts this when it starts again; the icon's window must hear it to add the icon back.
  if (action == NIM_ADD) allow_message(data->window, RegisterWindowMessageA("TaskbarCreated"));
  return Shell_NotifyIconA(action, &record) != 0;
}

IconHandle platform_load_icon(InstanceHandle instance, int32_t resource_id, int32_t width, int32_t height) {
  return static_cast<HICON>(LoadImageA(this_program(instance), MAKEINTRESOURCEA(resource_id), IMAGE_ICON,
                                       width, height, LR_DEFAULTCOLOR));
}

bool platform_destroy_icon(IconHandle icon) { return DestroyIcon(icon) != 0; }

// ================= Message box, hot key, dropped files, web address =================

int32_t platform_message_box(WindowHandle owner, const char* text, const char* caption, uint32_t flags) {
  return MessageBoxA(owner, text, caption, flags);
}

bool platform_register_hot_key(WindowHandle window, int32_t id, uint32_t modifiers, uint32_t key) {
  return RegisterHotKey(window, id, modifiers, key) != 0;
}

bool platform_unregister_hot_key(WindowHandle window, int32_t id) {
  return UnregisterHotKey(window, id) != 0;
}

void platform_drag_accept_files(WindowHandle window, bool accept) {
  DragAcceptFiles(window, accept);
  if (!accept) return;
  // A drop reaches the window as WM_DROPFILES, with the files' data passed in WM_COPYDATA and
  // WM_COPYGLOBALDATA (0x49).
  const UINT kDropMessages[] = {WM_DROPFILES, WM_COPYDATA, 0x0049 /* WM_COPYGLOBALDATA */};
  for (UINT message : kDropMessages) allow_message(window, message);
}

uint32_t platform_drag_query_file(DropHandle drop, uint32_t index, char* buffer, uint32_t size) {
  return DragQueryFileA(drop, index, buffer, size);
}

void platform_drag_finish(DropHandle drop) { DragFinish(drop); }

bool platform_shell_execute(WindowHandle window, const char* verb, const char* file, const char* parameters,
                            const char* directory, int32_t show) {
  // ShellExecuteA reports success with a value above 32.
  const HINSTANCE result = ShellExecuteA(window, verb, file, parameters, directory, show);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

// ================= Time, priorities, errors =================

uint32_t platform_time_ms() { return timeGetTime(); }
void platform_sleep(uint32_t milliseconds) { Sleep(milliseconds); }

namespace {

// MWMO_INPUTAVAILABLE: also input that an earlier peek saw but left in the queue.
bool wait_for_input(uint32_t milliseconds) {
  return MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE) == WAIT_OBJECT_0;
}

}  // namespace

// Without timeBeginPeriod a timeout ends at the next 15.6 ms tick of the system timer, so the wait
// runs coarse until shortly before its deadline and fine for the rest. The deadline is kept on
// timeGetTime, the clock the caller reckoned it with; with the period raised that clock is fine too.
bool platform_wait_message(uint32_t timeout_ms) {
  const uint32_t deadline = timeGetTime() + timeout_ms;
  const uint32_t coarse = coarse_part_of_wait(timeout_ms);
  if (coarse != 0 && wait_for_input(coarse)) return true;
  if (timeout_ms == INFINITE) return false;
  int32_t left = static_cast<int32_t>(deadline - timeGetTime());
  if (left <= 0) return wait_for_input(0);
  timeBeginPeriod(1);
  bool input = false;
  for (; !input && left > 0; left = static_cast<int32_t>(deadline - timeGetTime()))
    input = wait_for_input(static_cast<uint32_t>(left));
  timeEndPeriod(1);
  return input;
}
int64_t platform_calendar_time() { return static_cast<int64_t>(time(nullptr)); }

bool platform_set_thread_priority(int32_t priority) {
  return SetThreadPriority(GetCurrentThread(), priority) != 0;
}

bool platform_set_priority_class(uint32_t priority_class) {
  return SetPriorityClass(GetCurrentProcess(), priority_class) != 0;
}

uint32_t platform_get_last_error() { return GetLastError(); }
void platform_set_last_error(uint32_t code) { SetLastError(code); }

uint32_t platform_error_text(uint32_t code, char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = '\0';
  // The system allocates the text, so a long one is cut to the buffer instead of being lost.
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&text), 0, nullptr);
  if (length == 0 || text == nullptr) return 0;
  const uint32_t kept = length < size ? length : size - 1;
  memcpy(buffer, text, kept);
  buffer[kept] = '\0';
  LocalFree(text);
  return kept;
}

// ================= Install path =================

namespace {

bool read_registry_install_path(char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  buffer[0] = '\0';
  HKEY key;
  LONG status = RegOpenKeyExA(HKEY_CURRENT_USER, kInstallKey, 0, KEY_QUERY_VALUE, &key);
  if (status != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(status));
    return false;
  }
  // The value's type is not looked at; its bytes are the path, with or without a terminator.
  DWORD bytes = size;
  status = RegQueryValueExA(key, kInstallValue, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &bytes);
  RegCloseKey(key);
  if (status == ERROR_SUCCESS) {
    const uint32_t length = static_cast<uint32_t>(strnlen(buffer, bytes));
    if (length < size) {
      buffer[length] = '\0';
      if (length > 0) return true;
    }
    status = length == 0 ? ERROR_FILE_NOT_FOUND : ERROR_MORE_DATA;
  }
  buffer[0] = '\0';
  SetLastError(static_cast<DWORD>(status));
  return false;
}

bool current_folder_holds_animations() {
  const DWORD attributes = GetFileAttributesA("anim");
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The folder of velissadesk.exe, without a final separator; false when it does not fit.
bool program_folder(char* buffer, uint32_t size) {
  const DWORD length = GetModuleFileNameA(nullptr, buffer, size);
  if (length == 0 || length >= size) return false;
  char* last = strrchr(buffer, '\\');
  if (last == nullptr) return false;
  *last = '\0';
  return buffer[0] != '\0';
}

}  // namespace

// Without the registry value (a zip unpacked anywhere, started from a shortcut or at sign-in, whose
// current folder is then System32 or the shortcut's), the folder the program started in serves when it
// holds anim\, as it always did; else the program's own folder, where the zip and the installer put
// anim\. False leaves the current folder as the install path.
bool platform_read_install_path(char* buffer, uint32_t size) {
  if (read_registry_install_path(buffer, size)) return true;
  const DWORD registry_error = GetLastError();
  if (buffer != nullptr && size != 0 && !current_folder_holds_animations()) {
    if (program_folder(buffer, size)) return true;
    buffer[0] = '\0';
  }
  SetLastError(registry_error);
  return false;
}

// The registry value is used as it is: a folder it names that does not exist is the user's to fix.
bool platform_passed_over_install_path(char*, uint32_t, char*, uint32_t) { return false; }

// ================= One running copy per install path =================

namespace {

UINT show_request_message = 0;
UINT toggle_request_message = 0;

}  // namespace

// A named mutex per install path marks the running copy. A later start posts the path's registered
// message to every top-level window; only the running copy's owner window knows that message.
bool platform_claim_install_path(const char* path, WindowHandle, HandOverRequest request) {
  if (path == nullptr || show_request_message != 0) return true;
  char name[64];
  snprintf(name, sizeof name, "VelissaDesk-%016llx", static_cast<unsigned long long>(portable_path_key(path)));
  show_request_message = RegisterWindowMessageA(name);
  char toggle_name[80];
  snprintf(toggle_name, sizeof toggle_name, "%s-toggle", name);
  toggle_request_message = RegisterWindowMessageA(toggle_name);
  char mutex_name[80];
  snprintf(mutex_name, sizeof mutex_name, "Local\\%s", name);
  // Kept open for the whole run: the mutex goes when the process ends, however it ends.
  HANDLE mutex = CreateMutexA(nullptr, FALSE, mutex_name);
  if (mutex == nullptr || GetLastError() != ERROR_ALREADY_EXISTS) return true;
  CloseHandle(mutex);
  const UINT wanted = request == HAND_OVER_TOGGLE ? toggle_request_message : show_request_message;
  if (wanted != 0) PostMessageA(HWND_BROADCAST, wanted, 0, 0);
  return false;
}

uint32_t platform_show_request_message() { return show_request_message; }
uint32_t platform_toggle_request_message() { return toggle_request_message; }

bool platform_no_display_reason(char*, uint32_t) { return false; }

// ================= Files =================

FindHandle platform_find_first_file(const char* pattern, PlatformFindData* data) {
  PlatformFind* find = nullptr;
  return succeeded(portable_find_first_file(pattern, data, &find)) ? find : nullptr;
}

bool platform_find_next_file(FindHandle find, PlatformFindData* data) {
  return succeeded(portable_find_next_file(static_cast<PlatformFind*>(find), data));
}

bool platform_find_close(FindHandle find) {
  if (find == nullptr) return succeeded(ERROR_INVALID_HANDLE);
  portable_find_close(static_cast<PlatformFind*>(find));
  return true;
}

bool platform_copy_file(const char* existing, const char* new_path) {
  return succeeded(portable_copy_file(existing, new_path));
}

bool platform_move_file(const char* existing, const char* new_path) {
  return succeeded(portable_move_file(existing, new_path));
}
bool platform_flush_file(const char* path) { return succeeded(portable_flush_file(path)); }
uint32_t platform_process_id() { return portable_process_id(); }
bool platform_process_running(uint32_t process_id) { return portable_process_running(process_id); }
bool platform_create_directory(const char* path) { return succeeded(portable_create_directory(path)); }
bool platform_remove_directory(const char* path) { return succeeded(portable_remove_directory(path)); }
bool platform_delete_file(const char* path) { return succeeded(portable_delete_file(path)); }

uint32_t platform_get_file_attributes(const char* path) {
  uint32_t attributes = INVALID_FILE_ATTRIBUTES;
  succeeded(portable_get_file_attributes(path, &attributes));
  return attributes;
}

bool platform_set_file_attributes(const char* path, uint32_t attributes) {
  return succeeded(portable_set_file_attributes(path, attributes));
}

bool platform_set_current_directory(const char* path) {
  return succeeded(portable_set_current_directory(path));
}

uint32_t platform_get_current_directory(char* buffer, uint32_t size) {
  uint32_t length = 0;
  succeeded(portable_get_current_directory(buffer, size, &length));
  return length;
}
