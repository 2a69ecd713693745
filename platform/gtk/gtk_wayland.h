// Inside the GTK backend: the display system chosen at start-up, and what only Wayland needs: the
// character as one transparent layer surface over the output's usable area, with the character drawn in it.
#pragma once

#include <gtk/gtk.h>

#include <string>

struct PlatformWindow;

enum GtkDisplaySystem { kDisplayNone, kDisplayX11, kDisplayWayland };

// What the environment offers, before GTK starts: Wayland where WAYLAND_DISPLAY names a compositor
// with layer-shell, else X11 where DISPLAY is set; a GDK_BACKEND list leaves out what it does not name
// ("x11" forces X11). offers_layer_shell asks the compositor; it is called only when WAYLAND_DISPLAY is
// set. kDisplayNone with *why.
GtkDisplaySystem gtk_choose_display_system(const char* gdk_backend, const char* wayland_display,
                                           const char* x_display, bool (*offers_layer_shell)(),
                                           std::string* why);
// The compositor at WAYLAND_DISPLAY offers zwlr_layer_shell_v1 (one registry round trip).
bool gtk_wayland_offers_layer_shell();

// gtk_layer_is_supported, once GTK runs on Wayland.
bool gtk_wayland_layer_shell_ready();

// The display system GTK runs on (kDisplayNone before gtk_backend_ready or without a display).
GtkDisplaySystem gtk_display_system();
void gtk_set_display_system(GtkDisplaySystem system);
bool gtk_on_wayland();

// The layered window as a layer surface (TOP layer, all edges anchored, exclusive zone 0, no keyboard).
void gtk_wayland_make_layer_surface(PlatformWindow* window);
bool gtk_wayland_is_layer(const PlatformWindow* window);

// Program coordinates on Wayland: the output's size with its usable area's bottom-right corner at
// (width, height), as a work area whose panels sit at the top and left would have. A surface point
// plus this offset is a program point; drawing and the input region go the other way.
void gtk_wayland_offset(int32_t* dx, int32_t* dy);
bool gtk_wayland_work_area(int32_t* left, int32_t* top, int32_t* right, int32_t* bottom);

// The layer window's picture moved or changed from old to its current place and size: redraws both
// rectangles only, so a frame costs the character's pixels rather than the whole output's.
void gtk_wayland_queue_draw(PlatformWindow* window, const GdkRectangle& old_place);

// The last pointer position seen on a layer surface, in program coordinates; false before any.
bool gtk_wayland_pointer(int32_t* x, int32_t* y);
void gtk_wayland_remember_pointer(double surface_x, double surface_y);

// The GdkWindow that a pop-up menu is a popup of (the visible layer surface), or null.
GdkWindow* gtk_wayland_menu_parent();
