// The GTK backend's view of the X11 desktop: changes of the work area (_NET_WORKAREA), of the monitors
// and of the screen's size become WM_DISPLAYCHANGE; the active window's full-screen state
// (_NET_ACTIVE_WINDOW, _NET_WM_STATE_FULLSCREEN) is told to the app bars whose monitor it covers.
// It also tells when an XEmbed tray manager is there. Everything follows X's property and structure
// events: nothing polls.
#include <gdk/gdkx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/gtk/gtk_backend.h"

namespace {

struct AppBar {
  WindowHandle window;
  uint32_t callback_message;
  bool full_screen;  // what it was last told
};

struct Desktop {
  bool watching = false;
  std::vector<AppBar> app_bars;
  Window active = None;  // the active window whose state is followed; None when it is none or ours
  Atom active_window = None, wm_state = None, wm_state_full_screen = None, work_area = None;
};

Desktop& desktop() {
  static Desktop instance;
  return instance;
}

GdkDisplay* display() { return gdk_display_get_default(); }
Display* x_display() { return gdk_x11_display_get_xdisplay(display()); }
Window x_root() { return gdk_x11_get_default_root_xwindow(); }

// A property of 32-bit items (XA_WINDOW, XA_ATOM), at most 64 of them; empty when it is missing, of
// another type, or the window has gone.
std::vector<unsigned long> read_items(Window window, Atom property, Atom type) {
  std::vector<unsigned long> items;
  Atom actual = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  gdk_x11_display_error_trap_push(display());
  const int status = XGetWindowProperty(x_display(), window, property, 0, 64, False, type, &actual, &format,
                                        &count, &after, &data);
  gdk_x11_display_error_trap_pop_ignored(display());
  if (status == Success && data != nullptr && actual == type && format == 32) {
    const auto* values = reinterpret_cast<const unsigned long*>(data);  // Xlib hands out 32-bit items as longs
    items.assign(values, values + count);
  }
  if (data != nullptr) XFree(data);
  return items;
}

bool is_ours(Window window) { return gdk_x11_window_lookup_for_display(display(), window) != nullptr; }

void select_events(Window window, long mask) {
  gdk_x11_display_error_trap_push(display());
  XSelectInput(x_display(), window, mask);
  gdk_x11_display_error_trap_pop_ignored(display());
}

// The window manager names the active window on the root window; its state and geometry are followed
// from then on, and the previous one's are let go.
void follow_active_window() {
  Desktop& d = desktop();
  const std::vector<unsigned long> items = read_items(x_root(), d.active_window, XA_WINDOW);
  Window now = items.empty() ? None : static_cast<Window>(items[0]);
  if (now != None && is_ours(now)) now = None;
  if (now == d.active) return;
  if (d.active != None) select_events(d.active, NoEventMask);
  d.active = now;
  if (now != None) select_events(now, PropertyChangeMask | StructureNotifyMask);
}

// The active window's rectangle on the screen when it is full-screen.
bool full_screen_rect(GdkRectangle* rect) {
  Desktop& d = desktop();
  if (d.active == None) return false;
  const std::vector<unsigned long> state = read_items(d.active, d.wm_state, XA_ATOM);
  if (std::find(state.begin(), state.end(), d.wm_state_full_screen) == state.end()) return false;
  gdk_x11_display_error_trap_push(display());
  XWindowAttributes attributes{};
  int x = 0, y = 0;
  Window child = None;
  const bool known = XGetWindowAttributes(x_display(), d.active, &attributes) != 0 &&
                     XTranslateCoordinates(x_display(), d.active, x_root(), 0, 0, &x, &y, &child) != 0;
  const bool failed = gdk_x11_display_error_trap_pop(display()) != 0;
  if (!known || failed) return false;
  *rect = GdkRectangle{x, y, attributes.width, attributes.height};
  return true;
}

GdkMonitor* monitor_at_centre(int64_t x, int64_t y, int64_t width, int64_t height) {
  return gdk_display_get_monitor_at_point(display(), static_cast<int>(x + width / 2),
                                          static_cast<int>(y + height / 2));
}

// Each app bar hears of a change that concerns its monitor, once.
void tell_app_bars() {
  Desktop& d = desktop();
  GdkRectangle full_screen{};
  const bool any = full_screen_rect(&full_screen);
  GdkMonitor* covered =
      any ? monitor_at_centre(full_screen.x, full_screen.y, full_screen.width, full_screen.height) : nullptr;
  for (AppBar& bar : d.app_bars) {
    const PlatformWindow* window = gtk_live_window(bar.window);
    if (window == nullptr) continue;
    const bool on = covered != nullptr && monitor_at_centre(window->x, window->y, window->width,
                                                             window->height) == covered;
    if (on == bar.full_screen) continue;
    bar.full_screen = on;
    gtk_post(bar.window, bar.callback_message, ABN_FULLSCREENAPP, on ? 1 : 0);
  }
}

void desktop_changed() {
  gtk_post_to_top_windows(WM_DISPLAYCHANGE);
  tell_app_bars();
}

GdkFilterReturn on_x_event(GdkXEvent* native, GdkEvent*, gpointer) {
  const XEvent* event = static_cast<const XEvent*>(native);
  Desktop& d = desktop();
  switch (event->type) {
    case PropertyNotify:
      if (event->xproperty.window == x_root()) {
        if (event->xproperty.atom == d.work_area) desktop_changed();
        if (event->xproperty.atom == d.active_window) {
          follow_active_window();
          tell_app_bars();
        }
      } else if (event->xproperty.window == d.active && event->xproperty.atom == d.wm_state) {
        tell_app_bars();
      }
      break;
    case ConfigureNotify:
      if (event->xconfigure.window == d.active) tell_app_bars();
      break;
    case DestroyNotify:
      if (event->xdestroywindow.window == d.active) {
        d.active = None;
        tell_app_bars();
      }
      break;
    default: break;
  }
  return GDK_FILTER_CONTINUE;
}

void on_screen_changed(GdkScreen*, gpointer) { desktop_changed(); }

}  // namespace

void gtk_watch_desktop() {
  Desktop& d = desktop();
  if (d.watching || !GDK_IS_X11_DISPLAY(display())) return;
  d.watching = true;
  d.active_window = XInternAtom(x_display(), "_NET_ACTIVE_WINDOW", False);
  d.wm_state = XInternAtom(x_display(), "_NET_WM_STATE", False);
  d.wm_state_full_screen = XInternAtom(x_display(), "_NET_WM_STATE_FULLSCREEN", False);
  d.work_area = XInternAtom(x_display(), "_NET_WORKAREA", False);
  GdkWindow* root = gdk_get_default_root_window();
  gdk_window_set_events(root, static_cast<GdkEventMask>(gdk_window_get_events(root) | GDK_PROPERTY_CHANGE_MASK));
  gdk_window_add_filter(nullptr, on_x_event, nullptr);
  GdkScreen* screen = gdk_screen_get_default();
  g_signal_connect(screen, "monitors-changed", G_CALLBACK(on_screen_changed), nullptr);
  g_signal_connect(screen, "size-changed", G_CALLBACK(on_screen_changed), nullptr);
  follow_active_window();
}

bool platform_register_app_bar(WindowHandle window, uint32_t callback_message) {
  Desktop& d = desktop();
  if (gtk_live_window(window) == nullptr) {
    platform_set_last_error(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  for (const AppBar& bar : d.app_bars) {
    if (bar.window == window) {
      platform_set_last_error(ERROR_ALREADY_EXISTS);
      return false;
    }
  }
  d.app_bars.push_back(AppBar{window, callback_message, false});
  // A full-screen program that is already up counts at once.
  if (d.watching) tell_app_bars();
  return true;
}

bool platform_remove_app_bar(WindowHandle window) {
  Desktop& d = desktop();
  const auto bar = std::find_if(d.app_bars.begin(), d.app_bars.end(),
                                [window](const AppBar& known) { return known.window == window; });
  if (bar == d.app_bars.end()) {
    platform_set_last_error(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  d.app_bars.erase(bar);
  return true;
}

// ================= The XEmbed tray manager =================

namespace {

void (*tray_manager_arrived)() = nullptr;

Atom tray_selection(GdkDisplay* display) {
  char name[32];
  snprintf(name, sizeof name, "_NET_SYSTEM_TRAY_S%d", gdk_x11_screen_get_screen_number(gdk_screen_get_default()));
  return gdk_x11_get_xatom_by_name_for_display(display, name);
}

gboolean tell_tray_manager_arrived(gpointer) {
  if (tray_manager_arrived != nullptr) tray_manager_arrived();
  return G_SOURCE_REMOVE;
}

// A tray manager that starts announces itself with a MANAGER message on the root window.
GdkFilterReturn on_root_client_message(GdkXEvent* native, GdkEvent*, gpointer) {
  const XEvent* event = static_cast<const XEvent*>(native);
  if (event->type == ClientMessage && event->xclient.format == 32 &&
      event->xclient.message_type == gdk_x11_get_xatom_by_name_for_display(display(), "MANAGER") &&
      static_cast<Atom>(event->xclient.data.l[1]) == tray_selection(display()))
    g_idle_add(tell_tray_manager_arrived, nullptr);  // out of GDK's event dispatch, which a new widget re-enters
  return GDK_FILTER_CONTINUE;
}

}  // namespace

bool gtk_x11_tray_manager_present(void (*arrived)()) {
  if (display() == nullptr || !GDK_IS_X11_DISPLAY(display())) return true;
  if (tray_manager_arrived == nullptr) {
    GdkWindow* root = gdk_get_default_root_window();
    gdk_window_set_events(root, static_cast<GdkEventMask>(gdk_window_get_events(root) | GDK_STRUCTURE_MASK));
    gdk_window_add_filter(root, on_root_client_message, nullptr);
  }
  tray_manager_arrived = arrived;
  return XGetSelectionOwner(x_display(), tray_selection(display())) != None;
}
