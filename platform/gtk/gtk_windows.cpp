// The GTK backend's windows and messages: GTK windows behind window handles, GDK events turned into
// messages posted to the shared queue (portable/message_queue.h), the layered character window as GTK
// draws it (its X11 shape and direct painting: gtk_x11_window.cpp), capture and dropped files.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/gtk/gtk_backend.h"
#include "platform/gtk/gtk_pixels.h"
#include "platform/gtk/gtk_wayland.h"
#include "platform/portable/message_queue.h"

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "cairo's ARGB32 matches the surface's B, G, R, A bytes only on little-endian machines"
#endif

namespace {

struct WindowClass {
  std::string name;
  uint32_t style;
  WindowProcedure procedure;
};

enum InitState { kNotTried, kReady, kNoDisplay };

uint32_t now_ms() { return static_cast<uint32_t>(g_get_monotonic_time() / 1000); }

PlatformPoint cursor_now() {
  PlatformPoint point{0, 0};
  platform_get_cursor_pos(&point);
  return point;
}

struct Backend {
  Backend() {
    queue.clock = now_ms;
    queue.cursor = cursor_now;
  }

  InitState init = kNotTried;
  std::vector<WindowClass> classes;
  std::vector<std::unique_ptr<PlatformWindow>> windows;  // destroyed ones stay as records
  MessageQueue queue;
  WindowHandle capture = nullptr;
  GdkEvent* last_pointer_event = nullptr;
  // The press that a second one may make a double-click of; null window when there is none.
  PlatformWindow* first_press_window = nullptr;
  GtkPress first_press{};
  std::string no_display_reason;  // why there is no display, once GTK was tried
  // A wait ended with a turn of GLib, which posted whatever X had sent: the first look at the queue
  // after it needs no turn of its own (one more poll of the X connection a frame).
  bool glib_just_turned = false;
};

Backend& backend() {
  static Backend instance;
  return instance;
}

// The window, or null with ERROR_INVALID_WINDOW_HANDLE as the system reports a bad handle.
PlatformWindow* checked_window(WindowHandle window) {
  PlatformWindow* target = gtk_live_window(window);
  if (target == nullptr) platform_set_last_error(ERROR_INVALID_WINDOW_HANDLE);
  return target;
}

bool is_layered(const PlatformWindow* window) { return (window->ex_style & WS_EX_LAYERED) != 0; }

// ---- The layered window: painting ----

gboolean on_draw(GtkWidget*, cairo_t* cr, PlatformWindow* window) {
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_rgba(cr, 0, 0, 0, 0);
  cairo_paint(cr);
  gtk_x11_take_back_shown(window);
  if (window->shown_pixels == nullptr) return TRUE;
  cairo_surface_t* image =
      cairo_image_surface_create_for_data(window->shown_pixels, CAIRO_FORMAT_ARGB32,
                                          window->shown_width, window->shown_height, window->shown_width * 4);
  int32_t left = 0, top = 0;  // where the picture is drawn: the window's place, on the stage or layer surface
  if (gtk_wayland_is_layer(window)) {
    gtk_wayland_offset(&left, &top);
    left = window->x - left;
    top = window->y - top;
  } else {
    gtk_x11_picture_origin(window, &left, &top);
  }
  cairo_set_source_surface(cr, image, left, top);
  if (window->composited) {
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_paint_with_alpha(cr, window->opacity / 255.0);
  } else {
    cairo_paint(cr);  // no fade without a compositor: the shape alone decides what shows
  }
  cairo_surface_destroy(image);
  return TRUE;
}

// A compositor came or went: a realized window cannot change its visual, so it is made anew.
void reconfigure(PlatformWindow* window) {
  const bool shown = gtk_widget_get_visible(window->widget);
  if (shown) gtk_widget_hide(window->widget);
  gtk_widget_unrealize(window->widget);
  gtk_x11_forget_paint(window);
  gtk_x11_forget_stage(window);
  gtk_choose_visual(window);
  gtk_forget_shape(window);
  gtk_apply_shape(window);
  gtk_window_move(GTK_WINDOW(window->widget), window->x, window->y);
  if (shown) gtk_widget_show(window->widget);
}

void on_composited_changed(GdkScreen*, gpointer) {
  for (const auto& window : backend().windows) {
    if (!window->destroyed && is_layered(window.get()) && !gtk_wayland_is_layer(window.get()))
      reconfigure(window.get());
  }
}

// ---- Input ----

WPARAM button_state(guint state, guint button, bool pressed) {
  bool left = (state & GDK_BUTTON1_MASK) != 0;
  bool right = (state & GDK_BUTTON3_MASK) != 0;
  if (button == 1) left = pressed;
  if (button == 3) right = pressed;
  return (left ? MK_LBUTTON : 0) | (right ? MK_RBUTTON : 0);
}

bool is_mouse_message(uint32_t message) { return message >= WM_MOUSEMOVE && message <= WM_RBUTTONDBLCLK; }

// A mouse message waits in the queue with the pointer's root position as its point; its client point
// is taken when the message is taken, against where the window is then, as Windows does. A drag moves
// the window between the messages of one pump, so a client point taken earlier would be stale.
// A layer surface has no root position: its own point, in program coordinates, stands for it.
void post_mouse(PlatformWindow* window, uint32_t message, WPARAM state, double x, double y, double root_x,
                double root_y) {
  if (gtk_wayland_is_layer(window)) {
    gtk_wayland_remember_pointer(x, y);
    int32_t dx = 0, dy = 0;
    gtk_wayland_offset(&dx, &dy);
    root_x = x + dx;
    root_y = y + dy;
  }
  const PlatformPoint root{static_cast<int32_t>(std::floor(root_x)), static_cast<int32_t>(std::floor(root_y))};
  message_queue_push(backend().queue, PlatformMessage{window, message, state, 0, now_ms(), root});
}

int32_t double_click_setting(const char* name) {
  gint value = 0;
  g_object_get(gtk_settings_get_default(), name, &value, nullptr);
  return value;
}

// GDK decides on a double-click by positions within the window, and the character's window may move
// or resize with every frame: Windows' rule is applied instead, in screen coordinates. The second
// press becomes WM_xBUTTONDBLCLK (class CS_DBLCLKS), as on Windows; a third starts over.
bool second_press_of_double_click(PlatformWindow* window, const GdkEventButton* event) {
  Backend& b = backend();
  const GtkPress press{event->button, event->time, static_cast<int32_t>(std::floor(event->x_root)),
                       static_cast<int32_t>(std::floor(event->y_root))};
  const bool second = b.first_press_window == window &&
                      gtk_is_double_click(b.first_press, press,
                                          static_cast<uint32_t>(double_click_setting("gtk-double-click-time")),
                                          double_click_setting("gtk-double-click-distance"));
  b.first_press_window = second ? nullptr : window;
  b.first_press = press;
  return second && (window->class_style & CS_DBLCLKS);
}

gboolean on_button(GtkWidget*, GdkEventButton* event, PlatformWindow* window) {
  if (window->destroyed || (event->button != 1 && event->button != 3)) return TRUE;
  gtk_remember_pointer_event(reinterpret_cast<GdkEvent*>(event));
  const bool left = event->button == 1;
  uint32_t message;
  switch (event->type) {
    case GDK_BUTTON_PRESS:
      message = second_press_of_double_click(window, event) ? (left ? WM_LBUTTONDBLCLK : WM_RBUTTONDBLCLK)
                                                            : (left ? WM_LBUTTONDOWN : WM_RBUTTONDOWN);
      break;
    case GDK_BUTTON_RELEASE: message = left ? WM_LBUTTONUP : WM_RBUTTONUP; break;
    default: return TRUE;  // GDK's own double and triple presses
  }
  const WPARAM state = button_state(event->state, event->button, event->type != GDK_BUTTON_RELEASE);
  post_mouse(window, message, state, event->x, event->y, event->x_root, event->y_root);
  return TRUE;
}

gboolean on_motion(GtkWidget*, GdkEventMotion* event, PlatformWindow* window) {
  if (window->destroyed) return TRUE;
  // A drag that carried the pointer beyond the double-click distance is no first click any more.
  Backend& b = backend();
  const int32_t distance = double_click_setting("gtk-double-click-distance");
  if (b.first_press_window != nullptr && (event->state & (GDK_BUTTON1_MASK | GDK_BUTTON3_MASK)) &&
      (std::fabs(event->x_root - b.first_press.root_x) > distance ||
       std::fabs(event->y_root - b.first_press.root_y) > distance))
    b.first_press_window = nullptr;
  post_mouse(window, WM_MOUSEMOVE, button_state(event->state, 0, false), event->x, event->y, event->x_root,
             event->y_root);
  return TRUE;
}

// The window manager's close button or Alt+F4: a WM_CLOSE, whose default handling destroys the window.
gboolean on_delete(GtkWidget*, GdkEvent*, PlatformWindow* window) {
  if (!window->destroyed) gtk_post(window, WM_CLOSE, 0, 0);
  return TRUE;
}

bool is_this_host(const char* host) {
  return host == nullptr || host[0] == '\0' || strcmp(host, "localhost") == 0 ||
         strcmp(host, g_get_host_name()) == 0;
}

void on_drag_data_received(GtkWidget*, GdkDragContext*, gint, gint, GtkSelectionData* data, guint, guint,
                           PlatformWindow* window) {
  if (window->destroyed || !window->accepts_files) return;
  gchar** uris = gtk_selection_data_get_uris(data);
  std::vector<std::string> paths;
  for (gchar** uri = uris; uri != nullptr && *uri != nullptr; ++uri) {
    gchar* host = nullptr;
    gchar* path = g_filename_from_uri(*uri, &host, nullptr);  // null for anything but file:// addresses
    if (path != nullptr && is_this_host(host)) paths.push_back(path);
    g_free(path);
    g_free(host);
  }
  g_strfreev(uris);
  if (!paths.empty())
    gtk_post(window, WM_DROPFILES, reinterpret_cast<WPARAM>(gtk_make_drop(std::move(paths))), 0);
}

void on_realize(GtkWidget*, PlatformWindow* window) {
  gtk_x11_paint_on_expose(window);
  gtk_apply_shape(window);
}

// A shape set before the map may never reach the frame that a reparenting window manager puts around
// the window, and that frame then takes every click over the whole window, drawn or not. Sent again
// after each map, the shape reaches the window manager as a change it follows.
gboolean on_map(GtkWidget*, GdkEvent*, PlatformWindow* window) {
  window->holds_picture = false;  // also when the window manager mapped it again
  gtk_forget_shape(window);
  gtk_apply_shape(window);
  return FALSE;
}

GtkWidget* make_widget(PlatformWindow* window, const char* title) {
  GtkWidget* widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWindow* gtk_window = GTK_WINDOW(widget);
  window->widget = widget;
  gtk_window_set_title(gtk_window, gtk_text_from_program(title).c_str());
  gtk_widget_set_app_paintable(widget, TRUE);
  if (window->style & WS_POPUP) gtk_window_set_decorated(gtk_window, FALSE);
  if (window->ex_style & WS_EX_TOPMOST) {
    gtk_window_set_keep_above(gtk_window, TRUE);
    gtk_window_stick(gtk_window);  // the character stays on every workspace
  }
  if (window->ex_style & WS_EX_TOOLWINDOW) {
    gtk_window_set_skip_taskbar_hint(gtk_window, TRUE);
    gtk_window_set_skip_pager_hint(gtk_window, TRUE);
    gtk_window_set_type_hint(gtk_window, GDK_WINDOW_TYPE_HINT_UTILITY);
  }
  if (is_layered(window)) {
    // Showing or clicking the character must not take the keyboard from what the user is doing.
    gtk_window_set_accept_focus(gtk_window, FALSE);
    gtk_window_set_focus_on_map(gtk_window, FALSE);
    gtk_choose_visual(window);
    if (gtk_on_wayland()) gtk_wayland_make_layer_surface(window);
  }
  gtk_window_move(gtk_window, window->x, window->y);
  gtk_window_set_default_size(gtk_window, std::max(window->width, 1), std::max(window->height, 1));
  gtk_widget_add_events(widget, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK);
  g_signal_connect(widget, "draw", G_CALLBACK(on_draw), window);
  g_signal_connect(widget, "button-press-event", G_CALLBACK(on_button), window);
  g_signal_connect(widget, "button-release-event", G_CALLBACK(on_button), window);
  g_signal_connect(widget, "motion-notify-event", G_CALLBACK(on_motion), window);
  g_signal_connect(widget, "delete-event", G_CALLBACK(on_delete), window);
  g_signal_connect(widget, "drag-data-received", G_CALLBACK(on_drag_data_received), window);
  g_signal_connect(widget, "realize", G_CALLBACK(on_realize), window);
  g_signal_connect(widget, "map-event", G_CALLBACK(on_map), window);
  gtk_apply_shape(window);  // a layered window shows nothing until its first update
  return widget;
}

void show(PlatformWindow* window, bool visible) {
  window->visible = visible;
  window->holds_picture = false;  // a window mapped again holds nothing until its exposure is painted
  if (window->widget == nullptr) return;
  if (visible) {
    gtk_x11_forget_stage(window);
    gtk_window_move(GTK_WINDOW(window->widget), window->x, window->y);
    gtk_widget_show(window->widget);
  } else {
    gtk_widget_hide(window->widget);
  }
}

void raise(PlatformWindow* window) {
  GdkWindow* gdk_window = window->widget != nullptr ? gtk_widget_get_window(window->widget) : nullptr;
  if (gdk_window != nullptr) gdk_window_raise(gdk_window);
}

// ---- Queue ----

LRESULT deliver(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam) {
  PlatformWindow* target = gtk_live_window(window);
  if (target == nullptr) return 0;
  return target->procedure(window, message, wparam, lparam);
}

bool take_message(PlatformMessage* message, bool remove) {
  if (!message_queue_take(backend().queue, message, remove)) return false;
  const PlatformWindow* target = gtk_live_window(message->window);
  if (target != nullptr && is_mouse_message(message->message))
    message->lparam = gtk_mouse_lparam(message->point.x, message->point.y, target->x, target->y);
  return true;
}

void dispatch_queued() {
  PlatformMessage message;
  while (message_queue_has_posted(backend().queue) && take_message(&message, true))
    deliver(message.window, message.message, message.wparam, message.lparam);
}

// One non-blocking turn of GLib: whatever X sent becomes posted messages. Bounded, so a source that is
// always ready cannot hold the program here.
void pump_glib() {
  if (backend().init != kReady) return;
  // An iteration that dispatched nothing found nothing ready: asking first would poll twice a turn.
  for (int turns = 0; turns < 100 && g_main_context_iteration(nullptr, FALSE); ++turns) {
  }
}

// DestroyWindow: owned windows first, then the window; each gets WM_DESTROY while it still exists,
// then loses its capture, hot keys, queued messages and GTK window.
bool destroy(PlatformWindow* window) {
  Backend& b = backend();
  if (window->destroying) return false;
  window->destroying = true;
  for (size_t i = 0; i < b.windows.size(); ++i) {
    PlatformWindow* owned = b.windows[i].get();
    if (owned->owner == window && !owned->destroyed) destroy(owned);
  }
  if (b.capture == window) platform_release_capture();
  window->procedure(window, WM_DESTROY, 0, 0);
  gtk_forget_hot_keys(window);
  message_queue_forget_window(b.queue, window);
  window->destroyed = true;
  window->visible = false;
  gtk_x11_forget_paint(window);
  if (window->widget != nullptr) {
    GtkWidget* widget = window->widget;
    window->widget = nullptr;
    gtk_widget_destroy(widget);
  }
  gtk_forget_shape(window);
  gtk_release_picture(window);
  std::vector<uint8_t>().swap(window->faded_pixels);
  return true;
}

}  // namespace

// ================= Shared inside the backend =================

bool gtk_backend_ready() {
  Backend& b = backend();
  if (b.init == kNotTried) {
    if (g_get_prgname() == nullptr) g_set_prgname("velissadesk");
    // Wayland only with layer-shell, which places the character; else X11 (XWayland serves it too).
    const GtkDisplaySystem system =
        gtk_choose_display_system(getenv("GDK_BACKEND"), getenv("WAYLAND_DISPLAY"), getenv("DISPLAY"),
                                  gtk_wayland_offers_layer_shell, &b.no_display_reason);
    if (system != kDisplayNone) {
      gdk_set_allowed_backends(system == kDisplayWayland ? "wayland" : "x11");
      // Nothing here is drawn with GL, yet GDK loads a GL driver (tens of MB) to choose visuals unless
      // told not to. The setting is read while the display opens and is not left to the programs we
      // start (a link's browser); a GDK_GL of the user's own is kept.
      const bool gl_ours = g_getenv("GDK_GL") == nullptr;
      if (gl_ours) g_setenv("GDK_GL", "disable", TRUE);
      b.init = gtk_init_check(nullptr, nullptr) ? kReady : kNoDisplay;
      if (gl_ours) g_unsetenv("GDK_GL");
      if (b.init == kReady && system == kDisplayWayland && !gtk_wayland_layer_shell_ready()) b.init = kNoDisplay;
      if (b.init == kReady)
        gtk_set_display_system(system);
      else
        b.no_display_reason = system == kDisplayWayland
                                  ? std::string("cannot open the Wayland display ") + getenv("WAYLAND_DISPLAY")
                                  : std::string("cannot open the X display ") + getenv("DISPLAY");
    } else {
      b.init = kNoDisplay;
    }
    if (b.init == kReady) {
      g_set_application_name("VelissaDesk");
      GList* icons = nullptr;
      for (int32_t size : {16, 32, 48}) {
        GdkPixbuf* icon = gtk_program_icon_pixbuf(size);
        if (icon != nullptr) icons = g_list_append(icons, icon);
      }
      gtk_window_set_default_icon_list(icons);
      g_list_free_full(icons, g_object_unref);
      g_signal_connect(gdk_screen_get_default(), "composited-changed", G_CALLBACK(on_composited_changed),
                       nullptr);
      gtk_watch_desktop();
    }
  }
  return b.init == kReady;
}

PlatformWindow* gtk_live_window(WindowHandle window) {
  if (window == nullptr) return nullptr;
  for (const auto& known : backend().windows) {
    if (known.get() == window) return known->destroyed ? nullptr : known.get();
  }
  return nullptr;
}

bool gtk_post(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam) {
  if (window != nullptr && gtk_live_window(window) == nullptr) return false;
  message_queue_post(backend().queue, window, message, wparam, lparam);
  return true;
}

void gtk_run_modal_loop(const bool* done) {
  while (!*done) {
    dispatch_queued();
    if (*done) break;
    g_main_context_iteration(nullptr, TRUE);
  }
}

void gtk_post_to_top_windows(uint32_t message) {
  for (const auto& window : backend().windows) {
    if (!window->destroyed && window->owner == nullptr) gtk_post(window.get(), message, 0, 0);
  }
}

void gtk_reapply_shape(PlatformWindow* window) {
  if (window->destroyed || window->widget == nullptr) return;
  gtk_forget_shape(window);
  gtk_apply_shape(window);
  gtk_widget_queue_draw(window->widget);
}

const char* gtk_no_display_reason() {
  gtk_backend_ready();
  return backend().init == kReady ? nullptr : backend().no_display_reason.c_str();
}

const GdkEvent* gtk_last_pointer_event() { return backend().last_pointer_event; }

void gtk_remember_pointer_event(const GdkEvent* event) {
  Backend& b = backend();
  if (b.last_pointer_event != nullptr) gdk_event_free(b.last_pointer_event);
  b.last_pointer_event = gdk_event_copy(event);
}

// ================= Layered character window =================

bool platform_update_layered_window(WindowHandle window, int32_t width, int32_t height, DeviceContext source,
                                    uint8_t constant_alpha, uint8_t, uint32_t) {
  PlatformWindow* target = checked_window(window);
  if (target == nullptr) return false;
  const uint8_t* pixels = nullptr;
  size_t stride = 0;
  const uint32_t error =
      is_layered(target) ? gtk_find_selected_pixels(source, width, height, &pixels, &stride) : ERROR_INVALID_PARAMETER;
  if (error != ERROR_SUCCESS) {
    platform_set_last_error(error);
    return false;
  }
  const GdkRectangle old_place{target->x, target->y, target->shown_width, target->shown_height};
  const bool resized = target->shown_width != width || target->shown_height != height;
  // The window keeps its own copy, as the system does: X may ask for the picture again at any time.
  bool kept = false;
  uint8_t* room = gtk_picture_room(target, static_cast<size_t>(width) * height * 4, &kept);
  if (room == nullptr) {
    // The room before may be gone with the attempt: the window shows nothing rather than freed memory.
    gtk_release_picture(target);
    target->shown_width = target->shown_height = 0;
    target->holds_picture = false;
    platform_set_last_error(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  // Where the window shows a kept picture, the room holds an older one: it is all taken anew.
  const bool known = kept && target->showing_kept < 0;
  gtk_x11_leave_kept(target);
  const GtkPictureChange change = gtk_take_picture(pixels, stride, width, height, known ? target->shown_width : 0,
                                                   known ? target->shown_height : 0, room);
  target->shown_pixels = room;
  target->shown_width = width;
  target->shown_height = height;
  target->opacity = constant_alpha;
  if (gtk_wayland_is_layer(target)) {
    // The layer surface keeps the output's size: only the character's rectangle changes.
    target->width = width;
    target->height = height;
    gtk_apply_shape(target);
    gtk_wayland_queue_draw(target, old_place);
    return true;
  }
  const bool new_size = target->width != width || target->height != height;
  target->width = width;
  target->height = height;
  const bool exposure_overdue = target->awaiting_exposure;
  target->awaiting_exposure = false;
  if (!gtk_x11_place(target) && new_size) {
    target->placement_pending = true;
    gtk_x11_forget_stage(target);
    // GTK places the window anew with the size: it must know where it was moved to meanwhile.
    gtk_window_move(GTK_WINDOW(target->widget), target->x, target->y);
    gtk_window_resize(GTK_WINDOW(target->widget), width, height);
  }
  // Also when no alpha changed: the picture may have moved on the stage.
  if (resized)
    gtk_apply_shape(target);
  else
    gtk_apply_shape_rows(target, change.y, change.y + (change.alpha_changed ? change.height : 0));
  // A picture for a new place or size waits for GTK to move the window first, and is painted in the
  // same turn; one for a size asked of the window manager is painted when the window is exposed at
  // that size, unless the last such exposure never came; one in place goes straight to the window.
  if (target->awaiting_exposure && !exposure_overdue) {
    target->holds_picture = false;
    return true;
  }
  if (target->placement_pending ||
      !gtk_x11_paint(target, GdkRectangle{change.x, change.y, change.width, change.height})) {
    target->holds_picture = false;
    gtk_widget_queue_draw(target->widget);
  }
  target->placement_pending = false;
  return true;
}

bool platform_keep_layered_picture(WindowHandle window, uint64_t picture) {
  PlatformWindow* target = gtk_live_window(window);
  return target != nullptr && is_layered(target) && gtk_x11_keep_picture(target, picture);
}

bool platform_show_kept_picture(WindowHandle window, uint64_t picture, int32_t width, int32_t height,
                                uint8_t constant_alpha) {
  PlatformWindow* target = gtk_live_window(window);
  return target != nullptr && is_layered(target) &&
         gtk_x11_show_kept_picture(target, picture, width, height, constant_alpha);
}

void platform_forget_kept_pictures(WindowHandle window) {
  PlatformWindow* target = gtk_live_window(window);
  if (target != nullptr) gtk_x11_forget_kept_pictures(target);
}

bool platform_set_window_pos(WindowHandle window, WindowHandle insert_after, int32_t x, int32_t y,
                             int32_t width, int32_t height, uint32_t flags) {
  PlatformWindow* target = checked_window(window);
  if (target == nullptr) return false;
  if (gtk_wayland_is_layer(target)) {
    // Inside the layer surface the character moves by being drawn elsewhere, with its input region.
    const GdkRectangle old_place{target->x, target->y, target->shown_width, target->shown_height};
    if (!(flags & SWP_NOMOVE)) {
      target->x = x;
      target->y = y;
    }
    if (!(flags & SWP_NOSIZE)) {
      target->width = std::max(width, 0);
      target->height = std::max(height, 0);
    }
    gtk_apply_shape(target);
    gtk_wayland_queue_draw(target, old_place);
    flags |= SWP_NOMOVE | SWP_NOSIZE;
  }
  // GTK answers every move with a round of size negotiation and a request to the X server, also for
  // the place the window already has: a frame that stays put is not moved.
  if (!(flags & SWP_NOMOVE) && (target->x != x || target->y != y)) {
    target->x = x;
    target->y = y;
    if (!gtk_x11_move_later(target)) {
      target->placement_pending = true;
      gtk_x11_forget_stage(target);
      gtk_window_move(GTK_WINDOW(target->widget), x, y);
    }
  }
  if (!(flags & SWP_NOSIZE)) {
    target->width = std::max(width, 0);
    target->height = std::max(height, 0);
    if (!gtk_x11_place(target)) {
      target->placement_pending = true;
      gtk_x11_forget_stage(target);
      GtkWindow* gtk_window = GTK_WINDOW(target->widget);
      gtk_window_move(gtk_window, target->x, target->y);  // as for any resize: the place it has now
      gtk_window_resize(gtk_window, std::max(width, 1), std::max(height, 1));
    }
  }
  if (flags & SWP_SHOWWINDOW) show(target, true);
  if (flags & SWP_HIDEWINDOW) show(target, false);
  if (!(flags & SWP_NOZORDER) && insert_after == nullptr) raise(target);
  return true;
}

bool platform_show_window(WindowHandle window, int32_t command) {
  PlatformWindow* target = checked_window(window);
  if (target == nullptr) return false;
  const bool was_visible = target->visible;
  show(target, command != SW_HIDE);
  return was_visible;
}

bool platform_bring_window_to_top(WindowHandle window) {
  PlatformWindow* target = checked_window(window);
  if (target == nullptr) return false;
  raise(target);
  return true;
}

bool platform_set_foreground_window(WindowHandle window) {
  PlatformWindow* target = checked_window(window);
  if (target == nullptr) return false;
  if (target->visible) gtk_window_present(GTK_WINDOW(target->widget));
  return true;
}

WindowHandle platform_set_capture(WindowHandle window) {
  Backend& b = backend();
  PlatformWindow* target = checked_window(window);
  if (target == nullptr) return nullptr;
  const WindowHandle previous = b.capture;
  // The button press already holds X's implicit grab; this one also covers a capture taken later.
  // On Wayland the press's implicit grab is the only one a client gets.
  GdkWindow* gdk_window = gtk_on_wayland() ? nullptr : gtk_widget_get_window(target->widget);
  if (gdk_window != nullptr && gdk_window_is_viewable(gdk_window)) {
    GdkSeat* seat = gdk_display_get_default_seat(gdk_window_get_display(gdk_window));
    gdk_seat_grab(seat, gdk_window, GDK_SEAT_CAPABILITY_ALL_POINTING, FALSE, nullptr, nullptr, nullptr,
                  nullptr);
  }
  b.capture = window;
  return previous;
}

bool platform_release_capture() {
  Backend& b = backend();
  if (b.capture != nullptr && b.init == kReady && !gtk_on_wayland())
    gdk_seat_ungrab(gdk_display_get_default_seat(gdk_display_get_default()));
  b.capture = nullptr;
  return true;
}

bool platform_client_to_screen(WindowHandle window, PlatformPoint* point) {
  const PlatformWindow* target = gtk_live_window(window);
  if (target == nullptr || point == nullptr) {
    platform_set_last_error(target == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
    return false;
  }
  point->x = static_cast<int32_t>(static_cast<uint32_t>(point->x) + static_cast<uint32_t>(target->x));
  point->y = static_cast<int32_t>(static_cast<uint32_t>(point->y) + static_cast<uint32_t>(target->y));
  return true;
}

bool platform_get_cursor_pos(PlatformPoint* point) {
  if (point == nullptr || !gtk_backend_ready()) {
    platform_set_last_error(point == nullptr ? ERROR_INVALID_PARAMETER : ERROR_GEN_FAILURE);
    return false;
  }
  GdkDevice* pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default()));
  gint x = 0, y = 0;
  // Wayland tells a client the pointer only over its own surfaces.
  if (gtk_on_wayland())
    gtk_wayland_pointer(&x, &y);
  else if (pointer != nullptr)
    gdk_device_get_position(pointer, nullptr, &x, &y);
  *point = PlatformPoint{x, y};
  return true;
}

bool platform_get_work_area(PlatformRect* area) {
  if (area == nullptr || !gtk_backend_ready()) {
    platform_set_last_error(area == nullptr ? ERROR_INVALID_PARAMETER : ERROR_GEN_FAILURE);
    return false;
  }
  if (gtk_on_wayland() && gtk_wayland_work_area(&area->left, &area->top, &area->right, &area->bottom))
    return true;
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
  if (monitor == nullptr) {
    platform_set_last_error(ERROR_GEN_FAILURE);
    return false;
  }
  GdkRectangle work{};
  gdk_monitor_get_workarea(monitor, &work);
  *area = PlatformRect{work.x, work.y, work.x + work.width, work.y + work.height};
  return true;
}

bool platform_rect_on_a_monitor(const PlatformRect* rect) {
  if (rect == nullptr || !gtk_backend_ready()) {
    platform_set_last_error(rect == nullptr ? ERROR_INVALID_PARAMETER : ERROR_GEN_FAILURE);
    return false;
  }
  // An empty rect stands for its top-left pixel.
  const auto extent = [](int32_t start, int32_t end) {
    return static_cast<int>(std::clamp(int64_t{end} - start, int64_t{1}, int64_t{INT32_MAX}));
  };
  const GdkRectangle area{rect->left, rect->top, extent(rect->left, rect->right), extent(rect->top, rect->bottom)};
  GdkDisplay* display = gdk_display_get_default();
  for (int i = 0; i < gdk_display_get_n_monitors(display); ++i) {
    GdkRectangle geometry{};
    gdk_monitor_get_geometry(gdk_display_get_monitor(display, i), &geometry);
    if (gdk_rectangle_intersect(&area, &geometry, nullptr)) return true;
  }
  return false;
}

// ================= Windows and messages =================

bool platform_register_class(InstanceHandle, const char* class_name, uint32_t class_style,
                             WindowProcedure procedure) {
  Backend& b = backend();
  if (class_name == nullptr || class_name[0] == '\0' || procedure == nullptr) {
    platform_set_last_error(ERROR_INVALID_PARAMETER);
    return false;
  }
  for (const WindowClass& known : b.classes) {
    if (known.name == class_name) {
      platform_set_last_error(ERROR_CLASS_ALREADY_EXISTS);
      return false;
    }
  }
  b.classes.push_back(WindowClass{class_name, class_style, procedure});
  return true;
}

WindowHandle platform_create_window_ex(uint32_t ex_style, const char* class_name, const char* title,
                                       uint32_t style, int32_t x, int32_t y, int32_t width, int32_t height,
                                       WindowHandle owner, InstanceHandle) {
  Backend& b = backend();
  const WindowClass* window_class = nullptr;
  for (const WindowClass& known : b.classes) {
    if (class_name != nullptr && known.name == class_name) window_class = &known;
  }
  uint32_t error = ERROR_SUCCESS;
  if (window_class == nullptr)
    error = ERROR_CANNOT_FIND_WND_CLASS;
  else if (owner != nullptr && gtk_live_window(owner) == nullptr)
    error = ERROR_INVALID_WINDOW_HANDLE;
  else if (!gtk_backend_ready())
    error = ERROR_GEN_FAILURE;
  if (error != ERROR_SUCCESS) {
    platform_set_last_error(error);
    return nullptr;
  }
  auto or_zero = [](int32_t value) { return value == CW_USEDEFAULT ? 0 : value; };  // WS_POPUP's rule
  PlatformWindow* window = new PlatformWindow{};
  window->procedure = window_class->procedure;
  window->class_style = window_class->style;
  window->style = style;
  window->ex_style = ex_style;
  window->owner = owner;
  window->x = or_zero(x);
  window->y = or_zero(y);
  window->width = std::max(or_zero(width), 0);
  window->height = std::max(or_zero(height), 0);
  window->opacity = 255;
  b.windows.push_back(std::unique_ptr<PlatformWindow>(window));
  make_widget(window, title);
  if (ex_style & WS_EX_ACCEPTFILES) platform_drag_accept_files(window, true);
  if (style & WS_VISIBLE) show(window, true);
  return window;
}

bool platform_destroy_window(WindowHandle window) {
  PlatformWindow* target = gtk_live_window(window);
  if (target == nullptr || !destroy(target)) {
    platform_set_last_error(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  return true;
}

LRESULT platform_default_window_procedure(WindowHandle window, uint32_t message, WPARAM, LPARAM) {
  PlatformWindow* target = gtk_live_window(window);
  if (message == WM_CLOSE && target != nullptr) destroy(target);
  return 0;
}

bool platform_post_message(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam) {
  if (gtk_post(window, message, wparam, lparam)) return true;
  platform_set_last_error(ERROR_INVALID_WINDOW_HANDLE);
  return false;
}

void platform_post_quit_message(int32_t exit_code) {
  message_queue_post_quit(backend().queue, exit_code);
}

namespace {

// Moves wait for the frame's picture (gtk_x11_move_later), but no longer than until the program has
// nothing left to do.
void send_pending_moves() {
  for (const auto& window : backend().windows) {
    if (window->move_pending && !gtk_x11_carry(window.get())) window->move_pending = false;
  }
}

}  // namespace

bool platform_peek_message(PlatformMessage* message, uint32_t remove) {
  if (message == nullptr) return false;
  Backend& b = backend();
  if (!b.glib_just_turned) pump_glib();
  b.glib_just_turned = false;
  if (take_message(message, (remove & PM_REMOVE) != 0)) return true;
  send_pending_moves();
  return false;
}

namespace {

// The timeout of the wait: one source for the program's life, set to the wait's end, so that a wait
// (one a frame) adds and frees no source. Waits never nest: window procedures run from dispatch and
// modal loops, never inside a turn of GLib.
struct WaitTimer {
  GSource source;
  gint64 deadline;  // on GLib's monotonic clock, in microseconds; -1 when no wait is timed
  bool expired;
};

// Asked before every poll, so that setting a deadline needs no wake-up of the loop (a ready time would
// signal one, and cost the next poll).
gboolean wait_timer_due(GSource* source, gint* timeout) {
  const WaitTimer* timer = reinterpret_cast<WaitTimer*>(source);
  if (timer->deadline < 0) {
    *timeout = -1;
    return FALSE;
  }
  const gint64 left = timer->deadline - g_source_get_time(source);
  *timeout = left <= 0 ? 0 : static_cast<gint>(std::min<gint64>((left + 999) / 1000, G_MAXINT));
  return left <= 0;
}

gboolean wait_timer_passed(GSource* source) {
  const WaitTimer* timer = reinterpret_cast<WaitTimer*>(source);
  return timer->deadline >= 0 && g_source_get_time(source) >= timer->deadline;
}

gboolean dispatch_wait_timer(GSource* source, GSourceFunc, gpointer) {
  WaitTimer* timer = reinterpret_cast<WaitTimer*>(source);
  timer->expired = true;
  timer->deadline = -1;
  return G_SOURCE_CONTINUE;
}

WaitTimer* wait_timer() {
  static GSourceFuncs functions{wait_timer_due, wait_timer_passed, dispatch_wait_timer, nullptr, nullptr, nullptr};
  static WaitTimer* timer = nullptr;
  if (timer == nullptr) {
    timer = reinterpret_cast<WaitTimer*>(g_source_new(&functions, sizeof(WaitTimer)));
    timer->deadline = -1;
    g_source_attach(&timer->source, nullptr);
  }
  return timer;
}

}  // namespace

// Blocks in GLib, which polls the X connection and every other source of the program (tray, D-Bus),
// until one of them has posted a message or the timeout has passed.
bool platform_wait_message(uint32_t timeout_ms) {
  Backend& b = backend();
  const auto waiting = [&b] { return message_queue_has_message(b.queue); };
  if (waiting()) return true;
  if (b.init != kReady) {
    platform_sleep(timeout_ms == INFINITE ? 1000 : timeout_ms);  // nothing could post a message
    return false;
  }
  send_pending_moves();
  if (timeout_ms == 0) return false;
  WaitTimer* timer = wait_timer();
  timer->expired = false;
  timer->deadline = timeout_ms == INFINITE ? -1 : g_get_monotonic_time() + gint64{timeout_ms} * 1000;
  while (!timer->expired && !waiting()) g_main_context_iteration(nullptr, TRUE);
  timer->deadline = -1;
  b.glib_just_turned = true;
  return waiting();
}

bool platform_translate_message(const PlatformMessage*) { return false; }  // no keyboard input to translate

LRESULT platform_dispatch_message(const PlatformMessage* message) {
  if (message == nullptr) return 0;
  return deliver(message->window, message->message, message->wparam, message->lparam);
}

// ================= Dropped files =================

void platform_drag_accept_files(WindowHandle window, bool accept) {
  PlatformWindow* target = gtk_live_window(window);
  if (target == nullptr) return;
  target->accepts_files = accept;
  target->ex_style =
      accept ? (target->ex_style | WS_EX_ACCEPTFILES) : (target->ex_style & ~WS_EX_ACCEPTFILES);
  if (accept) {
    static const GtkTargetEntry kUriList = {const_cast<gchar*>("text/uri-list"), 0, 0};
    gtk_drag_dest_set(target->widget, GTK_DEST_DEFAULT_ALL, &kUriList, 1, GDK_ACTION_COPY);
  } else {
    gtk_drag_dest_unset(target->widget);
  }
}
