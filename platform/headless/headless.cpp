// The headless backend: windows, menus, the tray, hot keys, drops and drawing surfaces live in memory,
// every call is recorded, and the test API in headless.h scripts the user and the system.
#include "platform/headless/headless.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <memory>
#include <thread>

#include "platform/portable/portable_files.h"

// Objects are never freed before a reset, so a stale handle is recognised as destroyed instead of
// pointing at freed memory. Their number in the call log is their position in their list plus one.
struct PlatformWindow {
  HeadlessWindowInfo info;  // what the test API reports; exists is always true
  WindowProcedure procedure;
  bool destroying;
  HeadlessPresentation presented;
};

struct PlatformMenu {
  std::vector<HeadlessMenuItem> items;
  bool destroyed;
};

struct PlatformIcon {
  int32_t resource_id, width, height;
  bool destroyed;
};

struct PlatformDeviceContext;

struct PlatformBitmap {
  int32_t width, height;
  std::vector<uint8_t> pixels;  // freed when deleted, so a stale pixel pointer is caught by ASan
  PlatformDeviceContext* selected_into;
  bool deleted;
};

struct PlatformDeviceContext {
  PlatformBitmap* selected;  // the stock bitmap until the program selects its own
  bool deleted;
};

struct PlatformDrop {
  std::vector<std::string> paths;
  bool finished;
};

namespace {

// The handle of one of this backend's objects, and the search of a find handle. Off Windows the handle
// types are pointers to these objects; on Windows they are the system's own types (HWND, HMENU, ...),
// which the modules above are built against, and the objects travel through them unchanged.
template <typename Handle, typename Object>
Handle handle_of(Object* object) {
  return reinterpret_cast<Handle>(object);
}
PlatformFind* search_of(FindHandle find) { return reinterpret_cast<PlatformFind*>(find); }

struct WindowClass {
  std::string name;
  uint32_t style;
  WindowProcedure procedure;
};

using SearchPointer = std::unique_ptr<PlatformFind, void (*)(PlatformFind*)>;

enum InstallPathSource { kNoInstallPath, kFixedInstallPath, kEnvironmentInstallPath };

struct State {
  std::vector<HeadlessCall> calls;
  uint64_t call_generation = 0;  // changes whenever the log is emptied
  HeadlessCounters counters{};
  uint32_t last_error = ERROR_SUCCESS;

  HeadlessClockMode clock_mode = HEADLESS_CLOCK_SCRIPTED;
  uint32_t time_ms = 0;
  int64_t calendar_time = 0;
  std::function<void(uint32_t)> sleep_hook;

  PlatformPoint cursor{0, 0};
  PlatformRect work_area{0, 0, 1920, 1040};
  InstallPathSource install_path_source = kNoInstallPath;
  std::string install_path;
  std::string passed_over_path, passed_over_setting;
  std::vector<std::pair<std::string, WindowHandle>> claims;  // install path, owner window of its copy

  std::vector<WindowClass> classes;
  std::vector<std::unique_ptr<PlatformWindow>> windows;
  std::vector<std::unique_ptr<PlatformMenu>> menus;
  std::vector<std::unique_ptr<PlatformIcon>> icons;
  std::vector<std::unique_ptr<PlatformDeviceContext>> device_contexts;
  std::vector<std::unique_ptr<PlatformBitmap>> bitmaps;
  std::vector<std::unique_ptr<PlatformDrop>> drops;
  std::vector<SearchPointer> searches;  // every search made; null once closed
  PlatformBitmap stock_bitmap{1, 1, std::vector<uint8_t>(4), nullptr, false};

  std::deque<PlatformMessage> queue;
  bool quit_pending = false;
  int32_t quit_code = 0;
  WindowHandle capture = nullptr;
  WindowHandle foreground = nullptr;
  WindowHandle top = nullptr;
  std::vector<TrayIconData> tray_icons;
  std::vector<HeadlessHotKey> hot_keys;

  std::deque<int32_t> message_box_answers;
  std::deque<uintptr_t> menu_choices;
  std::vector<HeadlessMessageBox> message_boxes;
  std::function<void(const char*)> modal_hook;
  uint32_t layered_failure = ERROR_SUCCESS;
  int32_t thread_priority = THREAD_PRIORITY_NORMAL;
  uint32_t priority_class = NORMAL_PRIORITY_CLASS;
};

State& state() {
  static State instance;
  return instance;
}

// ---- Formatting for the call log ----

// gnu_printf: the C99 conversions (%zu, %jd) also with mingw-w64, whose C++ runtime formats them.
std::string format(const char* pattern, ...) __attribute__((format(gnu_printf, 1, 2)));
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

template <typename T>
int32_t number_of(const std::vector<std::unique_ptr<T>>& list, const void* object) {
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].get() == object) return static_cast<int32_t>(i + 1);
  }
  return 0;
}

template <typename T>
std::string handle_text(const char* kind, const std::vector<std::unique_ptr<T>>& list, const void* object) {
  if (object == nullptr) return "null";
  const int32_t number = number_of(list, object);
  return number != 0 ? format("%s#%d", kind, number) : std::string(kind) + "#?";
}

std::string window_text(WindowHandle window) { return handle_text("window", state().windows, window); }
std::string menu_text(MenuHandle menu) { return handle_text("menu", state().menus, menu); }
std::string icon_text(IconHandle icon) { return handle_text("icon", state().icons, icon); }
std::string dc_text(DeviceContext dc) { return handle_text("dc", state().device_contexts, dc); }
std::string drop_text(DropHandle drop) { return handle_text("drop", state().drops, drop); }
std::string instance_text(InstanceHandle instance) { return instance != nullptr ? "instance" : "null"; }

std::string gdi_text(GdiObject object) {
  if (object == &state().stock_bitmap) return "stock_bitmap";
  return handle_text("bitmap", state().bitmaps, object);
}

std::string search_text(FindHandle find) {
  if (find == nullptr) return "null";
  const auto& searches = state().searches;
  for (size_t i = 0; i < searches.size(); ++i) {
    if (searches[i].get() == find) return format("find#%zu", i + 1);
  }
  return "find#?";
}

std::string message_text(uint32_t message) {
  switch (message) {
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
    case WM_DROPFILES: return "WM_DROPFILES";
    case WM_HOTKEY: return "WM_HOTKEY";
    case TRAY_CALLBACK_MESSAGE: return "TRAY_CALLBACK_MESSAGE";
    default: return hex(message);
  }
}

std::string message_args(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam) {
  const std::string first = message == WM_DROPFILES ? drop_text(platform_drop_from_wparam(wparam))
                                                    : format("%ju", static_cast<uintmax_t>(wparam));
  return window_text(window) + ", " + message_text(message) + ", " + first + ", " +
         format("%jd", static_cast<intmax_t>(lparam));
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

// A failed portable file service hands its error on; the result is whether it succeeded.
bool finish(CallRecord call, uint32_t error) {
  return error == ERROR_SUCCESS ? succeed(call) : fail(call, error);
}

// ---- Objects ----

template <typename T>
T* find_in(const std::vector<std::unique_ptr<T>>& list, const void* object) {
  if (object == nullptr) return nullptr;
  for (const auto& item : list) {
    if (item.get() == object) return item.get();
  }
  return nullptr;
}

PlatformWindow* live_window(WindowHandle window) {
  PlatformWindow* found = find_in(state().windows, window);
  return found != nullptr && !found->info.destroyed ? found : nullptr;
}

PlatformMenu* live_menu(MenuHandle menu) {
  PlatformMenu* found = find_in(state().menus, menu);
  return found != nullptr && !found->destroyed ? found : nullptr;
}

PlatformDeviceContext* live_dc(DeviceContext dc) {
  PlatformDeviceContext* found = find_in(state().device_contexts, dc);
  return found != nullptr && !found->deleted ? found : nullptr;
}

PlatformBitmap* live_bitmap(GdiObject object) {
  if (object == &state().stock_bitmap) return &state().stock_bitmap;
  PlatformBitmap* found = find_in(state().bitmaps, object);
  return found != nullptr && !found->deleted ? found : nullptr;
}

PlatformDrop* live_drop(DropHandle drop) {
  PlatformDrop* found = find_in(state().drops, drop);
  return found != nullptr && !found->finished ? found : nullptr;
}

SearchPointer* open_search(FindHandle find) {
  if (find == nullptr) return nullptr;
  for (SearchPointer& search : state().searches) {
    if (search.get() == find) return &search;
  }
  return nullptr;
}

uint32_t current_time() {
  const State& s = state();
  if (s.clock_mode != HEADLESS_CLOCK_REAL) return s.time_ms;
  const auto since_start = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since_start).count());
}

bool post(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam) {
  State& s = state();
  if (window != nullptr && live_window(window) == nullptr) {
    s.last_error = ERROR_INVALID_WINDOW_HANDLE;
    return false;
  }
  s.queue.push_back(PlatformMessage{window, message, wparam, lparam, current_time(), s.cursor});
  return true;
}

LRESULT deliver(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam) {
  PlatformWindow* target = live_window(window);
  if (target == nullptr) return 0;
  return target->procedure(window, message, wparam, lparam);
}

bool take_message(PlatformMessage* message, bool remove) {
  State& s = state();
  if (!s.queue.empty()) {
    *message = s.queue.front();
    if (remove) s.queue.pop_front();
    return true;
  }
  if (!s.quit_pending) return false;
  *message = PlatformMessage{nullptr, WM_QUIT,        static_cast<WPARAM>(static_cast<intptr_t>(s.quit_code)),
                             0,       current_time(), s.cursor};
  if (remove) s.quit_pending = false;
  return true;
}

// What a modal loop does while it waits for the user: let the test act, then handle what is queued.
// A WM_QUIT stays pending for the outer loop.
int32_t dispatch_queued() {
  int32_t count = 0;
  PlatformMessage message;
  while (!state().queue.empty() && take_message(&message, true)) {
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

// DestroyWindow: owned windows first, then the window itself; each gets WM_DESTROY while it still
// exists, then loses its hot keys and its queued messages.
bool destroy(PlatformWindow* target) {
  State& s = state();
  const WindowHandle window = handle_of<WindowHandle>(target);
  if (target->destroying) return false;
  target->destroying = true;
  for (size_t i = 0; i < s.windows.size(); ++i) {
    PlatformWindow* owned = s.windows[i].get();
    if (owned->info.owner == window && !owned->info.destroyed) destroy(owned);
  }
  target->info.visible = false;
  if (s.capture == window) s.capture = nullptr;
  if (s.foreground == window) s.foreground = nullptr;
  if (s.top == window) s.top = nullptr;
  target->procedure(window, WM_DESTROY, 0, 0);
  auto& hot_keys = s.hot_keys;
  hot_keys.erase(std::remove_if(hot_keys.begin(), hot_keys.end(),
                                [window](const HeadlessHotKey& key) { return key.window == window; }),
                 hot_keys.end());
  auto& queue = s.queue;
  queue.erase(std::remove_if(queue.begin(), queue.end(),
                             [window](const PlatformMessage& message) { return message.window == window; }),
              queue.end());
  target->info.destroyed = true;
  return true;
}

// The position of an item by command id or by position; -1 when there is none.
int32_t menu_position(const PlatformMenu* menu, uint32_t item, uint32_t flags) {
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

// ================= Drawing surface =================

DeviceContext platform_create_compatible_dc(DeviceContext dc) {
  State& s = state();
  const CallRecord call = record("create_compatible_dc", dc_text(dc));
  if (dc != nullptr && live_dc(dc) == nullptr) {
    s.last_error = ERROR_INVALID_HANDLE;
    set_result(call, "null");
    return nullptr;
  }
  s.device_contexts.push_back(
      std::unique_ptr<PlatformDeviceContext>(new PlatformDeviceContext{&s.stock_bitmap, false}));
  const DeviceContext made = handle_of<DeviceContext>(s.device_contexts.back().get());
  set_result(call, dc_text(made));
  return made;
}

BitmapHandle platform_create_dib_section(DeviceContext dc, int32_t width, int32_t height, uint8_t** pixels) {
  State& s = state();
  const CallRecord call = record("create_dib_section", dc_text(dc) + format(", %d, %d", width, height));
  if (pixels != nullptr) *pixels = nullptr;
  // The limits keep width * height * 4 far from overflow and the allocation sane.
  const int32_t kMaxSide = 32768;
  const int64_t kMaxBytes = int64_t{1} << 28;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
    fail(call, ERROR_INVALID_PARAMETER);
    set_result(call, "null");
    return nullptr;
  }
  const int64_t bytes = int64_t{width} * height * 4;
  if (bytes > kMaxBytes) {
    fail(call, ERROR_NOT_ENOUGH_MEMORY);
    set_result(call, "null");
    return nullptr;
  }
  s.bitmaps.push_back(std::unique_ptr<PlatformBitmap>(
      new PlatformBitmap{width, height, std::vector<uint8_t>(static_cast<size_t>(bytes)), nullptr, false}));
  PlatformBitmap* bitmap = s.bitmaps.back().get();
  if (pixels != nullptr) *pixels = bitmap->pixels.data();
  set_result(call, gdi_text(bitmap));
  return handle_of<BitmapHandle>(bitmap);
}

GdiObject platform_select_object(DeviceContext dc, GdiObject object) {
  State& s = state();
  const CallRecord call = record("select_object", dc_text(dc) + ", " + gdi_text(object));
  PlatformDeviceContext* context = live_dc(dc);
  PlatformBitmap* bitmap = live_bitmap(object);
  const bool stock = bitmap == &s.stock_bitmap;
  // A bitmap can be selected into one device context at a time.
  if (context == nullptr || bitmap == nullptr ||
      (!stock && bitmap->selected_into != nullptr && bitmap->selected_into != context)) {
    s.last_error = ERROR_INVALID_PARAMETER;
    set_result(call, "null");
    return nullptr;
  }
  PlatformBitmap* previous = context->selected;
  if (previous != &s.stock_bitmap) previous->selected_into = nullptr;
  context->selected = bitmap;
  if (!stock) bitmap->selected_into = context;
  set_result(call, gdi_text(previous));
  return previous;
}

bool platform_delete_dc(DeviceContext dc) {
  const CallRecord call = record("delete_dc", dc_text(dc));
  PlatformDeviceContext* context = live_dc(dc);
  if (context == nullptr) return fail(call, ERROR_INVALID_HANDLE);
  if (context->selected != &state().stock_bitmap) context->selected->selected_into = nullptr;
  context->selected = nullptr;
  context->deleted = true;
  return succeed(call);
}

bool platform_delete_object(GdiObject object) {
  const CallRecord call = record("delete_object", gdi_text(object));
  PlatformBitmap* bitmap = live_bitmap(object);
  if (bitmap == nullptr) return fail(call, ERROR_INVALID_HANDLE);
  if (bitmap == &state().stock_bitmap) return succeed(call);  // stock objects are never deleted
  if (bitmap->selected_into != nullptr) return fail(call, ERROR_INVALID_PARAMETER);
  bitmap->deleted = true;
  std::vector<uint8_t>().swap(bitmap->pixels);
  return succeed(call);
}

// ================= Layered character window =================

bool platform_update_layered_window(WindowHandle window, int32_t width, int32_t height, DeviceContext source,
                                    uint8_t constant_alpha, uint8_t alpha_format, uint32_t flags) {
  State& s = state();
  const CallRecord call = record(
      "update_layered_window", window_text(window) + format(", %d, %d, ", width, height) + dc_text(source) +
                                   format(", %u, ", constant_alpha) + hex(alpha_format) + ", " + hex(flags));
  PlatformWindow* target = live_window(window);
  if (target == nullptr) return fail(call, ERROR_INVALID_WINDOW_HANDLE);
  if (s.layered_failure != ERROR_SUCCESS) return fail(call, s.layered_failure);
  PlatformDeviceContext* context = live_dc(source);
  if (!(target->info.ex_style & WS_EX_LAYERED) || context == nullptr)
    return fail(call, ERROR_INVALID_PARAMETER);
  const PlatformBitmap* bitmap = context->selected;
  if (bitmap == &s.stock_bitmap || width <= 0 || height <= 0 || width > bitmap->width ||
      height > bitmap->height)
    return fail(call, ERROR_INVALID_PARAMETER);

  HeadlessPresentation& shown = target->presented;
  shown.count += 1;
  shown.x = target->info.x;
  shown.y = target->info.y;
  shown.width = width;
  shown.height = height;
  shown.opacity = constant_alpha;
  shown.alpha_format = alpha_format;
  shown.flags = flags;
  const size_t row_bytes = static_cast<size_t>(width) * 4;
  shown.pixels.resize(row_bytes * static_cast<size_t>(height));
  for (int32_t row = 0; row < height; ++row) {
    memcpy(&shown.pixels[row_bytes * row], &bitmap->pixels[static_cast<size_t>(bitmap->width) * 4 * row],
           row_bytes);
  }
  target->info.width = width;
  target->info.height = height;
  return succeed(call);
}

bool platform_set_window_pos(WindowHandle window, WindowHandle insert_after, int32_t x, int32_t y,
                             int32_t width, int32_t height, uint32_t flags) {
  State& s = state();
  const CallRecord call =
      record("set_window_pos", window_text(window) + ", " + window_text(insert_after) +
                                   format(", %d, %d, %d, %d, ", x, y, width, height) + hex(flags));
  PlatformWindow* target = live_window(window);
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
  PlatformWindow* target = live_window(window);
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
  const PlatformWindow* target = live_window(window);
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
  PlatformWindow* window = new PlatformWindow{};
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
  s.windows.push_back(std::unique_ptr<PlatformWindow>(window));
  const WindowHandle made = handle_of<WindowHandle>(window);
  set_result(call, window_text(made));
  return made;
}

bool platform_destroy_window(WindowHandle window) {
  const CallRecord call = record("destroy_window", window_text(window));
  PlatformWindow* target = live_window(window);
  if (target == nullptr || !destroy(target)) return fail(call, ERROR_INVALID_WINDOW_HANDLE);
  return succeed(call);
}

LRESULT platform_default_window_procedure(WindowHandle window, uint32_t message, WPARAM wparam,
                                          LPARAM lparam) {
  const CallRecord call = record("default_window_procedure", message_args(window, message, wparam, lparam));
  PlatformWindow* target = live_window(window);
  if (message == WM_CLOSE && target != nullptr) destroy(target);
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
  s.quit_pending = true;
  s.quit_code = exit_code;
}

bool platform_peek_message(PlatformMessage* message, uint32_t remove) {
  state().counters.peeks += 1;
  if (message == nullptr) return false;
  return take_message(message, (remove & PM_REMOVE) != 0);
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
  s.menus.push_back(std::unique_ptr<PlatformMenu>(new PlatformMenu{{}, false}));
  const MenuHandle menu = handle_of<MenuHandle>(s.menus.back().get());
  set_result(call, menu_text(menu));
  return menu;
}

bool platform_append_menu(MenuHandle menu, uint32_t flags, uintptr_t id, const char* caption) {
  const CallRecord call =
      record("append_menu", menu_text(menu) + ", " + hex(flags) +
                                format(", %ju, ", static_cast<uintmax_t>(id)) + quoted(caption));
  PlatformMenu* target = live_menu(menu);
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
  PlatformMenu* target = live_menu(menu);
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
  PlatformMenu* target = live_menu(menu);
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
  const PlatformMenu* shown = live_menu(menu);
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
  PlatformMenu* target = live_menu(menu);
  if (target == nullptr) return fail(call, ERROR_INVALID_MENU_HANDLE);
  target->destroyed = true;
  target->items.clear();
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
  s.icons.push_back(std::unique_ptr<PlatformIcon>(new PlatformIcon{resource_id, width, height, false}));
  const IconHandle icon = handle_of<IconHandle>(s.icons.back().get());
  set_result(call, icon_text(icon));
  return icon;
}

bool platform_destroy_icon(IconHandle icon) {
  const CallRecord call = record("destroy_icon", icon_text(icon));
  PlatformIcon* target = find_in(state().icons, icon);
  if (target == nullptr || target->destroyed) return fail(call, ERROR_INVALID_ICON_HANDLE);
  target->destroyed = true;
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
  for (const HeadlessHotKey& known : s.hot_keys) {
    if ((known.modifiers == modifiers && known.key == key) || (known.window == window && known.id == id))
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
  PlatformWindow* target = live_window(window);
  if (target == nullptr) return;
  target->info.accepts_files = accept;
  target->info.ex_style =
      accept ? (target->info.ex_style | WS_EX_ACCEPTFILES) : (target->info.ex_style & ~WS_EX_ACCEPTFILES);
}

uint32_t platform_drag_query_file(DropHandle drop, uint32_t index, char* buffer, uint32_t size) {
  State& s = state();
  const CallRecord call = record("drag_query_file", drop_text(drop) + format(", %u, %u", index, size));
  const PlatformDrop* target = live_drop(drop);
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
  PlatformDrop* target = live_drop(drop);
  if (target != nullptr) target->finished = true;
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

uint32_t platform_time_ms() {
  state().counters.time_reads += 1;
  return current_time();
}

void platform_sleep(uint32_t milliseconds) {
  State& s = state();
  s.counters.sleeps += 1;
  s.counters.slept_ms += milliseconds;
  switch (s.clock_mode) {
    case HEADLESS_CLOCK_SCRIPTED: s.time_ms += milliseconds; break;
    case HEADLESS_CLOCK_SCRIPTED_FROZEN: break;
    case HEADLESS_CLOCK_REAL: std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); break;
  }
  std::function<void(uint32_t)> hook = s.sleep_hook;  // the hook may replace itself
  if (hook) hook(current_time());
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
bool platform_claim_install_path(const char* path, WindowHandle owner) {
  State& s = state();
  const CallRecord call = record("claim_install_path", quoted(path) + ", " + window_text(owner));
  if (path == nullptr) return true;
  for (const auto& claim : s.claims) {
    if (claim.first != path) continue;
    post(claim.second, WM_APP + 1, 0, 0);
    set_result(call, "false");
    return false;
  }
  s.claims.emplace_back(path, owner);
  set_result(call, "true");
  return true;
}

uint32_t platform_show_request_message() { return state().claims.empty() ? 0 : WM_APP + 1; }

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
  s.searches.emplace_back(find, portable_find_close);
  set_result(call, search_text(find) + " " + quoted(data->name));
  return find;
}

bool platform_find_next_file(FindHandle find, PlatformFindData* data) {
  const CallRecord call = record("find_next_file", search_text(find));
  if (open_search(find) == nullptr) return fail(call, ERROR_INVALID_HANDLE);
  const uint32_t error = portable_find_next_file(search_of(find), data);
  if (error != ERROR_SUCCESS) return fail(call, error);
  set_result(call, "true " + quoted(data->name));
  return true;
}

bool platform_find_close(FindHandle find) {
  const CallRecord call = record("find_close", search_text(find));
  SearchPointer* search = open_search(find);
  if (search == nullptr) return fail(call, ERROR_INVALID_HANDLE);
  search->reset();
  return succeed(call);
}

bool platform_copy_file(const char* existing, const char* new_path) {
  const CallRecord call = record("copy_file", quoted(existing) + ", " + quoted(new_path));
  return finish(call, portable_copy_file(existing, new_path));
}

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

int32_t platform_get_file_title(const char* path, char* buffer, uint16_t size) {
  const CallRecord call = record("get_file_title", quoted(path) + format(", %u", size));
  const int32_t result = portable_get_file_title(path, buffer, size);
  set_result(call, result == 0 ? "0 " + quoted(buffer) : format("%d", result));
  return result;
}

// ================= Test API =================

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

void headless_set_cursor_pos(int32_t x, int32_t y) { state().cursor = PlatformPoint{x, y}; }
void headless_set_work_area(PlatformRect area) { state().work_area = area; }

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
  const auto& queue = state().queue;
  return std::vector<PlatformMessage>(queue.begin(), queue.end());
}

bool headless_quit_pending(int32_t* exit_code) {
  const State& s = state();
  if (s.quit_pending && exit_code != nullptr) *exit_code = s.quit_code;
  return s.quit_pending;
}

DropHandle headless_drop_files(WindowHandle window, const std::vector<std::string>& paths) {
  State& s = state();
  const PlatformWindow* target = live_window(window);
  if (target == nullptr || !target->info.accepts_files) return nullptr;
  s.drops.push_back(std::unique_ptr<PlatformDrop>(new PlatformDrop{paths, false}));
  const DropHandle drop = handle_of<DropHandle>(s.drops.back().get());
  post(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
  return drop;
}

bool headless_drop_finished(DropHandle drop) {
  const PlatformDrop* target = find_in(state().drops, drop);
  return target != nullptr && target->finished;
}

bool headless_press_hot_key(uint32_t modifiers, uint32_t key) {
  for (const HeadlessHotKey& known : state().hot_keys) {
    if (known.modifiers == modifiers && known.key == key)
      return post(known.window, WM_HOTKEY, static_cast<WPARAM>(known.id), MAKELPARAM(modifiers, key));
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

std::vector<WindowHandle> headless_windows() {
  std::vector<WindowHandle> windows;
  for (const auto& window : state().windows) windows.push_back(handle_of<WindowHandle>(window.get()));
  return windows;
}

HeadlessWindowInfo headless_window_info(WindowHandle window) {
  const PlatformWindow* known = find_in(state().windows, window);
  return known != nullptr ? known->info : HeadlessWindowInfo{};
}

HeadlessPresentation headless_last_presentation(WindowHandle window) {
  const PlatformWindow* known = find_in(state().windows, window);
  return known != nullptr ? known->presented : HeadlessPresentation{};
}

std::vector<HeadlessMenuItem> headless_menu_items(MenuHandle menu) {
  const PlatformMenu* known = find_in(state().menus, menu);
  return known != nullptr ? known->items : std::vector<HeadlessMenuItem>{};
}

uintptr_t headless_menu_item_id(MenuHandle menu, const char* caption) {
  const PlatformMenu* known = find_in(state().menus, menu);
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
  for (const auto& window : s.windows) counts.windows += window->info.destroyed ? 0 : 1;
  for (const auto& menu : s.menus) counts.menus += menu->destroyed ? 0 : 1;
  for (const auto& icon : s.icons) counts.icons += icon->destroyed ? 0 : 1;
  for (const auto& dc : s.device_contexts) counts.device_contexts += dc->deleted ? 0 : 1;
  for (const auto& bitmap : s.bitmaps) counts.bitmaps += bitmap->deleted ? 0 : 1;
  for (const auto& drop : s.drops) counts.drops += drop->finished ? 0 : 1;
  for (const auto& search : s.searches) counts.searches += search ? 1 : 0;
  return counts;
}
