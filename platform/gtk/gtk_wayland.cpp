// The choice of display system at start-up, and the character on Wayland: one transparent layer
// surface over the output's usable area, with the character drawn inside it and an input region of its
// drawn pixels. A surface that the character's moves would move instead is not used: on some
// compositors pointer positions during a held button stay relative to where the surface was at the
// press, so a drag would overshoot; a surface that never moves has no such drift.
#include "platform/gtk/gtk_wayland.h"

#include <gtk-layer-shell.h>
#include <wayland-client.h>

#include <cstring>

#include "platform/gtk/gtk_backend.h"

namespace {

struct Wayland {
  GtkDisplaySystem system = kDisplayNone;
  PlatformWindow* layer = nullptr;  // the character window, when it is a layer surface
  bool pointer_seen = false;
  double pointer_x = 0, pointer_y = 0;  // surface coordinates
};

Wayland& wayland() {
  static Wayland instance;
  return instance;
}

void on_global(void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
  if (strcmp(interface, "zwlr_layer_shell_v1") == 0) *static_cast<bool*>(data) = true;
}

void on_global_remove(void*, wl_registry*, uint32_t) {}

// The output the surface shows on: the one GDK lists first (layer-shell's default output).
GdkMonitor* layer_monitor() {
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = display != nullptr ? gdk_display_get_primary_monitor(display) : nullptr;
  if (monitor == nullptr && display != nullptr) monitor = gdk_display_get_monitor(display, 0);
  return monitor;
}

bool output_size(int32_t* width, int32_t* height) {
  GdkMonitor* monitor = layer_monitor();
  if (monitor == nullptr) return false;
  GdkRectangle geometry{};
  gdk_monitor_get_geometry(monitor, &geometry);
  *width = geometry.width;
  *height = geometry.height;
  return geometry.width > 0 && geometry.height > 0;
}

// The surface's size as the compositor configured it; the output's until it has.
void surface_size(int32_t* width, int32_t* height) {
  const PlatformWindow* layer = wayland().layer;
  const bool configured = layer != nullptr && layer->widget != nullptr && gtk_widget_get_realized(layer->widget) &&
                          gtk_widget_get_allocated_width(layer->widget) > 1;
  if (configured) {
    *width = gtk_widget_get_allocated_width(layer->widget);
    *height = gtk_widget_get_allocated_height(layer->widget);
  } else if (!output_size(width, height)) {
    *width = *height = 0;
  }
}

// A panel came, went or grew, or the output changed: the usable area's corner moved under the
// character, which keeps its place against that corner.
void on_size_allocate(GtkWidget*, GdkRectangle*, PlatformWindow* window) { gtk_reapply_shape(window); }

}  // namespace

namespace {

// GDK_BACKEND is GTK's list of backends to try, comma-separated; "*" or no list allows any.
bool backend_allowed(const char* gdk_backend, const char* name) {
  if (gdk_backend == nullptr || gdk_backend[0] == '\0') return true;
  gchar** names = g_strsplit(gdk_backend, ",", -1);
  bool allowed = false;
  for (gchar** entry = names; *entry != nullptr && !allowed; ++entry)
    allowed = strcmp(*entry, name) == 0 || strcmp(*entry, "*") == 0;
  g_strfreev(names);
  return allowed;
}

}  // namespace

GtkDisplaySystem gtk_choose_display_system(const char* gdk_backend, const char* wayland_display,
                                           const char* x_display, bool (*offers_layer_shell)(),
                                           std::string* why) {
  const bool has_x = x_display != nullptr && x_display[0] != '\0';
  const bool has_wayland = wayland_display != nullptr && wayland_display[0] != '\0';
  const bool x_allowed = backend_allowed(gdk_backend, "x11");
  const bool wayland_allowed = backend_allowed(gdk_backend, "wayland");
  const std::string asked = std::string("GDK_BACKEND=") + (gdk_backend != nullptr ? gdk_backend : "");
  if (!x_allowed && !wayland_allowed) {
    *why = asked + " allows neither Wayland nor X11";
    return kDisplayNone;
  }
  if (!wayland_allowed) {
    if (has_x) return kDisplayX11;
    *why = asked + " asks for X11, but DISPLAY is not set";
    return kDisplayNone;
  }
  if (has_wayland && offers_layer_shell()) return kDisplayWayland;
  if (has_x && x_allowed) return kDisplayX11;
  if (has_wayland) {
    *why = std::string("the Wayland compositor at WAYLAND_DISPLAY=") + wayland_display +
           " offers no layer-shell (zwlr_layer_shell_v1), and ";
    *why += x_allowed ? "DISPLAY (X11 or XWayland) is not set"
                      : asked + " forbids X11 (without it, XWayland would serve)";
  } else if (!x_allowed) {
    *why = asked + " asks for Wayland, but WAYLAND_DISPLAY is not set";
  } else {
    *why = "no display: neither WAYLAND_DISPLAY nor DISPLAY is set";
  }
  return kDisplayNone;
}

bool gtk_wayland_offers_layer_shell() {
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) return false;
  bool offered = false;
  static const wl_registry_listener kListener = {on_global, on_global_remove};
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kListener, &offered);
  wl_display_roundtrip(display);
  wl_registry_destroy(registry);
  wl_display_disconnect(display);
  return offered;
}

bool gtk_wayland_layer_shell_ready() { return gtk_layer_is_supported(); }

GtkDisplaySystem gtk_display_system() { return wayland().system; }
void gtk_set_display_system(GtkDisplaySystem system) { wayland().system = system; }
bool gtk_on_wayland() { return wayland().system == kDisplayWayland; }

void gtk_wayland_make_layer_surface(PlatformWindow* window) {
  GtkWindow* gtk_window = GTK_WINDOW(window->widget);
  gtk_layer_init_for_window(gtk_window);
  gtk_layer_set_namespace(gtk_window, "velissadesk");
  gtk_layer_set_layer(gtk_window, GTK_LAYER_SHELL_LAYER_TOP);  // full-screen windows cover it
  for (GtkLayerShellEdge edge : {GTK_LAYER_SHELL_EDGE_LEFT, GTK_LAYER_SHELL_EDGE_RIGHT, GTK_LAYER_SHELL_EDGE_TOP,
                                 GTK_LAYER_SHELL_EDGE_BOTTOM})
    gtk_layer_set_anchor(gtk_window, edge, TRUE);
  gtk_layer_set_exclusive_zone(gtk_window, 0);  // kept clear of panels, as a work area would be
  gtk_layer_set_keyboard_interactivity(gtk_window, FALSE);
  // With only a default size the first map paints nothing; the compositor decides the size anyway.
  gtk_widget_set_size_request(window->widget, 1, 1);
  g_signal_connect(window->widget, "size-allocate", G_CALLBACK(on_size_allocate), window);
  wayland().layer = window;
}

bool gtk_wayland_is_layer(const PlatformWindow* window) {
  return window != nullptr && window == wayland().layer && gtk_on_wayland();
}

void gtk_wayland_offset(int32_t* dx, int32_t* dy) {
  int32_t output_width = 0, output_height = 0, width = 0, height = 0;
  surface_size(&width, &height);
  if (!output_size(&output_width, &output_height)) output_width = width, output_height = height;
  *dx = output_width - width;
  *dy = output_height - height;
}

bool gtk_wayland_work_area(int32_t* left, int32_t* top, int32_t* right, int32_t* bottom) {
  int32_t width = 0, height = 0, dx = 0, dy = 0;
  surface_size(&width, &height);
  if (width <= 0 || height <= 0) return false;
  gtk_wayland_offset(&dx, &dy);
  *left = dx;
  *top = dy;
  *right = dx + width;
  *bottom = dy + height;
  return true;
}

void gtk_wayland_queue_draw(PlatformWindow* window, const GdkRectangle& old_place) {
  int32_t dx = 0, dy = 0;
  gtk_wayland_offset(&dx, &dy);
  gtk_widget_queue_draw_area(window->widget, old_place.x - dx, old_place.y - dy, old_place.width,
                             old_place.height);
  gtk_widget_queue_draw_area(window->widget, window->x - dx, window->y - dy, window->shown_width,
                             window->shown_height);
}

bool gtk_wayland_pointer(int32_t* x, int32_t* y) {
  const Wayland& w = wayland();
  if (!w.pointer_seen) return false;
  int32_t dx = 0, dy = 0;
  gtk_wayland_offset(&dx, &dy);
  *x = static_cast<int32_t>(w.pointer_x) + dx;
  *y = static_cast<int32_t>(w.pointer_y) + dy;
  return true;
}

void gtk_wayland_remember_pointer(double surface_x, double surface_y) {
  Wayland& w = wayland();
  w.pointer_seen = true;
  w.pointer_x = surface_x;
  w.pointer_y = surface_y;
}

GdkWindow* gtk_wayland_menu_parent() {
  const PlatformWindow* layer = wayland().layer;
  if (!gtk_on_wayland() || layer == nullptr || layer->widget == nullptr || !gtk_widget_get_mapped(layer->widget))
    return nullptr;
  return gtk_widget_get_window(layer->widget);
}
