// Inside the GTK backend: what its windows part (windows, messages, mouse, drops, presentation) and its
// services part (surfaces, menus, tray, boxes, hot key, files) share. Nothing outside includes this.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "platform/gtk/gtk_pixels.h"
#include "platform/platform.h"

struct _XGC;  // Xlib's graphics context, kept by the X11 window part
struct GtkSharedPicture;  // memory shared with the X server, kept by the X11 window part
struct GtkKeptPictures;   // pictures the program shows again, kept on the X server by the X11 window part

struct PlatformWindow {
  WindowProcedure procedure;
  uint32_t class_style;
  uint32_t style, ex_style;
  WindowHandle owner;
  int32_t x, y, width, height;  // as the program last set them: what client_to_screen adds
  bool visible;
  bool accepts_files;
  bool destroying;
  bool destroyed;     // the record stays, so a stale handle is recognised instead of read after free
  GtkWidget* widget;  // null once destroyed

  // Layered windows: what the last update showed, and how it is shown.
  uint8_t* shown_pixels;  // shown_width * shown_height * 4 bytes, premultiplied B, G, R, A; null before any
  int32_t shown_width, shown_height;
  // Where the shown pixels are: shared with the X server where it can read them, else the window's own.
  GtkSharedPicture* shared_picture;
  std::vector<uint8_t> own_pixels;
  uint8_t opacity;
  bool composited;        // RGBA visual and input shape; else system visual and bounding shape
  cairo_region_t* shape;  // the shape last applied, to skip X round trips when it is unchanged
  std::vector<cairo_rectangle_int_t> shape_runs;  // the shape last put on the X window itself
  bool shape_sent;                                 // shape_runs is on the X window
  std::vector<uint8_t> faded_pixels;  // the shown pixels at the opacity, while it is below 255 (X11)
  _XGC* paint_gc;                      // what the pictures are put with (X11), made for paint_gc_depth
  int paint_gc_depth;
  bool holds_picture;      // the X window shows the shown pixels as painted last: put only what changes
  bool placement_pending;  // moved or resized since the last picture: GTK places it before painting
  bool awaiting_exposure;  // resized straight on X11; the picture is put in when it is exposed
  bool move_pending;       // moved on X11, not yet sent: see gtk_x11_move_later
  // X11: where the X window is (see GtkStage; width 0 while GTK places it), where in it the shown
  // picture was put last (what it held, with holds_picture), and the offset the shape was sent at.
  GtkStage stage;
  GdkRectangle picture_place;
  int32_t shape_x, shape_y;
  // X11 with a compositor: the pictures kept on the server (null before the first), and the one the
  // window shows when it shows one of them (its index). The shown pixels and the shape runs are then
  // those of the picture before, until the window leaves the kept picture or takes it back.
  GtkKeptPictures* kept_pictures;
  int32_t showing_kept = -1;
};

struct PlatformMenu {
  struct Item {
    uint32_t flags;  // as appended: MF_STRING or MF_SEPARATOR, MF_GRAYED, MF_CHECKED
    uintptr_t id;
    std::string caption;
    bool checked;
    bool radio;  // marked by CheckMenuRadioItem: a bullet rather than a tick
  };
  std::vector<Item> items;
};

struct PlatformDrop {
  std::vector<std::string> paths;
};

// GTK initialised on Wayland with layer-shell or on X11 (once; false when there is no display).
bool gtk_backend_ready();
// Why GTK could not start (one line), or null when it runs.
const char* gtk_no_display_reason();
// The window's input region (or shape) sent again and its picture drawn anew: its place on a layer
// surface, or the surface itself, changed.
void gtk_reapply_shape(PlatformWindow* window);
// The window if it is one of ours and not destroyed, else null.
PlatformWindow* gtk_live_window(WindowHandle window);
// PostMessage without the handle check's error report.
bool gtk_post(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam);
// Posts message (wparam and lparam 0) to every live window without an owner, as Windows broadcasts.
void gtk_post_to_top_windows(uint32_t message);
// Runs GLib and dispatches queued messages until *done; a WM_QUIT stays for the outer loop.
void gtk_run_modal_loop(const bool* done);
// A copy of the last pointer event a window or the tray saw, for a menu's grab; null before any.
const GdkEvent* gtk_last_pointer_event();
void gtk_remember_pointer_event(const GdkEvent* event);

// From the X11 window part (gtk_x11_window.cpp). The layered window's visual: the screen's RGBA one
// with a compositor, else the system's.
void gtk_choose_visual(PlatformWindow* window);
// The window's input shape (or, without a compositor, its shape) from the shown pixels' alpha; no
// request when it is what was applied last.
void gtk_apply_shape(PlatformWindow* window);
// The same, after a picture of the same size whose alpha changed in rows top to bottom only.
void gtk_apply_shape_rows(PlatformWindow* window, int32_t top, int32_t bottom);
// The applied shape forgotten, so that the next gtk_apply_shape sends it again.
void gtk_forget_shape(PlatformWindow* window);
// The shown pixels, at the opacity, put straight into the window's X window: only the part given
// where the window holds the picture before it at the same opacity, else all. False when there is no
// mapped X11 window of a known visual: GTK's drawing must paint it then.
bool gtk_x11_paint(PlatformWindow* window, const GdkRectangle& changed);
// From its realization on, the window's X11 exposures are answered with gtk_x11_paint where it can, and
// what its X window is made of is known without asking GDK at each frame.
void gtk_x11_paint_on_expose(PlatformWindow* window);
// The mapped layered X11 window marked to move to the window's x and y with its next picture, or
// before the loop waits (gtk_x11_place), so that a frame's move and size go in one request; false
// when it is not mapped (GTK must move it then). GTK's own record of the place is left as it was:
// whoever asks GTK to size or show the window tells it the place first.
bool gtk_x11_move_later(PlatformWindow* window);
// Once the layered window's X11 window exists, it is given the window's size and place straight, when
// it has another size or a move is pending: GTK takes a size it did not ask for as one the window
// manager gave, and keeps it as long as it asks for none itself, which it never does once the window
// exists. A mapped window then awaits the exposure that paints it at that size. False before that
// (GTK must size the window then).
bool gtk_x11_place(PlatformWindow* window);
// Frees what painting keeps for the window (its graphics context).
void gtk_x11_forget_paint(PlatformWindow* window);
// GTK places the window itself from now on (shown, made anew, not realized): the stage starts again at
// the window's rectangle once the X window is placed straight.
void gtk_x11_forget_stage(PlatformWindow* window);
// Where the window's picture goes inside its X window: the window's place on the stage.
void gtk_x11_picture_origin(const PlatformWindow* window, int32_t* left, int32_t* top);
// A move that no new picture followed (a drag, a panel): the X window carries its stage along, the
// picture keeping its place inside; else, as gtk_x11_place, with the picture put at its new place.
// False before the X window exists.
bool gtk_x11_carry(PlatformWindow* window);
// After an update showed the shown pixels: they are kept on the server under number, where the window
// is an X11 one with a compositor, shared memory and room within the bound. True where they are kept
// and can be shown at any opacity (the server renders fades).
bool gtk_x11_keep_picture(PlatformWindow* window, uint64_t number);
// The picture kept under number shown as an update at width x height and opacity would show it,
// sending no pixels; false, with nothing done, where it is not kept or cannot be shown so now.
bool gtk_x11_show_kept_picture(PlatformWindow* window, uint64_t number, int32_t width, int32_t height,
                               uint8_t opacity);
// Where the window shows a kept picture, its pixels read back from the server into the shown pixels,
// for whoever reads those (GTK's drawing, a shape made anew), and it leaves the kept picture.
void gtk_x11_take_back_shown(PlatformWindow* window);
// Where the window shows a kept picture, its shape runs made that picture's again: the next picture is
// taken from the program.
void gtk_x11_leave_kept(PlatformWindow* window);
// Every kept picture freed on the server (the one shown taken back first).
void gtk_x11_forget_kept_pictures(PlatformWindow* window);
// Room for bytes of the window's shown pixels, *kept true when it still holds the ones shown before:
// memory shared with the X server for a layered window on a display of this machine, so that a picture
// is put without going through the socket, else the window's own.
uint8_t* gtk_picture_room(PlatformWindow* window, size_t bytes, bool* kept);
// Frees the room of the window's shown pixels.
void gtk_release_picture(PlatformWindow* window);

// From the desktop part (X11): follows the work area, the monitors, and the active window's
// full-screen state for the app bars; started once GTK is ready.
void gtk_watch_desktop();
// Whether an XEmbed tray manager owns the screen's tray selection (true off X11); a manager that
// starts later calls arrived, from an idle turn of the main loop.
bool gtk_x11_tray_manager_present(void (*arrived)());

// From the services part.
void gtk_forget_hot_keys(WindowHandle window);
// The desktop took back the hot key id of window: it is forgotten, and the window told so.
void gtk_hot_key_lost(WindowHandle window, int32_t id);
DropHandle gtk_make_drop(std::vector<std::string> paths);
// Where the top-left width x height pixels of the bitmap selected into dc lie, and the bytes from row to
// row: ERROR_INVALID_PARAMETER for a dead dc, the stock bitmap or a size beyond the bitmap.
uint32_t gtk_find_selected_pixels(DeviceContext dc, int32_t width, int32_t height, const uint8_t** pixels,
                                  size_t* stride);
// The program's icon at size x size as a new pixbuf reference; null on failure.
GdkPixbuf* gtk_program_icon_pixbuf(int32_t size);
// The menu or the icon's picture if the handle is a live one, else null.
const PlatformMenu* gtk_live_menu(MenuHandle menu);
GdkPixbuf* gtk_live_icon_pixbuf(IconHandle icon);

// From the tray part: a menu's items or marks changed (or it was destroyed), so a tray that shows it
// must show it anew.
void gtk_tray_menu_changed(MenuHandle menu);
