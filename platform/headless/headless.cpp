// The headless backend: windows, menus, the tray, hot keys, drops and drawing surfaces live in memory,
// every call is recorded, and the test API in headless.h scripts the user and the system.
#include "platform/headless/headless.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <map>
#include <memory>
#include <thread>

#include "platform/portable/handle_table.h"
#include "platform/portable/memory_surface.h"
#include "platform/portable/message_queue.h"
#include "platform/portable/portable_files.h"
#include "platform/portable/portable_wait.h"

namespace {

// Objects live in handle tables while open and are freed when destroyed or deleted, so a long run keeps
// only what is open; a stale handle is never given out again and fails as an invalid one. Its number in
// the call log is its handle's number: per kind, from 1 since the last reset.
struct Window {
  HeadlessWindowInfo info;  // what the test API reports; exists is always true
  WindowProcedure procedure;
  bool destroying;
  HeadlessPresentation presented;
};

struct Menu {
  std::vector<HeadlessMenuItem> items;
};

struct Icon {
  int32_t resource_id, width, height;
};

struct Drop {
  std::vector<std::string> paths;
};

struct Search {
  PlatformFind* find;
  ~Search() { portable_find_close(find); }
};

struct WindowClass {
  std::string name;
  uint32_t style;
  WindowProcedure procedure;
};

struct TimedAction {
  uint32_t at;
  uint64_t order;  // actions due together run in the order they were added
  std::function<void()> action;
};

enum InstallPathSource { kNoInstallPath, kFixedInstallPath, kEnvironmentInstallPath };

uint32_t current_time();
PlatformPoint scripted_cursor();

struct State {
  State() {
    queue.clock = current_time;
    queue.cursor = scripted_cursor;
  }

  std::vector<HeadlessCall> calls;
  uint64_t call_generation = 0;  // changes whenever the log is emptied
  HeadlessCounters counters{};
  uint32_t last_error = ERROR_SUCCESS;

  HeadlessClockMode clock_mode = HEADLESS_CLOCK_SCRIPTED;
  uint32_t time_ms = 0;
  int64_t calendar_time = 0;
  std::function<void(uint32_t)> sleep_hook;
  std::vector<TimedAction> timeline;
  uint64_t actions_added = 0;
  double timer_period = 0.0;  // ms; 0: sleeps and waits end on their millisecond

  PlatformPoint cursor{0, 0};
  PlatformRect work_area{0, 0, 1920, 1040};
  std::vector<PlatformRect> monitors{PlatformRect{0, 0, 1920, 1080}};
  std::vector<std::pair<WindowHandle, uint32_t>> app_bars;  // window, callback message
  InstallPathSource install_path_source = kNoInstallPath;
  std::string install_path;
  std::string passed_over_path, passed_over_setting;
  std::vector<std::pair<std::string, WindowHandle>> claims;  // install path, owner window of its copy

  std::vector<WindowClass> classes;
  HandleTable<Window> windows{kWindowHandle};
  // What a destroyed window last was, for headless_window_info: windows are made at start-up, not
  // over a run, so this stays as small as the program's windows.
  std::map<uintptr_t, HeadlessWindowInfo> destroyed_windows;
  HandleTable<Menu> menus{kMenuHandle};
  HandleTable<Icon> icons{kIconHandle};
  MemorySurfaces surfaces;
  HandleTable<Drop> drops{kDropHandle};
  HandleTable<Search> searches{kFindHandle};

  MessageQueue queue;
  WindowHandle capture = nullptr;
  WindowHandle foreground = nullptr;
  WindowHandle top = nullptr;
  std::vector<TrayIconData> tray_icons;
  std::vector<HeadlessHotKey> hot_keys;
  bool hot_keys_unsupported = false;  // a session that lets no program take keys (Wayland without a portal)

  std::deque<int32_t> message_box_answers;
  std::deque<uintptr_t> menu_choices;
  std::vector<HeadlessMessageBox> message_boxes;
  std::function<void(const char*)> modal_hook;
  uint32_t layered_failure = ERROR_SUCCESS;
  // Pictures kept by number, per window (handle value), once a test asks the backend to keep them.
  bool keeps_pictures = false;
  std::map<std::pair<uintptr_t, uint64_t>, HeadlessPresentation> kept_pictures;
  int32_t thread_priority = THREAD_PRIORITY_NORMAL;
  uint32_t priority_class = NORMAL_PRIORITY_CLASS;
};

State& state() {
  static State instance;
  return instance;
}

uint32_t current_time() {
  const State& s = state();
  if (s.clock_mode != HEADLESS_CLOCK_REAL) return s.time_ms;
  const auto since_start = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since_start).count());
}

PlatformPoint scripted_cursor() { return state().cursor; }

// ---- Formatting for the call log ----

// gnu_printf: the C99 conversions (%zu, %jd) also with mingw-w64, whose C++ runtime formats them.
// Clang (the fuzz build, on Linux) knows only printf, which is the same there.
#ifdef __clang__
std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
#else
std::string format(const char* pattern, ...) __attribute__((format(gnu_printf, 1, 2)));
#endif
std::string format(const char* pattern, ...) {
  va_list arguments;
  va_start(arguments, pattern);
  va_list again;
  va_copy(again, arguments);
  const int length = vsnprintf(nullptr, 0, pattern, arguments);
  va_end(arguments);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) vsnprintf(&text[0], text.size() + 1, pattern, again);
  va_end(again);
  return text;
}

std::string quoted(const char* text) { return text != nullptr ? "\"" + std::string(text) + "\"" : "null"; }
std::string hex(uint32_t value) { return format("0x%x", value); }
std::string boolean(bool value) { return value ? "true" : "false"; }

// "window#2" for the second window handle given out, open or not; "window#?" for one never given out.
template <typename Object, typename Handle>
std::string handle_text(const char* kind, const HandleTable<Object>& table, Handle handle) {
  if (handle == nullptr) return "null";
  if (!handle_table_gave_out(table, handle)) return std::string(kind) + "#?";
  return format("%s#%ju", kind, static_cast<uintmax_t>(handle_number(table.kind, handle)));
}

std::string window_text(WindowHandle window) { return handle_text("window", state().windows, window); }
std::string menu_text(MenuHandle menu) { return handle_text("menu", state().menus, menu); }
std::string icon_text(IconHandle icon) { return handle_text("icon", state().icons, icon); }
std::string dc_text(DeviceContext dc) { return handle_text("dc", state().surfaces.device_contexts, dc); }
std::string drop_text(DropHandle drop) { return handle_text("drop", state().drops, drop); }
std::string search_text(FindHandle find) { return handle_text("find", state().searches, find); }
std::string instance_text(InstanceHandle instance) { return instance != nullptr ? "instance" : "null"; }

std::string gdi_text(GdiObject object) {
  if (object == memory_stock_bitmap()) return "stock_bitmap";
  return handle_text("bitmap", state().surfaces.bitmaps, object);
}

std::string message_text(uint32_t message) {
  switch (message) {
    case WM_NULL: return "WM_NULL";
    case WM_DESTROY: return "WM_DESTROY";
    case WM_CLOSE: return "WM_CLOSE";
    case WM_QUIT: return "WM_QUIT";
    case WM_COMMAND: return "WM_COMMAND";
    case WM_MOUSEMOVE: return "WM_MOUSEMOVE";
    case WM_LBUTTONDOWN: return "WM_LBUTTONDOWN";
    case WM_LBUTTONUP: return "WM_LBUTTONUP";
    case WM_LBUTTONDBLCLK: return "WM_LBUTTONDBLCLK";
    case WM_RBUTTONDOWN: return "WM_RBUTTONDOWN";
    case WM_RBUTTONUP: return "WM_RBUTTONUP";
    case WM_RBUTTONDBLCLK: return "WM_RBUTTONDBLCLK";
    case WM_CAPTURECHANGED: return "WM_CAPTURECHANGED";
    case WM_DROPFILES: return "WM_DROPFILES";
    case WM_HOTKEY: return "WM_HOTKEY";
    case TRAY_CALLBACK_MESSAGE: return "TRAY_CALLBACK_MESSAGE";
    case APP_BAR_CALLBACK_MESSAGE: return "APP_BAR_CALLBACK_MESSAGE";
    case WM_DISPLAYCHANGE: return "WM_DISPLAYCHANGE";
    case WM_SETTINGCHANGE: return "WM_SETTINGCHANGE";
    case WM_DPICHANGED: return "WM_DPICHANGED";
    default: return hex(message);
  }
}

std::string message_args(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam) {
  const std::string first = message == WM_DROPFILES ? drop_text(platform_drop_from_wparam(wparam))
                                                    : format("%ju", static_cast<uintmax_t>(wparam));
  return window_text(window) + ", " + message_text(message) + ", " + first + ", " +
         format("%jd", static_cast<intmax_t>(lparam));
}

// Hot keys name the same keys whatever MOD_NOREPEAT says.
bool same_keys(const HeadlessHotKey& known, uint32_t modifiers, uint32_t key) {
  return ((known.modifiers ^ modifiers) & ~static_cast<uint32_t>(MOD_NOREPEAT)) == 0 && known.key == key;
}

// ---- Recording ----

struct CallRecord {
  size_t index;
  uint64_t generation;
};

CallRecord record(const char* name, std::string args) {
  State& s = state();
  s.calls.push_back(HeadlessCall{name, std::move(args), ""});
  return CallRecord{s.calls.size() - 1, s.call_generation};
}

void set_result(CallRecord call, std::string result) {
  State& s = state();
  if (call.generation == s.call_generation && call.index < s.calls.size())
    s.calls[call.index].result = std::move(result);
}

bool fail(CallRecord call, uint32_t error) {
  state().last_error = error;
  set_result(call, "false");
  return false;
}

bool succeed(CallRecord call) {
  set_result(call, "true");
  return true;
}

// A failed portable service hands its error on; the result is whether it succeeded.
bool finish(CallRecord call, uint32_t error) {
  return error == ERROR_SUCCESS ? succeed(call) : fail(call, error);
}

// ---- Objects ----

Window* live_window(WindowHandle window) { return handle_table_find(state().windows, window); }
Menu* live_menu(MenuHandle menu) { return handle_table_find(state().menus, menu); }

bool post(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam) {
  State& s = state();
  if (window != nullptr && live_window(window) == nullptr) {
    s.last_error = ERROR_INVALID_WINDOW_HANDLE;
    return false;
  }
  message_queue_post(s.queue, window, message, wparam, lparam);
  return true;
}

LRESULT deliver(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam) {
  Window* target = live_window(window);
  if (target == nullptr) return 0;
  return target->procedure(window, message, wparam, lparam);
}

// What a modal loop does while it waits for the user: let the test act, then handle what is queued.
// A WM_QUIT stays pending for the outer loop.
int32_t dispatch_queued() {
  int32_t count = 0;
  PlatformMessage message;
  while (message_queue_has_posted(state().queue) && message_queue_take(state().queue, &message, true)) {
    deliver(message.window, message.message, message.wparam, message.lparam);
    ++count;
  }
  return count;
}

void run_modal(const char* kind) {
  std::function<void(const char*)> hook = state().modal_hook;  // the hook may replace itself
  if (hook) hook(kind);
  dispatch_queued();
}

// DestroyWindow: owned windows first (in the order they were made), then the window itself; each gets
// WM_DESTROY while it still exists, then loses its hot keys and its queued messages.
bool destroy(WindowHandle window) {
  State& s = state();
  Window* target = live_window(window);
  if (target == nullptr || target->destroying) return false;
  target->destroying = true;
  std::vector<WindowHandle> owned;
  for (const auto& entry : s.windows.open) {
    if (entry.second->info.owner == window) owned.push_back(reinterpret_cast<WindowHandle>(entry.first));
  }
  for (WindowHandle each : owned) destroy(each);
  target->info.visible = false;
  if (s.capture == window) s.capture = nullptr;
  if (s.foreground == window) s.foreground = nullptr;
  if (s.top == window) s.top = nullptr;
  target->procedure(window, WM_DESTROY, 0, 0);
  auto& hot_keys = s.hot_keys;
  hot_keys.erase(std::remove_if(hot_keys.begin(), hot_keys.end(),
                                [window](const HeadlessHotKey& key) { return key.window == window; }),
                 hot_keys.end());
  message_queue_forget_window(s.queue, window);
  target->info.destroyed = true;
  s.destroyed_windows[reinterpret_cast<uintptr_t>(window)] = target->info;
  handle_table_close(s.windows, window);
  return true;
}

// The position of an item by command id or by position; -1 when there is none.
int32_t menu_position(const Menu* menu, uint32_t item, uint32_t flags) {
  const int32_t count = static_cast<int32_t>(menu->items.size());
  if (flags & MF_BYPOSITION) return item < static_cast<uint32_t>(count) ? static_cast<int32_t>(item) : -1;
  for (int32_t i = 0; i < count; ++i) {
    const HeadlessMenuItem& entry = menu->items[i];
    if (!(entry.flags & MF_SEPARATOR) && entry.id == item) return i;
  }
  return -1;
}

std::string tray_args(uint32_t action, const TrayIconData* data) {
  const char* names[] = {"NIM_ADD", "NIM_MODIFY", "NIM_DELETE"};
  const std::string action_text = action <= NIM_DELETE ? names[action] : hex(action);
  if (data == nullptr) return action_text + ", null";
  char tip[sizeof data->tip + 1] = {};
  memcpy(tip, data->tip, sizeof data->tip);
  return action_text + ", " + window_text(data->window) + format(", %u, ", data->id) + hex(data->flags) +
         format(", %u, ", data->callback_message) + icon_text(data->icon) + ", " + quoted(tip);
}

}  // namespace

// ================= The program's run =================

void platform_start_up() { record("start_up", ""); }
void platform_tear_down() { record("tear_down", ""); }

// ================= Drawing surface =================

DeviceContext platform_create_compatible_dc(DeviceContext dc) {
  const CallRecord call = record("create_compatible_dc", dc_text(dc));
  DeviceContext made = nullptr;
  const uint32_t error = memory_create_dc(state().surfaces, dc, &made);
  if (error != ERROR_SUCCESS) state().last_error = error;
  set_result(call, made != nullptr ? dc_text(made) : "null");
  return made;
}

BitmapHandle platform_create_dib_section(DeviceContext dc, int32_t width, int32_t height, uint8_t** pixels) {
  const CallRecord call = record("create_dib_section", dc_text(dc) + format(", %d, %d", width, height));
  BitmapHandle made = nullptr;
  const uint32_t error = memory_create_dib_section(state().surfaces, width, height, &made, pixels);
  if (error != ERROR_SUCCESS) state().last_error = error;
  set_result(call, made != nullptr ? gdi_text(made) : "null");
  return made;
}

GdiObject platform_select_object(DeviceContext dc, GdiObject object) {
  const CallRecord call = record("select_object", dc_text(dc) + ", " + gdi_text(object));
  GdiObject previous = nullptr;
  const uint32_t error = memory_select_object(state().surfaces, dc, object, &previous);
  if (error != ERROR_SUCCESS) state().last_error = error;
  set_result(call, previous != nullptr ? gdi_text(previous) : "null");
  return previous;
}

bool platform_delete_dc(DeviceContext dc) {
  const CallRecord call = record("delete_dc", dc_text(dc));
  return finish(call, memory_delete_dc(state().surfaces, dc));
}

bool platform_delete_object(GdiObject object) {
  const CallRecord call = record("delete_object", gdi_text(object));
  return finish(call, memory_delete_object(state().surfaces, object));
}

// ================= Layered character window =================

bool platform_update_layered_window(WindowHandle window, int32_t width, int32_t height, DeviceContext source,
                                    uint8_t constant_alpha, uint8_t alpha_format, uint32_t flags) {
  State& s = state();
  const CallRecord call = record(
      "update_layered_window", window_text(window) + format(", %d, %d, ", width, height) + dc_text(source) +
                                   format(", %u, ", constant_alpha) + hex(alpha_format) + ", " + hex(flags));
  Window* target = live_window(window);
  if (target == nullptr) return fail(call, ERROR_INVALID_WINDOW_HANDLE);
  if (s.layered_failure != ERROR_SUCCESS) return fail(call, s.layered_failure);
  if (!(target->info.ex_style & WS_EX_LAYERED)) return fail(call, ERROR_INVALID_PARAMETER);
  HeadlessPresentation& shown = target->presented;
  const uint32_t error = memory_copy_corner(s.surfaces, source, width, height, &shown.pixels);
  if (error != ERROR_SUCCESS) return fail(call, error);
  shown.count += 1;
  shown.x = target->info.x;
  shown.y = target->info.y;
  shown.width = width;
  shown.height = height;
  shown.opacity = constant_alpha;
  shown.alpha_format = alpha_format;
  shown.flags = flags;
  target->info.width = width;
  target->info.height = height;
  return succeed(call);
}

// Like Windows, this backend keeps nothing unless a test asks it to; the calls are then recorded.
bool platform_keep_layered_picture(WindowHandle window, uint64_t picture) {
  State& s = state();
  if (!s.keeps_pictures) return false;
  record("keep_layered_picture", window_text(window) + format(", %llu", static_cast<unsigned long long>(picture)));
  const Window* target = live_window(window);
  if (target == nullptr || target->presented.count == 0) return false;
  s.kept_pictures[{reinterpret_cast<uintptr_t>(window), picture}] = target->presented;
  return true;
}

bool platform_show_kept_picture(WindowHandle window, uint64_t picture, int32_t width, int32_t height,
                                uint8_t constant_alpha) {
  State& s = state();
  if (!s.keeps_pictures) return false;
  const CallRecord call =
      record("show_kept_picture", window_text(window) + format(", %llu, %d, %d, %u",
                                                               static_cast<unsigned long long>(picture), width,
                                                               height, constant_alpha));
  Window* target = live_window(window);
  const auto kept = s.kept_pictures.find({reinterpret_cast<uintptr_t>(window), picture});
  if (target == nullptr || kept == s.kept_pictures.end() || s.layered_failure != ERROR_SUCCESS ||
      kept->second.width != width || kept->second.height != height)
    return fail(call, ERROR_INVALID_PARAMETER);
  const uint32_t count = target->presented.count;
  target->presented = kept->second;
  target->presented.count = count + 1;
  target->presented.x = target->info.x;
  target->presented.y = target->info.y;
  target->presented.opacity = constant_alpha;
  target->info.width = width;
  target->info.height = height;
  return succeed(call);
}

void platform_forget_kept_pictures(WindowHandle window) {
  State& s = state();
  if (!s.keeps_pictures) return;
  record("forget_kept_pictures", window_text(window));
  const auto number = reinterpret_cast<uintptr_t>(window);
  s.kept_pictures.erase(s.kept_pictures.lower_bound({number, 0}), s.kept_pictures.upper_bound({number, UINT64_MAX}));
}

bool platform_set_window_pos(WindowHandle window, WindowHandle insert_after, int32_t x, int32_t y,
                             int32_t width, int32_t height, uint32_t flags) {
  State& s = state();
  const CallRecord call =
      record("set_window_pos", window_text(window) + ", " + window_text(insert_after) +
                                   format(", %d, %d, %d, %d, ", x, y, width, height) + hex(flags));
  Window* target = live_window(window);
  if (target == nullptr) return fail(call, ERROR_INVALID_WINDOW_HANDLE);
  if (!(flags & SWP_NOMOVE)) {
    target->info.x = x;
    target->info.y = y;
  }
  if (!(flags & SWP_NOSIZE)) {
    target->info.width = std::max(width, 0);
    target->info.height = std::max(height, 0);
  }
  if (flags & SWP_SHOWWINDOW) target->info.visible = true;
  if (flags & SWP_HIDEWINDOW) target->info.visible = false;
  if (!(flags & SWP_NOZORDER) && insert_after == nullptr) s.top = window;
  return succeed(call);
}

bool platform_show_window(WindowHandle window, int32_t command) {
  const CallRecord call = record("show_window", window_text(window) + format(", %d", command));
  Window* target = live_window(window);
  if (target == nullptr) return fail(call, ERROR_INVALID_WINDOW_HANDLE);
  const bool was_visible = target->info.visible;
  target->info.visible = command != SW_HIDE;
  set_result(call, boolean(was_visible));
  return was_visible;
}

bool platform_bring_window_to_top(WindowHandle window) {
  const CallRecord call = record("bring_window_to_top", window_text(window));
  if (live_window(window) == nullptr) return fail(call, ERROR_INVALID_WINDOW_HANDLE);
  state().top = window;
  return succeed(call);
}

bool platform_set_foreground_window(WindowHandle window) {
  const CallRecord call = record("set_foreground_window", window_text(window));
  if (live_window(window) == nullptr) return fail(call, ERROR_INVALID_WINDOW_HANDLE);
  state().foreground = window;
  return succeed(call);
}

WindowHandle platform_set_capture(WindowHandle window) {
  State& s = state();
  const CallRecord call = record("set_capture", window_text(window));
  const WindowHandle previous = s.capture;
  if (live_window(window) == nullptr) {
    s.last_error = ERROR_INVALID_WINDOW_HANDLE;
    set_result(call, "null");
    return nullptr;
  }
  s.capture = window;
  set_result(call, window_text(previous));
  return previous;
}

bool platform_release_capture() {
  const CallRecord call = record("release_capture", "");
  state().capture = nullptr;
  return succeed(call);
}

bool platform_client_to_screen(WindowHandle window, PlatformPoint* point) {
  const CallRecord call =
      record("client_to_screen",
             window_text(window) + (point ? format(", (%d, %d)", point->x, point->y) : ", null"));
  const Window* target = live_window(window);
  if (target == nullptr) return fail(call, ERROR_INVALID_WINDOW_HANDLE);
  if (point == nullptr) return fail(call, ERROR_INVALID_PARAMETER);
  // Wrapping like the 32-bit arithmetic of the system, never overflowing a signed number.
  point->x = static_cast<int32_t>(static_cast<uint32_t>(point->x) + static_cast<uint32_t>(target->info.x));
  point->y = static_cast<int32_t>(static_cast<uint32_t>(point->y) + static_cast<uint32_t>(target->info.y));
  set_result(call, format("true (%d, %d)", point->x, point->y));
  return true;
}

bool platform_get_cursor_pos(PlatformPoint* point) {
  const State& s = state();
  const CallRecord call = record("get_cursor_pos", "");
  if (point == nullptr) return fail(call, ERROR_INVALID_PARAMETER);
  *point = s.cursor;
  set_result(call, format("true (%d, %d)", point->x, point->y));
  return true;
}

bool platform_get_work_area(PlatformRect* area) {
  const State& s = state();
  const CallRecord call = record("get_work_area", "");
  if (area == nullptr) return fail(call, ERROR_INVALID_PARAMETER);
  *area = s.work_area;
  set_result(call, format("true (%d, %d, %d, %d)", area->left, area->top, area->right, area->bottom));
  return true;
}

bool platform_rect_on_a_monitor(const PlatformRect* rect) {
  const State& s = state();
  const CallRecord call = record("rect_on_a_monitor", rect != nullptr ? format("(%d, %d, %d, %d)", rect->left,
                                 rect->top, rect->right, rect->bottom) : "null");
  if (rect == nullptr) return fail(call, ERROR_INVALID_PARAMETER);
  // An empty rect stands for its top-left pixel.
  const int64_t right = std::max(int64_t{rect->right}, int64_t{rect->left} + 1);
  const int64_t bottom = std::max(int64_t{rect->bottom}, int64_t{rect->top} + 1);
  for (const PlatformRect& monitor : s.monitors) {
    if (rect->left < monitor.right && right > monitor.left && rect->top < monitor.bottom && bottom > monitor.top)
      return succeed(call);
  }
  set_result(call, "false");
  return false;
}

bool platform_register_app_bar(WindowHandle window, uint32_t callback_message) {
  State& s = state();
  const CallRecord call = record("register_app_bar", window_text(window) + ", " + message_text(callback_message));
  if (live_window(window) == nullptr) return fail(call, ERROR_INVALID_WINDOW_HANDLE);
  for (const auto& bar : s.app_bars) {
    if (bar.first == window) return fail(call, ERROR_ALREADY_EXISTS);
  }
  s.app_bars.emplace_back(window, callback_message);
  return succeed(call);
}

bool platform_remove_app_bar(WindowHandle window) {
  State& s = state();
  const CallRecord call = record("remove_app_bar", window_text(window));
  for (auto bar = s.app_bars.begin(); bar != s.app_bars.end(); ++bar) {
    if (bar->first != window) continue;
    s.app_bars.erase(bar);
    return succeed(call);
  }
  return fail(call, ERROR_INVALID_WINDOW_HANDLE);
}

// ================= Windows and messages =================

bool platform_register_class(InstanceHandle instance, const char* class_name, uint32_t class_style,
                             WindowProcedure procedure) {
  State& s = state();
  const CallRecord call =
      record("register_class", instance_text(instance) + ", " + quoted(class_name) + ", " + hex(class_style));
  if (class_name == nullptr || class_name[0] == '\0' || procedure == nullptr)
    return fail(call, ERROR_INVALID_PARAMETER);
  for (const WindowClass& known : s.classes) {
    if (known.name == class_name) return fail(call, ERROR_CLASS_ALREADY_EXISTS);
  }
  s.classes.push_back(WindowClass{class_name, class_style, procedure});
  return succeed(call);
}

WindowHandle platform_create_window_ex(uint32_t ex_style, const char* class_name, const char* title,
                                       uint32_t style, int32_t x, int32_t y, int32_t width, int32_t height,
                                       WindowHandle owner, InstanceHandle instance) {
  State& s = state();
  const CallRecord call =
      record("create_window_ex", hex(ex_style) + ", " + quoted(class_name) + ", " + quoted(title) + ", " +
                                     hex(style) + format(", %d, %d, %d, %d, ", x, y, width, height) +
                                     window_text(owner) + ", " + instance_text(instance));
  const WindowClass* window_class = nullptr;
  for (const WindowClass& known : s.classes) {
    if (class_name != nullptr && known.name == class_name) window_class = &known;
  }
  uint32_t error = ERROR_SUCCESS;
  if (window_class == nullptr)
    error = ERROR_CANNOT_FIND_WND_CLASS;
  else if (owner != nullptr && live_window(owner) == nullptr)
    error = ERROR_INVALID_WINDOW_HANDLE;
  if (error != ERROR_SUCCESS) {
    s.last_error = error;
    set_result(call, "null");
    return nullptr;
  }
  // A pop-up window given CW_USEDEFAULT gets 0, as on Windows.
  auto or_zero = [](int32_t value) { return value == CW_USEDEFAULT ? 0 : value; };
  auto window = std::unique_ptr<Window>(new Window{});
  window->info = HeadlessWindowInfo{true,
                                    false,
                                    window_class->name,
                                    title != nullptr ? title : "",
                                    style,
                                    ex_style,
                                    or_zero(x),
                                    or_zero(y),
                                    std::max(or_zero(width), 0),
                                    std::max(or_zero(height), 0),
                                    (style & WS_VISIBLE) != 0,
                                    owner,
                                    (ex_style & WS_EX_ACCEPTFILES) != 0};
  window->procedure = window_class->procedure;
  const WindowHandle made = handle_table_add<WindowHandle>(s.windows, std::move(window));
  set_result(call, window_text(made));
  return made;
}

bool platform_destroy_window(WindowHandle window) {
  const CallRecord call = record("destroy_window", window_text(window));
  if (!destroy(window)) return fail(call, ERROR_INVALID_WINDOW_HANDLE);
  return succeed(call);
}

LRESULT platform_default_window_procedure(WindowHandle window, uint32_t message, WPARAM wparam,
                                          LPARAM lparam) {
  const CallRecord call = record("default_window_procedure", message_args(window, message, wparam, lparam));
  if (message == WM_CLOSE) destroy(window);
  set_result(call, "0");
  return 0;
}

bool platform_post_message(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam) {
  const CallRecord call = record("post_message", message_args(window, message, wparam, lparam));
  return post(window, message, wparam, lparam) ? succeed(call) : fail(call, ERROR_INVALID_WINDOW_HANDLE);
}

void platform_post_quit_message(int32_t exit_code) {
  State& s = state();
  record("post_quit_message", format("%d", exit_code));
  message_queue_post_quit(s.queue, exit_code);
}

bool platform_peek_message(PlatformMessage* message, uint32_t remove) {
  state().counters.peeks += 1;
  if (message == nullptr) return false;
  return message_queue_take(state().queue, message, (remove & PM_REMOVE) != 0);
}

bool platform_translate_message(const PlatformMessage*) {
  state().counters.translates += 1;
  return false;  // no keyboard to translate
}

LRESULT platform_dispatch_message(const PlatformMessage* message) {
  if (message == nullptr) return 0;
  const CallRecord call = record(
      "dispatch_message", message_args(message->window, message->message, message->wparam, message->lparam));
  const LRESULT result = deliver(message->window, message->message, message->wparam, message->lparam);
  set_result(call, format("%jd", static_cast<intmax_t>(result)));
  return result;
}

// ================= Pop-up menu =================

MenuHandle platform_create_popup_menu() {
  State& s = state();
  const CallRecord call = record("create_popup_menu", "");
  const MenuHandle menu = handle_table_add<MenuHandle>(s.menus, std::unique_ptr<Menu>(new Menu{}));
  set_result(call, menu_text(menu));
  return menu;
}

bool platform_append_menu(MenuHandle menu, uint32_t flags, uintptr_t id, const char* caption) {
  const CallRecord call =
      record("append_menu", menu_text(menu) + ", " + hex(flags) +
                                format(", %ju, ", static_cast<uintmax_t>(id)) + quoted(caption));
  Menu* target = live_menu(menu);
  if (target == nullptr) return fail(call, ERROR_INVALID_MENU_HANDLE);
  if (flags & MF_SEPARATOR) {
    target->items.push_back(HeadlessMenuItem{flags, 0, "", false});
  } else {
    target->items.push_back(
        HeadlessMenuItem{flags, id, caption != nullptr ? caption : "", (flags & MF_CHECKED) != 0});
  }
  return succeed(call);
}

bool platform_delete_menu(MenuHandle menu, uint32_t item, uint32_t flags) {
  const CallRecord call = record("delete_menu", menu_text(menu) + format(", %u, ", item) + hex(flags));
  Menu* target = live_menu(menu);
  if (target == nullptr) return fail(call, ERROR_INVALID_MENU_HANDLE);
  const int32_t position = menu_position(target, item, flags);
  if (position < 0) return fail(call, ERROR_MENU_ITEM_NOT_FOUND);
  target->items.erase(target->items.begin() + position);
  return succeed(call);
}

bool platform_check_menu_radio_item(MenuHandle menu, uint32_t first, uint32_t last, uint32_t check,
                                    uint32_t flags) {
  const CallRecord call = record("check_menu_radio_item",
                                 menu_text(menu) + format(", %u, %u, %u, ", first, last, check) + hex(flags));
  Menu* target = live_menu(menu);
  if (target == nullptr) return fail(call, ERROR_INVALID_MENU_HANDLE);
  const int32_t from = menu_position(target, first, flags);
  const int32_t to = menu_position(target, last, flags);
  if (from < 0 || to < 0 || from > to) return fail(call, ERROR_MENU_ITEM_NOT_FOUND);
  const int32_t marked = menu_position(target, check, flags);
  for (int32_t i = from; i <= to; ++i) target->items[i].checked = i == marked;
  return marked >= from && marked <= to ? succeed(call) : fail(call, ERROR_MENU_ITEM_NOT_FOUND);
}

int32_t platform_track_popup_menu(MenuHandle menu, uint32_t flags, int32_t x, int32_t y, WindowHandle owner) {
  State& s = state();
  const CallRecord call = record("track_popup_menu", menu_text(menu) + ", " + hex(flags) +
                                                         format(", %d, %d, ", x, y) + window_text(owner));
  uint32_t error = ERROR_SUCCESS;
  if (live_menu(menu) == nullptr)
    error = ERROR_INVALID_MENU_HANDLE;
  else if (live_window(owner) == nullptr)
    error = ERROR_INVALID_WINDOW_HANDLE;
  if (error != ERROR_SUCCESS) {
    s.last_error = error;
    set_result(call, "0");
    return 0;
  }
  run_modal("track_popup_menu");
  uintptr_t choice = 0;
  if (!s.menu_choices.empty()) {
    choice = s.menu_choices.front();
    s.menu_choices.pop_front();
  }
  // The nested loop may have changed or destroyed the menu: only an item it still holds can be chosen.
  const Menu* shown = live_menu(menu);
  if (choice != 0 && (shown == nullptr || choice > 0xFFFFFFFFu ||
                      menu_position(shown, static_cast<uint32_t>(choice), MF_BYCOMMAND) < 0))
    choice = 0;
  if (flags & TPM_RETURNCMD) {
    set_result(call, format("%ju", static_cast<uintmax_t>(choice)));
    return static_cast<int32_t>(choice);
  }
  if (choice != 0) post(owner, WM_COMMAND, LOWORD(choice), 0);  // WM_COMMAND carries the id in its low word
  set_result(call, choice != 0 ? format("1 (chose %ju)", static_cast<uintmax_t>(choice)) : "1 (dismissed)");
  return 1;
}

bool platform_destroy_menu(MenuHandle menu) {
  const CallRecord call = record("destroy_menu", menu_text(menu));
  if (live_menu(menu) == nullptr) return fail(call, ERROR_INVALID_MENU_HANDLE);
  handle_table_close(state().menus, menu);
  return succeed(call);
}

// ================= Tray icon and icons =================

bool platform_notify_icon(uint32_t action, const TrayIconData* data) {
  State& s = state();
  const CallRecord call = record("notify_icon", tray_args(action, data));
  if (data == nullptr) return fail(call, ERROR_INVALID_PARAMETER);
  auto shown = std::find_if(s.tray_icons.begin(), s.tray_icons.end(), [data](const TrayIconData& icon) {
    return icon.window == data->window && icon.id == data->id;
  });
  TrayIconData copy = *data;
  copy.tip[sizeof copy.tip - 1] = '\0';
  switch (action) {
    case NIM_ADD:
      if (shown != s.tray_icons.end()) return fail(call, ERROR_ALREADY_EXISTS);
      s.tray_icons.push_back(copy);
      return succeed(call);
    case NIM_MODIFY:
      if (shown == s.tray_icons.end()) return fail(call, ERROR_FILE_NOT_FOUND);
      *shown = copy;
      return succeed(call);
    case NIM_DELETE:
      if (shown == s.tray_icons.end()) return fail(call, ERROR_FILE_NOT_FOUND);
      s.tray_icons.erase(shown);
      return succeed(call);
    default: return fail(call, ERROR_INVALID_PARAMETER);
  }
}

IconHandle platform_load_icon(InstanceHandle instance, int32_t resource_id, int32_t width, int32_t height) {
  State& s = state();
  const CallRecord call =
      record("load_icon", instance_text(instance) + format(", %d, %d, %d", resource_id, width, height));
  if (resource_id != APP_ICON_RESOURCE_ID) {
    s.last_error = ERROR_RESOURCE_NAME_NOT_FOUND;
    set_result(call, "null");
    return nullptr;
  }
  const IconHandle icon =
      handle_table_add<IconHandle>(s.icons, std::unique_ptr<Icon>(new Icon{resource_id, width, height}));
  set_result(call, icon_text(icon));
  return icon;
}

bool platform_destroy_icon(IconHandle icon) {
  const CallRecord call = record("destroy_icon", icon_text(icon));
  if (handle_table_find(state().icons, icon) == nullptr) return fail(call, ERROR_INVALID_ICON_HANDLE);
  handle_table_close(state().icons, icon);
  return succeed(call);
}

// ================= Message box, hot key, dropped files, web address =================

int32_t platform_message_box(WindowHandle owner, const char* text, const char* caption, uint32_t flags) {
  State& s = state();
  const CallRecord call = record(
      "message_box", window_text(owner) + ", " + quoted(text) + ", " + quoted(caption) + ", " + hex(flags));
  if (owner != nullptr && live_window(owner) == nullptr) {
    s.last_error = ERROR_INVALID_WINDOW_HANDLE;
    set_result(call, "0");
    return 0;
  }
  s.message_boxes.push_back(
      HeadlessMessageBox{text != nullptr ? text : "", caption != nullptr ? caption : "", flags, 0});
  const size_t box = s.message_boxes.size() - 1;
  run_modal("message_box");
  int32_t answer = IDOK;
  if (!s.message_box_answers.empty()) {
    answer = s.message_box_answers.front();
    s.message_box_answers.pop_front();
  }
  if (box < s.message_boxes.size()) s.message_boxes[box].answer = answer;
  set_result(call, format("%d", answer));
  return answer;
}

bool platform_register_hot_key(WindowHandle window, int32_t id, uint32_t modifiers, uint32_t key) {
  State& s = state();
  const CallRecord call = record(
      "register_hot_key", window_text(window) + format(", %d, ", id) + hex(modifiers) + ", " + hex(key));
  if (window != nullptr && live_window(window) == nullptr) return fail(call, ERROR_INVALID_WINDOW_HANDLE);
  if (s.hot_keys_unsupported) return fail(call, ERROR_NOT_SUPPORTED);
  for (const HeadlessHotKey& known : s.hot_keys) {
    if (same_keys(known, modifiers, key) || (known.window == window && known.id == id))
      return fail(call, ERROR_HOTKEY_ALREADY_REGISTERED);
  }
  s.hot_keys.push_back(HeadlessHotKey{window, id, modifiers, key});
  return succeed(call);
}

bool platform_unregister_hot_key(WindowHandle window, int32_t id) {
  State& s = state();
  const CallRecord call = record("unregister_hot_key", window_text(window) + format(", %d", id));
  auto known = std::find_if(s.hot_keys.begin(), s.hot_keys.end(), [window, id](const HeadlessHotKey& key) {
    return key.window == window && key.id == id;
  });
  if (known == s.hot_keys.end()) return fail(call, ERROR_HOTKEY_NOT_REGISTERED);
  s.hot_keys.erase(known);
  return succeed(call);
}

void platform_drag_accept_files(WindowHandle window, bool accept) {
  record("drag_accept_files", window_text(window) + ", " + boolean(accept));
  Window* target = live_window(window);
  if (target == nullptr) return;
  target->info.accepts_files = accept;
  target->info.ex_style =
      accept ? (target->info.ex_style | WS_EX_ACCEPTFILES) : (target->info.ex_style & ~WS_EX_ACCEPTFILES);
}

uint32_t platform_drag_query_file(DropHandle drop, uint32_t index, char* buffer, uint32_t size) {
  State& s = state();
  const CallRecord call = record("drag_query_file", drop_text(drop) + format(", %u, %u", index, size));
  const Drop* target = handle_table_find(s.drops, drop);
  uint32_t result = 0;
  if (target == nullptr) {
    s.last_error = ERROR_INVALID_HANDLE;
  } else if (index == DROP_QUERY_COUNT) {
    result = static_cast<uint32_t>(target->paths.size());
  } else if (index < target->paths.size()) {
    const std::string& path = target->paths[index];
    if (buffer == nullptr) {
      result = static_cast<uint32_t>(path.size());
    } else if (size > 0) {
      result = static_cast<uint32_t>(std::min<size_t>(path.size(), size - 1));
      memcpy(buffer, path.data(), result);
      buffer[result] = '\0';
    }
  }
  set_result(call, format("%u", result));
  return result;
}

void platform_drag_finish(DropHandle drop) {
  record("drag_finish", drop_text(drop));
  handle_table_close(state().drops, drop);
}

bool platform_shell_execute(WindowHandle window, const char* verb, const char* file, const char* parameters,
                            const char* directory, int32_t show) {
  const CallRecord call =
      record("shell_execute", window_text(window) + ", " + quoted(verb) + ", " + quoted(file) + ", " +
                                  quoted(parameters) + ", " + quoted(directory) + format(", %d", show));
  if (file == nullptr || file[0] == '\0') return fail(call, ERROR_FILE_NOT_FOUND);
  return succeed(call);
}

// ================= Time, priorities, errors =================

namespace {

bool message_waiting() { return message_queue_has_message(state().queue); }

// The earliest scripted action, or end(); one that is due already counts as due now.
std::vector<TimedAction>::iterator earliest_action() {
  std::vector<TimedAction>& timeline = state().timeline;
  const uint32_t now = current_time();
  const auto wait = [now](const TimedAction& a) { return std::max(static_cast<int32_t>(a.at - now), 0); };
  return std::min_element(timeline.begin(), timeline.end(), [&](const TimedAction& a, const TimedAction& b) {
    return wait(a) != wait(b) ? wait(a) < wait(b) : a.order < b.order;
  });
}

void run_due_actions() {
  for (auto next = earliest_action(); next != state().timeline.end() &&
                                      static_cast<int32_t>(next->at - current_time()) <= 0;
       next = earliest_action()) {
    const std::function<void()> action = std::move(next->action);
    state().timeline.erase(next);
    action();  // it may add actions
  }
}

void move_clock(uint32_t milliseconds) {
  State& s = state();
  if (s.clock_mode == HEADLESS_CLOCK_SCRIPTED) s.time_ms += milliseconds;
  if (s.clock_mode == HEADLESS_CLOCK_REAL) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// Passes milliseconds (INFINITE: until no action is left), stopping at every scripted action to run
// it; with stop_on_message, only until a message waits (true). A frozen clock runs what is due only.
bool pass_time(uint32_t milliseconds, bool stop_on_message) {
  const uint32_t end = current_time() + milliseconds;
  for (;;) {
    run_due_actions();
    if (stop_on_message && message_waiting()) return true;
    if (state().clock_mode == HEADLESS_CLOCK_SCRIPTED_FROZEN) return false;
    const auto next = earliest_action();
    const bool no_action = next == state().timeline.end();
    const bool endless = milliseconds == INFINITE;
    const int32_t left = static_cast<int32_t>(end - current_time());
    if (endless ? no_action : left <= 0) return false;
    const int32_t to_action = no_action ? left : static_cast<int32_t>(next->at - current_time());
    move_clock(static_cast<uint32_t>(endless ? to_action : std::min(left, to_action)));
  }
}

// How long a sleep or a wait of milliseconds lasts on the emulated coarse timer: until its first tick
// at or after the due moment.
uint32_t until_timer_tick(uint32_t milliseconds) {
  const State& s = state();
  if (s.timer_period <= 0.0 || s.clock_mode != HEADLESS_CLOCK_SCRIPTED || milliseconds == INFINITE)
    return milliseconds;
  const double due = static_cast<double>(s.time_ms) + milliseconds;
  const double tick = std::ceil(std::ceil(due / s.timer_period) * s.timer_period);
  return static_cast<uint32_t>(std::min(tick - s.time_ms, 4294967294.0));
}

}  // namespace

uint32_t platform_time_ms() {
  state().counters.time_reads += 1;
  return current_time();
}

void platform_sleep(uint32_t milliseconds) {
  State& s = state();
  s.counters.sleeps += 1;
  s.counters.slept_ms += milliseconds;
  pass_time(until_timer_tick(milliseconds), false);
  std::function<void(uint32_t)> hook = s.sleep_hook;  // the hook may replace itself
  if (hook) hook(current_time());
}

// As on Windows: the first part on the coarse timer, the last tens of milliseconds exact.
bool platform_wait_message(uint32_t timeout_ms) {
  State& s = state();
  s.counters.waits += 1;
  const uint32_t deadline = current_time() + timeout_ms;
  const uint32_t coarse = coarse_part_of_wait(timeout_ms);
  if (coarse != 0 && pass_time(until_timer_tick(coarse), true)) return true;
  if (timeout_ms == INFINITE) return message_waiting();
  const int32_t left = static_cast<int32_t>(deadline - current_time());
  return pass_time(left > 0 ? static_cast<uint32_t>(left) : 0, true);  // the timer raised: exact
}

int64_t platform_calendar_time() {
  const State& s = state();
  const CallRecord call = record("calendar_time", "");
  const int64_t seconds =
      s.clock_mode == HEADLESS_CLOCK_REAL ? static_cast<int64_t>(std::time(nullptr)) : s.calendar_time;
  set_result(call, format("%jd", static_cast<intmax_t>(seconds)));
  return seconds;
}

bool platform_set_thread_priority(int32_t priority) {
  const CallRecord call = record("set_thread_priority", format("%d", priority));
  state().thread_priority = priority;
  return succeed(call);
}

bool platform_set_priority_class(uint32_t priority_class) {
  const CallRecord call = record("set_priority_class", hex(priority_class));
  state().priority_class = priority_class;
  return succeed(call);
}

uint32_t platform_get_last_error() {
  const uint32_t error = state().last_error;
  const CallRecord call = record("get_last_error", "");
  set_result(call, format("%u", error));
  return error;
}

void platform_set_last_error(uint32_t code) {
  record("set_last_error", format("%u", code));
  state().last_error = code;
}

uint32_t platform_error_text(uint32_t code, char* buffer, uint32_t size) {
  const CallRecord call = record("error_text", format("%u, %u", code, size));
  const uint32_t length = portable_error_text(code, buffer, size);
  set_result(call, format("%u", length));
  return length;
}

// ================= Install path =================

bool platform_read_install_path(char* buffer, uint32_t size) {
  const State& s = state();
  const CallRecord call = record("read_install_path", format("%u", size));
  if (buffer == nullptr || size == 0) return fail(call, ERROR_INVALID_PARAMETER);
  buffer[0] = '\0';
  bool found = false;
  if (s.install_path_source == kEnvironmentInstallPath) {
    found = portable_install_path_from_environment(buffer, size);
  } else if (s.install_path_source == kFixedInstallPath && s.install_path.size() < size) {
    memcpy(buffer, s.install_path.c_str(), s.install_path.size() + 1);
    found = true;
  }
  if (!found) return fail(call, ERROR_FILE_NOT_FOUND);
  set_result(call, "true " + quoted(buffer));
  return true;
}

bool platform_passed_over_install_path(char* path, uint32_t path_size, char* setting, uint32_t setting_size) {
  const State& s = state();
  const CallRecord call = record("passed_over_install_path", format("%u, %u", path_size, setting_size));
  if (s.passed_over_path.empty() || path == nullptr || setting == nullptr || path_size == 0 || setting_size == 0)
    return false;
  snprintf(path, path_size, "%s", s.passed_over_path.c_str());
  snprintf(setting, setting_size, "%s", s.passed_over_setting.c_str());
  set_result(call, "true " + quoted(path) + " " + quoted(setting));
  return true;
}

// ================= One running copy per install path =================

// Copies are the claims made in this process since the last reset: a claim of a path claimed before
// hands over to the window that claimed it first.
bool platform_claim_install_path(const char* path, WindowHandle owner, HandOverRequest request) {
  State& s = state();
  const CallRecord call = record("claim_install_path", quoted(path) + ", " + window_text(owner) +
                                                           (request == HAND_OVER_TOGGLE ? ", toggle" : ""));
  if (path == nullptr) return true;
  for (const auto& claim : s.claims) {
    if (claim.first != path) continue;
    post(claim.second, request == HAND_OVER_TOGGLE ? WM_APP + 2 : WM_APP + 1, 0, 0);
    set_result(call, "false");
    return false;
  }
  s.claims.emplace_back(path, owner);
  set_result(call, "true");
  return true;
}

uint32_t platform_show_request_message() { return state().claims.empty() ? 0 : WM_APP + 1; }
uint32_t platform_toggle_request_message() { return state().claims.empty() ? 0 : WM_APP + 2; }

bool platform_no_display_reason(char*, uint32_t) { return false; }

// ================= Files =================

FindHandle platform_find_first_file(const char* pattern, PlatformFindData* data) {
  State& s = state();
  const CallRecord call = record("find_first_file", quoted(pattern));
  PlatformFind* find = nullptr;
  const uint32_t error =
      data != nullptr ? portable_find_first_file(pattern, data, &find) : ERROR_INVALID_PARAMETER;
  if (error != ERROR_SUCCESS) {
    s.last_error = error;
    set_result(call, "null");
    return nullptr;
  }
  const FindHandle made = handle_table_add<FindHandle>(s.searches, std::unique_ptr<Search>(new Search{find}));
  set_result(call, search_text(made) + " " + quoted(data->name));
  return made;
}

bool platform_find_next_file(FindHandle find, PlatformFindData* data) {
  const CallRecord call = record("find_next_file", search_text(find));
  const Search* search = handle_table_find(state().searches, find);
  if (search == nullptr) return fail(call, ERROR_INVALID_HANDLE);
  const uint32_t error = portable_find_next_file(search->find, data);
  if (error != ERROR_SUCCESS) return fail(call, error);
  set_result(call, "true " + quoted(data->name));
  return true;
}

bool platform_find_close(FindHandle find) {
  const CallRecord call = record("find_close", search_text(find));
  if (handle_table_find(state().searches, find) == nullptr) return fail(call, ERROR_INVALID_HANDLE);
  handle_table_close(state().searches, find);
  return succeed(call);
}

bool platform_copy_file(const char* existing, const char* new_path) {
  const CallRecord call = record("copy_file", quoted(existing) + ", " + quoted(new_path));
  return finish(call, portable_copy_file(existing, new_path));
}

bool platform_move_file(const char* existing, const char* new_path) {
  const CallRecord call = record("move_file", quoted(existing) + ", " + quoted(new_path));
  return finish(call, portable_move_file(existing, new_path));
}

bool platform_flush_file(const char* path) {
  const CallRecord call = record("flush_file", quoted(path));
  return finish(call, portable_flush_file(path));
}

uint32_t platform_process_id() { return portable_process_id(); }
bool platform_process_running(uint32_t process_id) { return portable_process_running(process_id); }

bool platform_create_directory(const char* path) {
  const CallRecord call = record("create_directory", quoted(path));
  return finish(call, portable_create_directory(path));
}

bool platform_remove_directory(const char* path) {
  const CallRecord call = record("remove_directory", quoted(path));
  return finish(call, portable_remove_directory(path));
}

bool platform_delete_file(const char* path) {
  const CallRecord call = record("delete_file", quoted(path));
  return finish(call, portable_delete_file(path));
}

uint32_t platform_get_file_attributes(const char* path) {
  const CallRecord call = record("get_file_attributes", quoted(path));
  uint32_t attributes = INVALID_FILE_ATTRIBUTES;
  const uint32_t error = portable_get_file_attributes(path, &attributes);
  if (error != ERROR_SUCCESS) state().last_error = error;
  set_result(call, hex(attributes));
  return attributes;
}

bool platform_set_file_attributes(const char* path, uint32_t attributes) {
  const CallRecord call = record("set_file_attributes", quoted(path) + ", " + hex(attributes));
  return finish(call, portable_set_file_attributes(path, attributes));
}

bool platform_set_current_directory(const char* path) {
  const CallRecord call = record("set_current_directory", quoted(path));
  return finish(call, portable_set_current_directory(path));
}

uint32_t platform_get_current_directory(char* buffer, uint32_t size) {
  const CallRecord call = record("get_current_directory", format("%u", size));
  uint32_t length = 0;
  const uint32_t error = portable_get_current_directory(buffer, size, &length);
  if (error != ERROR_SUCCESS) state().last_error = error;
  set_result(call, format("%u", length));
  return length;
}

// ================= Test API =================

void headless_set_hot_keys_unsupported(bool unsupported) { state().hot_keys_unsupported = unsupported; }

void headless_reset() {
  State& s = state();
  const uint64_t generation = s.call_generation;
  s = State();
  s.call_generation = generation + 1;
  platform_srand(1);
}

const std::vector<HeadlessCall>& headless_calls() { return state().calls; }

std::vector<HeadlessCall> headless_calls_named(const char* name) {
  std::vector<HeadlessCall> named;
  for (const HeadlessCall& call : state().calls) {
    if (name != nullptr && call.name == name) named.push_back(call);
  }
  return named;
}

std::string headless_call_text(const HeadlessCall& call) {
  std::string text = call.name + "(" + call.args + ")";
  if (!call.result.empty()) text += " -> " + call.result;
  return text;
}

void headless_clear_calls() {
  State& s = state();
  s.calls.clear();
  s.call_generation += 1;
}

HeadlessCounters headless_counters() { return state().counters; }

void headless_set_clock_mode(HeadlessClockMode mode) { state().clock_mode = mode; }
void headless_set_time(uint32_t milliseconds) { state().time_ms = milliseconds; }
void headless_advance_time(uint32_t milliseconds) { state().time_ms += milliseconds; }
void headless_set_calendar_time(int64_t seconds) { state().calendar_time = seconds; }
void headless_set_sleep_hook(std::function<void(uint32_t now)> hook) { state().sleep_hook = std::move(hook); }
void headless_at(uint32_t at_ms, std::function<void()> action) {
  State& s = state();
  s.timeline.push_back(TimedAction{at_ms, s.actions_added++, std::move(action)});
}
void headless_set_timer_period(double period_ms) { state().timer_period = period_ms; }

void headless_set_cursor_pos(int32_t x, int32_t y) { state().cursor = PlatformPoint{x, y}; }
void headless_set_work_area(PlatformRect area) { state().work_area = area; }

void headless_set_monitors(const std::vector<PlatformRect>& monitors) { state().monitors = monitors; }

bool headless_full_screen(bool on) {
  const State& s = state();
  for (const auto& bar : s.app_bars) post(bar.first, bar.second, ABN_FULLSCREENAPP, on ? 1 : 0);
  return !s.app_bars.empty();
}

void headless_set_install_path(const char* path) {
  State& s = state();
  s.install_path_source = path != nullptr ? kFixedInstallPath : kNoInstallPath;
  s.install_path = path != nullptr ? path : "";
}

void headless_set_passed_over_install_path(const char* path, const char* setting) {
  state().passed_over_path = path != nullptr ? path : "";
  state().passed_over_setting = setting != nullptr ? setting : "";
}

void headless_use_environment_install_path() { state().install_path_source = kEnvironmentInstallPath; }

bool headless_post_message(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam) {
  return post(window, message, wparam, lparam);
}

LRESULT headless_send_message(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam) {
  return deliver(window, message, wparam, lparam);
}

int32_t headless_pump_messages() { return dispatch_queued(); }

std::vector<PlatformMessage> headless_queued_messages() {
  const auto& posted = state().queue.posted;
  return std::vector<PlatformMessage>(posted.begin(), posted.end());
}

bool headless_quit_pending(int32_t* exit_code) {
  const MessageQueue& queue = state().queue;
  if (queue.quit_pending && exit_code != nullptr) *exit_code = queue.quit_code;
  return queue.quit_pending;
}

DropHandle headless_drop_files(WindowHandle window, const std::vector<std::string>& paths) {
  State& s = state();
  const Window* target = live_window(window);
  if (target == nullptr || !target->info.accepts_files) return nullptr;
  const DropHandle drop = handle_table_add<DropHandle>(s.drops, std::unique_ptr<Drop>(new Drop{paths}));
  post(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
  return drop;
}

bool headless_drop_finished(DropHandle drop) {
  const State& s = state();
  return handle_table_gave_out(s.drops, drop) && handle_table_find(s.drops, drop) == nullptr;
}

bool headless_press_hot_key(uint32_t modifiers, uint32_t key) {
  for (const HeadlessHotKey& known : state().hot_keys) {
    if (same_keys(known, modifiers, key))
      return post(known.window, WM_HOTKEY, static_cast<WPARAM>(known.id),
                  MAKELPARAM(modifiers & ~static_cast<uint32_t>(MOD_NOREPEAT), key));
  }
  return false;
}

bool headless_tray_event(uint32_t id, uint32_t mouse_message) {
  for (const TrayIconData& icon : state().tray_icons) {
    if (icon.id == id && (icon.flags & NIF_MESSAGE))
      return post(icon.window, icon.callback_message, id, static_cast<LPARAM>(mouse_message));
  }
  return false;
}

void headless_queue_message_box_answer(int32_t answer) { state().message_box_answers.push_back(answer); }
void headless_queue_menu_choice(uintptr_t id) { state().menu_choices.push_back(id); }
void headless_set_modal_hook(std::function<void(const char* kind)> hook) {
  state().modal_hook = std::move(hook);
}
const std::vector<HeadlessMessageBox>& headless_message_boxes() { return state().message_boxes; }

void headless_fail_layered_updates(uint32_t error_code) { state().layered_failure = error_code; }
void headless_keep_pictures(bool keep) { state().keeps_pictures = keep; }

std::vector<WindowHandle> headless_windows() {
  std::vector<WindowHandle> windows;
  for (uintptr_t number = 1; number <= state().windows.made; ++number)
    windows.push_back(handle_value<WindowHandle>(kWindowHandle, number));
  return windows;
}

HeadlessWindowInfo headless_window_info(WindowHandle window) {
  const State& s = state();
  const Window* known = live_window(window);
  if (known != nullptr) return known->info;
  const auto destroyed = s.destroyed_windows.find(reinterpret_cast<uintptr_t>(window));
  return destroyed != s.destroyed_windows.end() ? destroyed->second : HeadlessWindowInfo{};
}

HeadlessPresentation headless_last_presentation(WindowHandle window) {
  const Window* known = live_window(window);
  return known != nullptr ? known->presented : HeadlessPresentation{};
}

std::vector<HeadlessMenuItem> headless_menu_items(MenuHandle menu) {
  const Menu* known = live_menu(menu);
  return known != nullptr ? known->items : std::vector<HeadlessMenuItem>{};
}

uintptr_t headless_menu_item_id(MenuHandle menu, const char* caption) {
  const Menu* known = live_menu(menu);
  if (known == nullptr || caption == nullptr) return 0;
  for (const HeadlessMenuItem& item : known->items) {
    if (!(item.flags & MF_SEPARATOR) && item.caption == caption) return item.id;
  }
  return 0;
}

std::vector<TrayIconData> headless_tray_icons() { return state().tray_icons; }
std::vector<HeadlessHotKey> headless_hot_keys() { return state().hot_keys; }
WindowHandle headless_capture_window() { return state().capture; }
WindowHandle headless_foreground_window() { return state().foreground; }
WindowHandle headless_top_window() { return state().top; }
int32_t headless_thread_priority() { return state().thread_priority; }
uint32_t headless_priority_class() { return state().priority_class; }

HeadlessObjectCounts headless_live_objects() {
  const State& s = state();
  HeadlessObjectCounts counts{};
  const auto count = [](size_t open) { return static_cast<int32_t>(open); };
  counts.windows = count(s.windows.open.size());
  counts.menus = count(s.menus.open.size());
  counts.icons = count(s.icons.open.size());
  counts.device_contexts = count(s.surfaces.device_contexts.open.size());
  counts.bitmaps = count(s.surfaces.bitmaps.open.size());
  counts.drops = count(s.drops.open.size());
  counts.searches = count(s.searches.open.size());
  return counts;
}
