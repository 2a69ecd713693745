// The GTK backend's services: the shared memory surfaces, the pop-up menu (a GtkMenu made at each track),
// icons, message boxes, the hot keys (bound by an X key grab or through the shortcuts portal), drops,
// web addresses, the clock, errors, the install path and the file services.
#include <time.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/gtk/gtk_backend.h"
#include "platform/gtk/gtk_pixels.h"
#include "platform/gtk/gtk_portal_shortcuts.h"
#include "platform/gtk/gtk_wayland.h"
#include "platform/gtk/gtk_x11_hotkey.h"
#include "platform/portable/memory_surface.h"
#include "platform/portable/portable_files.h"

struct PlatformIcon {
  GdkPixbuf* pixbuf;
};

namespace {

struct HotKey {
  WindowHandle window;
  int32_t id;
  uint32_t modifiers, key;
};

// Live objects of each kind: a handle is used only after it is found here, so a stale or foreign one
// fails like an invalid handle on Windows instead of being read.
struct Services {
  uint32_t last_error = ERROR_SUCCESS;
  MemorySurfaces surfaces;
  std::vector<std::unique_ptr<PlatformMenu>> menus;
  std::vector<std::unique_ptr<PlatformIcon>> icons;
  std::vector<std::unique_ptr<PlatformDrop>> drops;
  std::vector<PlatformFind*> searches;
  std::vector<HotKey> hot_keys;
};

Services& services() {
  static Services instance;
  return instance;
}

template <typename T>
T* find_live(const std::vector<std::unique_ptr<T>>& list, const void* object) {
  if (object == nullptr) return nullptr;
  for (const auto& item : list) {
    if (item.get() == object) return item.get();
  }
  return nullptr;
}

template <typename T>
void erase_live(std::vector<std::unique_ptr<T>>& list, const T* object) {
  list.erase(std::remove_if(list.begin(), list.end(),
                            [object](const std::unique_ptr<T>& item) { return item.get() == object; }),
             list.end());
}

bool fail(uint32_t error) {
  services().last_error = error;
  return false;
}

// A failed portable service hands its error on; the result is whether it succeeded.
bool finish(uint32_t error) { return error == ERROR_SUCCESS || fail(error); }

// ---- Menus ----

int32_t menu_position(const PlatformMenu* menu, uint32_t item, uint32_t flags) {
  const int32_t count = static_cast<int32_t>(menu->items.size());
  if (flags & MF_BYPOSITION) return item < static_cast<uint32_t>(count) ? static_cast<int32_t>(item) : -1;
  for (int32_t i = 0; i < count; ++i) {
    const PlatformMenu::Item& entry = menu->items[i];
    if (!(entry.flags & MF_SEPARATOR) && entry.id == item) return i;
  }
  return -1;
}

struct Tracking {
  bool done;
  uintptr_t chosen;
};

void on_menu_item_activate(GtkMenuItem* item, Tracking* tracking) {
  tracking->chosen = reinterpret_cast<uintptr_t>(g_object_get_data(G_OBJECT(item), "velissa-id"));
}

void on_menu_closed(GtkWidget*, Tracking* tracking) { tracking->done = true; }

// The GtkMenu is made from the menu's items for each track and dropped after, so it always shows the
// marks as the program set them, and a click never changes a mark behind the program's back.
GtkWidget* build_gtk_menu(const PlatformMenu* menu, Tracking* tracking) {
  GtkWidget* gtk_menu = gtk_menu_new();
  for (const PlatformMenu::Item& item : menu->items) {
    GtkWidget* widget;
    if (item.flags & MF_SEPARATOR) {
      widget = gtk_separator_menu_item_new();
    } else {
      const std::string caption = gtk_text_from_program(item.caption.c_str());
      if (item.checked) {
        widget = gtk_check_menu_item_new_with_label(caption.c_str());
        gtk_check_menu_item_set_draw_as_radio(GTK_CHECK_MENU_ITEM(widget), item.radio);
        gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(widget), TRUE);
      } else {
        widget = gtk_menu_item_new_with_label(caption.c_str());
      }
      gtk_widget_set_sensitive(widget, !(item.flags & MF_GRAYED));
      g_object_set_data(G_OBJECT(widget), "velissa-id", reinterpret_cast<gpointer>(item.id));
      g_signal_connect(widget, "activate", G_CALLBACK(on_menu_item_activate), tracking);
    }
    gtk_menu_shell_append(GTK_MENU_SHELL(gtk_menu), widget);
  }
  g_signal_connect(gtk_menu, "deactivate", G_CALLBACK(on_menu_closed), tracking);
  g_signal_connect(gtk_menu, "hide", G_CALLBACK(on_menu_closed), tracking);
  gtk_widget_show_all(gtk_menu);
  return gtk_menu;
}

// A button event for the menu's grab: the seat's pointer at the current time. GTK would otherwise look
// for the event being handled, and there is none while a posted message is dispatched.
GdkEvent* menu_trigger_event(GdkWindow* root) {
  const GdkEvent* last = gtk_last_pointer_event();
  GdkEvent* event = gdk_event_new(GDK_BUTTON_RELEASE);
  event->button.window = GDK_WINDOW(g_object_ref(root));
  event->button.send_event = FALSE;
  event->button.time = GDK_CURRENT_TIME;
  event->button.button = last != nullptr && last->type != GDK_MOTION_NOTIFY ? last->button.button : 3;
  GdkSeat* seat = gdk_display_get_default_seat(gdk_window_get_display(root));
  gdk_event_set_device(event, gdk_seat_get_pointer(seat));
  return event;
}

// ---- Hot keys ----

void ungrab(const HotKey& key) {
  if (gtk_on_wayland())
    gtk_portal_unbind_shortcut(key.window, key.id);
  else
    gtk_x11_ungrab_hot_key(key.window, key.id);
}

// ---- Message boxes ----

struct BoxAnswer {
  bool done;
  gint response;
};

void on_box_response(GtkDialog*, gint response, BoxAnswer* answer) {
  answer->response = response;
  answer->done = true;
}

// Ctrl+C (or Ctrl+Insert) copies the whole box, as on Windows, so its text can be pasted or read.
gboolean on_box_key(GtkWidget* dialog, GdkEventKey* event, const std::string* copy_text) {
  const bool copy = (event->state & GDK_CONTROL_MASK) &&
                    (event->keyval == GDK_KEY_c || event->keyval == GDK_KEY_C || event->keyval == GDK_KEY_Insert);
  if (!copy) return FALSE;
  gtk_clipboard_set_text(gtk_widget_get_clipboard(dialog, GDK_SELECTION_CLIPBOARD), copy_text->c_str(), -1);
  return TRUE;
}

int32_t box_answer(uint32_t flags, gint response) {
  switch (response) {
    case GTK_RESPONSE_OK: return IDOK;
    case GTK_RESPONSE_YES: return IDYES;
    case GTK_RESPONSE_NO: return IDNO;
    case GTK_RESPONSE_CANCEL: return IDCANCEL;
    default:  // closed by the window manager: what the box's Escape key gives on Windows
      if ((flags & 0xF) == MB_YESNO) return IDNO;
      return (flags & 0xF) == MB_OKCANCEL ? IDCANCEL : IDOK;
  }
}

}  // namespace

// ================= Shared inside the backend =================

void gtk_forget_hot_keys(WindowHandle window) {
  auto& keys = services().hot_keys;
  for (const HotKey& key : keys) {
    if (key.window == window) ungrab(key);
  }
  keys.erase(
      std::remove_if(keys.begin(), keys.end(), [window](const HotKey& key) { return key.window == window; }),
      keys.end());
}

void gtk_hot_key_lost(WindowHandle window, int32_t id) {
  auto& keys = services().hot_keys;
  const auto before = keys.size();
  keys.erase(std::remove_if(keys.begin(), keys.end(),
                            [window, id](const HotKey& key) { return key.window == window && key.id == id; }),
             keys.end());
  if (keys.size() != before) gtk_post(window, HOT_KEY_LOST_MESSAGE, static_cast<WPARAM>(id), 0);
}

DropHandle gtk_make_drop(std::vector<std::string> paths) {
  services().drops.push_back(std::unique_ptr<PlatformDrop>(new PlatformDrop{std::move(paths)}));
  return services().drops.back().get();
}

uint32_t gtk_find_selected_pixels(DeviceContext dc, int32_t width, int32_t height, const uint8_t** pixels,
                                  size_t* stride) {
  return memory_find_corner(services().surfaces, dc, width, height, pixels, stride);
}

GdkPixbuf* gtk_program_icon_pixbuf(int32_t size) {
  cairo_surface_t* surface = gtk_draw_program_icon(size);
  if (surface == nullptr) return nullptr;
  GdkPixbuf* pixbuf = gdk_pixbuf_get_from_surface(surface, 0, 0, size, size);
  cairo_surface_destroy(surface);
  return pixbuf;
}

const PlatformMenu* gtk_live_menu(MenuHandle menu) { return find_live(services().menus, menu); }

GdkPixbuf* gtk_live_icon_pixbuf(IconHandle icon) {
  const PlatformIcon* live = find_live(services().icons, icon);
  return live != nullptr ? live->pixbuf : nullptr;
}

// ================= The program's run =================

// GTK starts with the first window; nothing else needs the run's bounds.
void platform_start_up() {}
void platform_tear_down() {}

// ================= Drawing surface =================

DeviceContext platform_create_compatible_dc(DeviceContext dc) {
  DeviceContext made = nullptr;
  finish(memory_create_dc(services().surfaces, dc, &made));
  return made;
}

BitmapHandle platform_create_dib_section(DeviceContext, int32_t width, int32_t height, uint8_t** pixels) {
  BitmapHandle made = nullptr;
  finish(memory_create_dib_section(services().surfaces, width, height, &made, pixels));
  return made;
}

GdiObject platform_select_object(DeviceContext dc, GdiObject object) {
  GdiObject previous = nullptr;
  finish(memory_select_object(services().surfaces, dc, object, &previous));
  return previous;
}

bool platform_delete_dc(DeviceContext dc) { return finish(memory_delete_dc(services().surfaces, dc)); }

bool platform_delete_object(GdiObject object) { return finish(memory_delete_object(services().surfaces, object)); }

// ================= Pop-up menu =================

MenuHandle platform_create_popup_menu() {
  services().menus.push_back(std::unique_ptr<PlatformMenu>(new PlatformMenu{}));
  return services().menus.back().get();
}

bool platform_append_menu(MenuHandle menu, uint32_t flags, uintptr_t id, const char* caption) {
  PlatformMenu* target = find_live(services().menus, menu);
  if (target == nullptr) return fail(ERROR_INVALID_MENU_HANDLE);
  if (flags & MF_SEPARATOR)
    target->items.push_back(PlatformMenu::Item{flags, 0, "", false, false});
  else
    target->items.push_back(
        PlatformMenu::Item{flags, id, caption != nullptr ? caption : "", (flags & MF_CHECKED) != 0, false});
  gtk_tray_menu_changed(menu);
  return true;
}

bool platform_delete_menu(MenuHandle menu, uint32_t item, uint32_t flags) {
  PlatformMenu* target = find_live(services().menus, menu);
  if (target == nullptr) return fail(ERROR_INVALID_MENU_HANDLE);
  const int32_t position = menu_position(target, item, flags);
  if (position < 0) return fail(ERROR_MENU_ITEM_NOT_FOUND);
  target->items.erase(target->items.begin() + position);
  gtk_tray_menu_changed(menu);
  return true;
}

bool platform_check_menu_radio_item(MenuHandle menu, uint32_t first, uint32_t last, uint32_t check,
                                    uint32_t flags) {
  PlatformMenu* target = find_live(services().menus, menu);
  if (target == nullptr) return fail(ERROR_INVALID_MENU_HANDLE);
  const int32_t from = menu_position(target, first, flags);
  const int32_t to = menu_position(target, last, flags);
  if (from < 0 || to < 0 || from > to) return fail(ERROR_MENU_ITEM_NOT_FOUND);
  const int32_t marked = menu_position(target, check, flags);
  for (int32_t i = from; i <= to; ++i) {
    target->items[i].checked = i == marked;
    target->items[i].radio = i == marked;
  }
  gtk_tray_menu_changed(menu);
  return marked >= from && marked <= to ? true : fail(ERROR_MENU_ITEM_NOT_FOUND);
}

int32_t platform_track_popup_menu(MenuHandle menu, uint32_t flags, int32_t x, int32_t y, WindowHandle owner) {
  const PlatformMenu* target = find_live(services().menus, menu);
  if (target == nullptr || gtk_live_window(owner) == nullptr) {
    fail(target == nullptr ? ERROR_INVALID_MENU_HANDLE : ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  Tracking tracking{false, 0};
  GtkWidget* gtk_menu = build_gtk_menu(target, &tracking);
  GdkWindow* root = gdk_get_default_root_window();
  const GdkRectangle point = {x, y, 1, 1};
  const bool right = (flags & TPM_RIGHTALIGN) != 0;
  const bool bottom = (flags & TPM_BOTTOMALIGN) != 0;
  const GdkGravity corner = bottom ? (right ? GDK_GRAVITY_SOUTH_EAST : GDK_GRAVITY_SOUTH_WEST)
                                   : (right ? GDK_GRAVITY_NORTH_EAST : GDK_GRAVITY_NORTH_WEST);
  GdkEvent* trigger = menu_trigger_event(root);
  // On Wayland a menu is a popup of a surface of the program: the character's layer surface.
  GdkWindow* parent = gtk_wayland_menu_parent();
  GdkRectangle at = point;
  if (parent != nullptr) {
    int32_t dx = 0, dy = 0;
    gtk_wayland_offset(&dx, &dy);
    at.x -= dx;
    at.y -= dy;
    gdk_event_free(trigger);
    const GdkEvent* last = gtk_last_pointer_event();
    trigger = last != nullptr ? gdk_event_copy(last) : menu_trigger_event(parent);
  }
  gtk_menu_popup_at_rect(GTK_MENU(gtk_menu), parent != nullptr ? parent : root, &at, GDK_GRAVITY_NORTH_WEST,
                         corner, trigger);
  gdk_event_free(trigger);
  if (!gtk_widget_get_visible(gtk_menu)) tracking.done = true;  // no grab, no menu: as dismissed
  gtk_run_modal_loop(&tracking.done);
  g_signal_handlers_disconnect_by_data(gtk_menu, &tracking);
  gtk_widget_destroy(gtk_menu);

  // The nested loop may have changed or destroyed the menu: only an item it still holds can be chosen.
  uintptr_t choice = tracking.chosen;
  const PlatformMenu* shown = find_live(services().menus, menu);
  if (choice != 0 && (shown == nullptr || choice > 0xFFFFFFFFu ||
                      menu_position(shown, static_cast<uint32_t>(choice), MF_BYCOMMAND) < 0))
    choice = 0;
  if (flags & TPM_RETURNCMD) return static_cast<int32_t>(choice);
  if (choice != 0)
    gtk_post(owner, WM_COMMAND, LOWORD(choice), 0);  // WM_COMMAND carries the id in its low word
  return 1;
}

bool platform_destroy_menu(MenuHandle menu) {
  PlatformMenu* target = find_live(services().menus, menu);
  if (target == nullptr) return fail(ERROR_INVALID_MENU_HANDLE);
  erase_live(services().menus, target);
  gtk_tray_menu_changed(menu);
  return true;
}

// ================= Icons =================

IconHandle platform_load_icon(InstanceHandle, int32_t resource_id, int32_t width, int32_t height) {
  GdkPixbuf* pixbuf =
      resource_id == APP_ICON_RESOURCE_ID && width == height ? gtk_program_icon_pixbuf(width) : nullptr;
  if (pixbuf == nullptr) {
    fail(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  services().icons.push_back(std::unique_ptr<PlatformIcon>(new PlatformIcon{pixbuf}));
  return services().icons.back().get();
}

bool platform_destroy_icon(IconHandle icon) {
  PlatformIcon* target = find_live(services().icons, icon);
  if (target == nullptr) return fail(ERROR_INVALID_ICON_HANDLE);
  g_object_unref(target->pixbuf);
  erase_live(services().icons, target);
  return true;
}

// ================= Message box, hot key, dropped files, web address =================

int32_t platform_message_box(WindowHandle owner, const char* text, const char* caption, uint32_t flags) {
  if ((owner != nullptr && gtk_live_window(owner) == nullptr) || !gtk_backend_ready()) {
    fail(owner != nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_GEN_FAILURE);
    return 0;
  }
  GtkMessageType type = GTK_MESSAGE_OTHER;
  switch (flags & 0xF0) {
    case MB_ICONERROR: type = GTK_MESSAGE_ERROR; break;
    case MB_ICONQUESTION: type = GTK_MESSAGE_QUESTION; break;
    case MB_ICONWARNING: type = GTK_MESSAGE_WARNING; break;
    case MB_ICONINFORMATION: type = GTK_MESSAGE_INFO; break;
  }
  GtkButtonsType buttons = GTK_BUTTONS_OK;
  if ((flags & 0xF) == MB_OKCANCEL) buttons = GTK_BUTTONS_OK_CANCEL;
  if ((flags & 0xF) == MB_YESNO) buttons = GTK_BUTTONS_YES_NO;
  GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, type, buttons, "%s",
                                             gtk_text_from_program(text).c_str());
  GtkWindow* window = GTK_WINDOW(dialog);
  gtk_window_set_title(window, caption != nullptr ? gtk_text_from_program(caption).c_str() : "Error");
  gtk_window_set_keep_above(window, TRUE);  // above the character, which is kept above everything
  gtk_window_set_position(window, GTK_WIN_POS_CENTER);
  BoxAnswer answer{false, GTK_RESPONSE_NONE};
  std::string copy_text = gtk_message_box_copy_text(caption, text, flags);
  // Closed by the window manager, a dialog destroys itself after its response: the reference keeps the
  // object (its signals, the destroy below) valid until the box is done with it.
  g_object_ref(dialog);
  g_signal_connect(dialog, "response", G_CALLBACK(on_box_response), &answer);
  g_signal_connect(dialog, "key-press-event", G_CALLBACK(on_box_key), &copy_text);
  gtk_widget_show_all(dialog);
  gtk_window_present(window);
  // gtk_dialog_run's loop, with the queue served in it as Windows' modal loops do.
  gtk_run_modal_loop(&answer.done);
  g_signal_handlers_disconnect_by_data(dialog, &answer);
  g_signal_handlers_disconnect_by_data(dialog, &copy_text);
  gtk_widget_destroy(dialog);
  g_object_unref(dialog);
  return box_answer(flags, answer.response);
}

bool platform_register_hot_key(WindowHandle window, int32_t id, uint32_t modifiers, uint32_t key) {
  Services& s = services();
  if (window != nullptr && gtk_live_window(window) == nullptr) return fail(ERROR_INVALID_WINDOW_HANDLE);
  for (const HotKey& known : s.hot_keys) {
    const bool same_keys = ((known.modifiers ^ modifiers) & ~static_cast<uint32_t>(MOD_NOREPEAT)) == 0 &&
                           known.key == key;
    if (same_keys || (known.window == window && known.id == id)) return fail(ERROR_HOTKEY_ALREADY_REGISTERED);
  }
  if (!gtk_backend_ready()) return fail(ERROR_GEN_FAILURE);
  // Wayland gives keys to no program but through the desktop's shortcuts portal.
  if (gtk_on_wayland()) {
    if (!gtk_portal_bind_shortcut(window, id, modifiers, key)) return fail(ERROR_NOT_SUPPORTED);
    s.hot_keys.push_back(HotKey{window, id, modifiers, key});
    return true;
  }
  const uint32_t error = gtk_x11_grab_hot_key(window, id, modifiers, key);
  if (error != ERROR_SUCCESS) return fail(error);
  s.hot_keys.push_back(HotKey{window, id, modifiers, key});
  return true;
}

bool platform_unregister_hot_key(WindowHandle window, int32_t id) {
  auto& keys = services().hot_keys;
  auto known = std::find_if(keys.begin(), keys.end(),
                            [window, id](const HotKey& key) { return key.window == window && key.id == id; });
  if (known == keys.end()) return fail(ERROR_HOTKEY_NOT_REGISTERED);
  ungrab(*known);
  keys.erase(known);
  return true;
}

uint32_t platform_drag_query_file(DropHandle drop, uint32_t index, char* buffer, uint32_t size) {
  const PlatformDrop* target = find_live(services().drops, drop);
  if (target == nullptr) {
    fail(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (index == DROP_QUERY_COUNT) return static_cast<uint32_t>(target->paths.size());
  if (index >= target->paths.size()) return 0;
  const std::string& path = target->paths[index];
  if (buffer == nullptr) return static_cast<uint32_t>(path.size());
  if (size == 0) return 0;
  const uint32_t length = static_cast<uint32_t>(std::min<size_t>(path.size(), size - 1));
  memcpy(buffer, path.data(), length);
  buffer[length] = '\0';
  return length;
}

void platform_drag_finish(DropHandle drop) {
  PlatformDrop* target = find_live(services().drops, drop);
  if (target != nullptr) erase_live(services().drops, static_cast<const PlatformDrop*>(target));
}

bool platform_shell_execute(WindowHandle, const char*, const char* file, const char*, const char*, int32_t) {
  if (file == nullptr || file[0] == '\0') return fail(ERROR_FILE_NOT_FOUND);
  if (!gtk_backend_ready()) return fail(ERROR_GEN_FAILURE);
  // A plain absolute path opens as a file:// address; anything else must already be an address.
  gchar* address = g_path_is_absolute(file) ? g_filename_to_uri(file, nullptr, nullptr) : g_strdup(file);
  const bool opened =
      address != nullptr && gtk_show_uri_on_window(nullptr, address, GDK_CURRENT_TIME, nullptr);
  g_free(address);
  return opened || fail(ERROR_FILE_NOT_FOUND);
}

// ================= Time, priorities, errors =================

uint32_t platform_time_ms() { return static_cast<uint32_t>(g_get_monotonic_time() / 1000); }

void platform_sleep(uint32_t milliseconds) {
  struct timespec wait = {static_cast<time_t>(milliseconds / 1000),
                          static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0) {
  }
}

int64_t platform_calendar_time() { return static_cast<int64_t>(time(nullptr)); }

// The program asks for the high priority class; a desktop toy must not take the machine from the
// user, and Linux grants raised priorities only to privileged processes. So the priority stays as it
// is, and only the normal levels are reported as set.
bool platform_set_thread_priority(int32_t priority) {
  return priority == THREAD_PRIORITY_NORMAL || fail(ERROR_ACCESS_DENIED);
}

bool platform_set_priority_class(uint32_t priority_class) {
  return priority_class == NORMAL_PRIORITY_CLASS || fail(ERROR_ACCESS_DENIED);
}

uint32_t platform_get_last_error() { return services().last_error; }
void platform_set_last_error(uint32_t code) { services().last_error = code; }

uint32_t platform_error_text(uint32_t code, char* buffer, uint32_t size) {
  return portable_error_text(code, buffer, size);
}

// ================= Install path =================

namespace {

// A configured install path that names no folder, and where it was configured, from the last read.
struct PassedOver {
  std::string path, setting;
};

PassedOver& passed_over() {
  static PassedOver instance;
  return instance;
}

}  // namespace

// What the user configured, when it names a folder; else the user's own data folder, which an
// installed program fills on first start with the samples and guides installed with it (found from
// the program's own location, so that any prefix or staging directory works).
bool platform_read_install_path(char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return fail(ERROR_INVALID_PARAMETER);
  buffer[0] = '\0';
  PassedOver& skipped = passed_over();
  skipped = PassedOver{};
  std::string path;
  if (portable_configured_install_path(&path, &skipped.setting, size) &&
      !g_file_test(path.c_str(), G_FILE_TEST_IS_DIR)) {
    skipped.path = path;
    path.clear();
  }
  if (path.empty()) {
    gchar* program = g_file_read_link("/proc/self/exe", nullptr);
    const std::string bundled = gtk_installed_data_directory(program, VELISSA_DATA_FROM_PROGRAM);
    g_free(program);
    path = portable_user_data_folder(bundled.c_str());
  }
  if (skipped.path.empty()) skipped.setting.clear();
  if (path.empty()) return fail(ERROR_FILE_NOT_FOUND);
  if (path.size() >= size) return fail(ERROR_FILENAME_EXCED_RANGE);
  memcpy(buffer, path.c_str(), path.size() + 1);
  return true;
}

bool platform_passed_over_install_path(char* path, uint32_t path_size, char* setting, uint32_t setting_size) {
  const PassedOver& skipped = passed_over();
  if (skipped.path.empty() || path == nullptr || setting == nullptr) return false;
  g_strlcpy(path, skipped.path.c_str(), path_size);
  g_strlcpy(setting, skipped.setting.c_str(), setting_size);
  return true;
}

// ================= Files =================

FindHandle platform_find_first_file(const char* pattern, PlatformFindData* data) {
  PlatformFind* find = nullptr;
  const uint32_t error =
      data != nullptr ? portable_find_first_file(pattern, data, &find) : ERROR_INVALID_PARAMETER;
  if (error != ERROR_SUCCESS) {
    fail(error);
    return nullptr;
  }
  services().searches.push_back(find);
  return find;
}

bool platform_find_next_file(FindHandle find, PlatformFindData* data) {
  const auto& searches = services().searches;
  if (find == nullptr || std::find(searches.begin(), searches.end(), find) == searches.end())
    return fail(ERROR_INVALID_HANDLE);
  return finish(portable_find_next_file(find, data));
}

bool platform_find_close(FindHandle find) {
  auto& searches = services().searches;
  auto known = std::find(searches.begin(), searches.end(), find);
  if (find == nullptr || known == searches.end()) return fail(ERROR_INVALID_HANDLE);
  searches.erase(known);
  portable_find_close(find);
  return true;
}

bool platform_copy_file(const char* existing, const char* new_path) {
  return finish(portable_copy_file(existing, new_path));
}
bool platform_move_file(const char* existing, const char* new_path) {
  return finish(portable_move_file(existing, new_path));
}
bool platform_flush_file(const char* path) { return finish(portable_flush_file(path)); }
uint32_t platform_process_id() { return portable_process_id(); }
bool platform_process_running(uint32_t process_id) { return portable_process_running(process_id); }
bool platform_create_directory(const char* path) { return finish(portable_create_directory(path)); }
bool platform_remove_directory(const char* path) { return finish(portable_remove_directory(path)); }
bool platform_delete_file(const char* path) { return finish(portable_delete_file(path)); }

uint32_t platform_get_file_attributes(const char* path) {
  uint32_t attributes = INVALID_FILE_ATTRIBUTES;
  const uint32_t error = portable_get_file_attributes(path, &attributes);
  if (error != ERROR_SUCCESS) fail(error);
  return attributes;
}

bool platform_set_file_attributes(const char* path, uint32_t attributes) {
  return finish(portable_set_file_attributes(path, attributes));
}

bool platform_set_current_directory(const char* path) { return finish(portable_set_current_directory(path)); }

uint32_t platform_get_current_directory(char* buffer, uint32_t size) {
  uint32_t length = 0;
  const uint32_t error = portable_get_current_directory(buffer, size, &length);
  if (error != ERROR_SUCCESS) fail(error);
  return length;
}
