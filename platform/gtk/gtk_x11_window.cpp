// The character's window on X11: its visual, its shape from the picture's alpha, and its pictures put
// straight into its X window (through shared memory where the server can read it, else XPutImage),
// outside GTK's drawing cycle, so that a frame costs one request and no backing store or compositing;
// a picture shown again is copied there, or faded there with XRender, from the copy the server keeps.
// Its moves and sizes are set straight too. GTK paints it only when the window is not of the
// picture's size.
#include <gdk/gdkx.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/Xrender.h>
#include <X11/extensions/shape.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/gtk/gtk_backend.h"
#include "platform/gtk/gtk_pixels.h"
#include "platform/gtk/gtk_wayland.h"

// A picture the program shows again, kept on the server with its shape (see
// platform_keep_layered_picture).
struct GtkKeptPicture {
  uint64_t number;  // the program's name for it
  Pixmap pixmap;    // the pixels, at depth 32
  Picture source;   // the pixmap as XRender's source, for fades
  int32_t width, height;
  std::vector<XRectangle> shape;  // its input shape, as sent
  XserverRegion region;           // the shape kept on the server too, or None (no XFixes 2 there)
  uint64_t shape_name;            // pictures kept one after the other with the same shape share it
  uint64_t last_shown;            // the count of shows, then
};

struct GtkKeptPictures {
  std::vector<GtkKeptPicture> pictures;
  size_t bytes = 0;  // their pixels
  uint64_t shows = 0;  // pictures kept or shown so far
  uint64_t shape_on_window = 0;  // the name of the kept shape on the X window (and in the runs); 0: none's
  Window faded_into = None;       // the X window that fade_target draws into
  Picture fade_target = None;     // XRender's picture of it, made at the first fade by the server
  Pixmap fade_pixmap = None;      // where a picture not kept is put for its fade, grown to the largest
  Picture fade_source = None;     // fade_pixmap as XRender's source
  int32_t fade_width = 0, fade_height = 0;
};

namespace {

bool is_layered(const PlatformWindow* window) { return (window->ex_style & WS_EX_LAYERED) != 0; }

// The kept shape on the window is no longer known to be one (its runs were made anew or forgotten).
void unname_shape(PlatformWindow* window) {
  if (window->kept_pictures != nullptr) window->kept_pictures->shape_on_window = 0;
}

// Where the shown picture belongs inside the X window now.
GdkRectangle picture_place_now(const PlatformWindow* window) {
  GdkRectangle place{0, 0, window->shown_width, window->shown_height};
  gtk_x11_picture_origin(window, &place.x, &place.y);
  return place;
}

// The X window to paint, its visual and size; its window is None while there is nothing on the screen to
// paint.
struct X11Target {
  Window window = None;
  Display* display = nullptr;
  Visual* visual = nullptr;
  int depth = 0;
  GdkRectangle size{};
};

// What GDK tells of the X window last painted or realized that stays the same while it lives, asked once
// rather than at every frame (each question is a type-checked call into GDK). A window realized anew,
// even at the same address, is learnt again at its realize.
struct KnownX11Window {
  GdkWindow* gdk_window = nullptr;
  X11Target target;  // but its size, which is asked each time
};

KnownX11Window known_x11_window;

void learn_x11_window(GdkWindow* gdk_window) {
  GdkVisual* gdk_visual = gdk_window_get_visual(gdk_window);
  X11Target& target = known_x11_window.target;
  target.display = GDK_WINDOW_XDISPLAY(gdk_window);
  target.visual = gdk_x11_visual_get_xvisual(gdk_visual);
  target.depth = gdk_visual_get_depth(gdk_visual);
  target.window = GDK_WINDOW_XID(gdk_window);
  known_x11_window.gdk_window = gdk_window;
}

// The window's X11 window where it is on the screen, else null.
GdkWindow* viewable_x11_window(const PlatformWindow* window) {
  if (gtk_on_wayland() || window->widget == nullptr) return nullptr;
  GdkWindow* gdk_window = gtk_widget_get_window(window->widget);
  if (gdk_window == nullptr || (gdk_window != known_x11_window.gdk_window && !GDK_IS_X11_WINDOW(gdk_window)))
    return nullptr;
  return gdk_window_is_viewable(gdk_window) ? gdk_window : nullptr;
}

X11Target paintable_window(const PlatformWindow* window) {
  GdkWindow* gdk_window = viewable_x11_window(window);
  if (gdk_window == nullptr) return X11Target{};
  if (gdk_window != known_x11_window.gdk_window) learn_x11_window(gdk_window);
  X11Target target = known_x11_window.target;
  target.size = GdkRectangle{0, 0, gdk_window_get_width(gdk_window), gdk_window_get_height(gdk_window)};
  return target;
}

// The shape runs as X rectangles, into *rectangles.
void rectangles_of_runs(const std::vector<cairo_rectangle_int_t>& runs, std::vector<XRectangle>* rectangles) {
  rectangles->clear();
  for (const cairo_rectangle_int_t& run : runs)
    rectangles->push_back(XRectangle{static_cast<short>(run.x), static_cast<short>(run.y),
                                     static_cast<unsigned short>(run.width), 1});
}

// The shape on the window's X11 window, as sent last, moved to the picture's origin (one small request).
void move_shape(PlatformWindow* window, Display* display, Window target, int32_t origin_x, int32_t origin_y) {
  if (origin_x == window->shape_x && origin_y == window->shape_y) return;
  XShapeOffsetShape(display, target, window->composited ? ShapeInput : ShapeBounding, origin_x - window->shape_x,
                    origin_y - window->shape_y);
  window->shape_x = origin_x;
  window->shape_y = origin_y;
}

// The rectangles put on the window's X11 window as its shape at the picture's origin, with one request.
void put_shape(PlatformWindow* window, Display* display, Window target, int32_t origin_x, int32_t origin_y,
               const std::vector<XRectangle>& rectangles) {
  // GTK puts a shape it keeps back on the window as it sees fit (after a resize, for one), and would
  // take the clicks from a moving character with a stale one: it keeps none once shapes go direct.
  // This also clears the other kind of shape, which the window may have had before a compositor came.
  if (!window->shape_sent) {
    gtk_widget_shape_combine_region(window->widget, nullptr);
    gtk_widget_input_shape_combine_region(window->widget, nullptr);
  }
  XShapeCombineRectangles(display, target, window->composited ? ShapeInput : ShapeBounding, origin_x, origin_y,
                          const_cast<XRectangle*>(rectangles.data()), static_cast<int>(rectangles.size()), ShapeSet,
                          YXBanded);
  window->shape_sent = true;
  window->shape_x = origin_x;
  window->shape_y = origin_y;
}

// The shape put on the realized X11 window with one request, without GTK's and GDK's copies of it,
// where the alpha of rows top to bottom changed since the shape sent last (all rows when none was),
// or the picture moved on the stage; false when there is no such window (GTK keeps the shape for the
// window it makes then).
bool send_x11_shape(PlatformWindow* window, uint8_t threshold, int32_t top, int32_t bottom) {
  if (gtk_on_wayland() || window->widget == nullptr || window->shown_width > 32767 ||
      window->shown_height > 32767)
    return false;
  GdkWindow* gdk_window = gtk_widget_get_window(window->widget);
  if (gdk_window == nullptr || !GDK_IS_X11_WINDOW(gdk_window)) return false;
  if (!window->shape_sent) {
    window->shape_runs.clear();
    top = 0;
    bottom = window->shown_height;
  }
  int32_t origin_x = 0, origin_y = 0;
  gtk_x11_picture_origin(window, &origin_x, &origin_y);
  const bool runs_changed =
      gtk_alpha_runs_of_rows(window->shown_pixels, window->shown_width, window->shown_height,
                             static_cast<size_t>(window->shown_width) * 4, threshold, top, bottom, &window->shape_runs);
  Display* display = GDK_WINDOW_XDISPLAY(gdk_window);
  const Window target = GDK_WINDOW_XID(gdk_window);
  if (runs_changed || !window->shape_sent) {
    unname_shape(window);
    // Kept between calls (one thread), so that a new shape allocates nothing once they have grown.
    static std::vector<XRectangle> rectangles;
    rectangles_of_runs(window->shape_runs, &rectangles);
    put_shape(window, display, target, origin_x, origin_y, rectangles);
  } else {
    move_shape(window, display, target, origin_x, origin_y);
  }
  return true;
}

// The XImage of width x height pixels at depth described over pixels (in the shared segment when one is
// given), on the stack: nothing is allocated or copied.
bool describe_picture(XImage* image, uint8_t* pixels, int32_t width, int32_t height, int depth, const Visual* visual,
                      XShmSegmentInfo* segment) {
  *image = XImage{};
  image->width = width;
  image->height = height;
  image->format = ZPixmap;
  image->data = reinterpret_cast<char*>(pixels);
  image->obdata = reinterpret_cast<char*>(segment);
  image->byte_order = LSBFirst;
  image->bitmap_unit = 32;
  image->bitmap_bit_order = LSBFirst;
  image->bitmap_pad = 32;
  image->depth = depth;
  image->bytes_per_line = width * 4;
  image->bits_per_pixel = 32;
  image->red_mask = visual->red_mask;
  image->green_mask = visual->green_mask;
  image->blue_mask = visual->blue_mask;
  return XInitImage(image) != 0;
}

// The shape of the kept picture shown moved with the picture on the stage; false when there is no such
// X11 window.
bool move_kept_shape(PlatformWindow* window) {
  GdkWindow* gdk_window =
      gtk_on_wayland() || window->widget == nullptr ? nullptr : gtk_widget_get_window(window->widget);
  if (gdk_window == nullptr || !GDK_IS_X11_WINDOW(gdk_window)) return false;
  int32_t origin_x = 0, origin_y = 0;
  gtk_x11_picture_origin(window, &origin_x, &origin_y);
  move_shape(window, GDK_WINDOW_XDISPLAY(gdk_window), GDK_WINDOW_XID(gdk_window), origin_x, origin_y);
  return true;
}

}  // namespace

void gtk_choose_visual(PlatformWindow* window) {
  GdkScreen* screen = gtk_widget_get_screen(window->widget);
  GdkVisual* rgba = gdk_screen_get_rgba_visual(screen);
  window->composited = rgba != nullptr && gdk_screen_is_composited(screen);
  gtk_widget_set_visual(window->widget, window->composited ? rgba : gdk_screen_get_system_visual(screen));
}

// With a compositor every pixel with some alpha takes the mouse and the rest is click-through; without
// one the window is cut to the pixels that are more opaque than not, which also limits its input.
void gtk_apply_shape(PlatformWindow* window) { gtk_apply_shape_rows(window, 0, window->shown_height); }

void gtk_apply_shape_rows(PlatformWindow* window, int32_t top, int32_t bottom) {
  if (!is_layered(window) || window->widget == nullptr) return;
  if (window->showing_kept >= 0 && top >= bottom && window->shape_sent && move_kept_shape(window)) return;
  // Rows are read only from the pixels shown.
  if (top < bottom || !window->shape_sent) gtk_x11_take_back_shown(window);
  const uint8_t threshold = window->composited ? 0 : 127;
  if (send_x11_shape(window, threshold, top, bottom)) return;
  if (top >= bottom && window->shape != nullptr) return;  // no row changed; GTK's shape has no offset
  gtk_x11_take_back_shown(window);
  cairo_region_t* region =
      gtk_alpha_region(window->shown_pixels, window->shown_width, window->shown_height,
                       static_cast<size_t>(window->shown_width) * 4, threshold);
  if (gtk_wayland_is_layer(window)) {
    int32_t dx = 0, dy = 0;
    gtk_wayland_offset(&dx, &dy);
    cairo_region_translate(region, window->x - dx, window->y - dy);
  }
  if (window->shape != nullptr && cairo_region_equal(region, window->shape)) {
    cairo_region_destroy(region);
    return;
  }
  if (window->composited) {
    gtk_widget_shape_combine_region(window->widget, nullptr);
    gtk_widget_input_shape_combine_region(window->widget, region);
  } else {
    gtk_widget_input_shape_combine_region(window->widget, nullptr);
    gtk_widget_shape_combine_region(window->widget, region);
  }
  if (window->shape != nullptr) cairo_region_destroy(window->shape);
  window->shape = region;
}

void gtk_forget_shape(PlatformWindow* window) {
  if (window->shape != nullptr) cairo_region_destroy(window->shape);
  window->shape = nullptr;
  window->shape_sent = false;
  unname_shape(window);
}

namespace {

const char kPaintedHere[] = "velissa-painted-here";

// GTK answers every exposure, and every new size the window is given (gtk_window_configure_event queues
// a redraw of it all), with a turn of its drawing, which double-buffers the whole window through cairo.
// The character's picture is put straight in instead, where the window is of the picture's size.
void on_gdk_event(GdkEvent* event, gpointer) {
  if (event->type == GDK_EXPOSE && event->expose.window != nullptr) {
    gpointer widget = nullptr;
    gdk_window_get_user_data(event->expose.window, &widget);
    auto* window =
        widget != nullptr ? static_cast<PlatformWindow*>(g_object_get_data(G_OBJECT(widget), kPaintedHere)) : nullptr;
    const bool staged = window != nullptr && window->stage.rect.width > 0;
    if (window != nullptr && window->widget == widget &&
        gdk_window_get_width(event->expose.window) == (staged ? window->stage.rect.width : window->shown_width) &&
        gdk_window_get_height(event->expose.window) == (staged ? window->stage.rect.height : window->shown_height) &&
        gtk_x11_paint(window, GdkRectangle{0, 0, window->shown_width, window->shown_height})) {
      window->awaiting_exposure = false;
      return;
    }
    if (window != nullptr) window->holds_picture = false;  // GTK paints it
  }
  gtk_main_do_event(event);
}

}  // namespace

void gtk_x11_paint_on_expose(PlatformWindow* window) {
  GdkWindow* gdk_window = window->widget != nullptr ? gtk_widget_get_window(window->widget) : nullptr;
  if (gtk_on_wayland() || gdk_window == nullptr || !GDK_IS_X11_WINDOW(gdk_window)) return;
  learn_x11_window(gdk_window);
  static bool handler_set = false;
  if (!handler_set) gdk_event_handler_set(on_gdk_event, nullptr, nullptr);
  handler_set = true;
  g_object_set_data(G_OBJECT(window->widget), kPaintedHere, window);
}

// Where the server runs on this machine it reads the shown pixels from memory shared with it: a put is
// then one small request, where XPutImage sends every pixel through the socket (and waits on it once a
// put outgrows the socket's buffer), and the picture is copied once, by gtk_take_picture. There is no
// wait for the server to have read a put before the next picture is taken: the memory always holds the
// latest picture, and every pixel that changed is put after it was written, so the window ends with the
// latest picture whichever of them the server read.
struct GtkSharedPicture {
  XShmSegmentInfo segment;
  size_t bytes;
  Display* display;
};

namespace {

bool shared_memory_unusable = false;  // no such extension, or the server cannot attach ours (remote)

void drop_shared_picture(PlatformWindow* window) {
  GtkSharedPicture* shared = window->shared_picture;
  if (shared == nullptr) return;
  // The server lets go of its mapping after the puts before; the segment is marked for removal
  // already, so it goes then.
  XShmDetach(shared->display, &shared->segment);
  XFlush(shared->display);
  shmdt(shared->segment.shmaddr);
  delete shared;
  window->shared_picture = nullptr;
}

// A segment of at least bytes attached by the server, or null where there can be none.
GtkSharedPicture* attach_shared_picture(size_t bytes) {
  GdkDisplay* gdk_display = gdk_display_get_default();
  if (gdk_display == nullptr || !GDK_IS_X11_DISPLAY(gdk_display)) return nullptr;
  Display* display = gdk_x11_display_get_xdisplay(gdk_display);
  if (!XShmQueryExtension(display)) {
    shared_memory_unusable = true;
    return nullptr;
  }
  // Room to grow by half, so that a character that grows a little each frame does not take a new
  // segment each frame; pages never written cost nothing.
  const size_t size = bytes + bytes / 2 + 4;
  const int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
  void* address = id >= 0 ? shmat(id, nullptr, 0) : reinterpret_cast<void*>(-1);
  if (address == reinterpret_cast<void*>(-1)) {
    if (id >= 0) shmctl(id, IPC_RMID, nullptr);
    shared_memory_unusable = true;
    return nullptr;
  }
  XShmSegmentInfo segment{};
  segment.shmid = id;
  segment.shmaddr = static_cast<char*>(address);
  segment.readOnly = True;
  gdk_x11_display_error_trap_push(gdk_display);
  const Bool sent = XShmAttach(display, &segment);
  XSync(display, False);
  const bool attached = gdk_x11_display_error_trap_pop(gdk_display) == 0 && sent;
  // Removed as soon as both sides have let go of it, even if this program is killed.
  shmctl(id, IPC_RMID, nullptr);
  if (!attached) {
    shmdt(address);
    shared_memory_unusable = true;
    return nullptr;
  }
  return new GtkSharedPicture{segment, size, display};
}

}  // namespace

uint8_t* gtk_picture_room(PlatformWindow* window, size_t bytes, bool* kept) {
  *kept = true;
  if (window->shared_picture != nullptr && window->shared_picture->bytes >= bytes)
    return reinterpret_cast<uint8_t*>(window->shared_picture->segment.shmaddr);
  if (is_layered(window) && !gtk_on_wayland() && !shared_memory_unusable) {
    GtkSharedPicture* shared = attach_shared_picture(bytes);
    if (shared != nullptr) {
      drop_shared_picture(window);
      std::vector<uint8_t>().swap(window->own_pixels);
      window->shared_picture = shared;
      *kept = false;
      return reinterpret_cast<uint8_t*>(shared->segment.shmaddr);
    }
  }
  if (window->shared_picture != nullptr) {
    drop_shared_picture(window);
    *kept = false;
  }
  try {
    window->own_pixels.resize(std::max<size_t>(bytes, 4));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return window->own_pixels.data();
}

void gtk_release_picture(PlatformWindow* window) {
  gtk_x11_leave_kept(window);
  drop_shared_picture(window);
  std::vector<uint8_t>().swap(window->own_pixels);
  window->shown_pixels = nullptr;
}

namespace {

// XRender's format of the kept pictures' pixmaps; null where the server has no XRender.
const XRenderPictFormat* kept_format(Display* display) {
  static Display* asked = nullptr;
  static const XRenderPictFormat* format = nullptr;
  if (asked != display) {
    int event_base = 0, error_base = 0;
    format = XRenderQueryExtension(display, &event_base, &error_base)
                 ? XRenderFindStandardFormat(display, PictStandardARGB32)
                 : nullptr;
    asked = display;
  }
  return format;
}

// The shape as a region kept on the server, so that showing the picture again sets it with one small
// request rather than sending every rectangle; None where the server has no XFixes 2 (input shapes).
XserverRegion kept_region(Display* display, const std::vector<XRectangle>& shape) {
  static Display* asked = nullptr;
  static bool usable = false;
  if (asked != display) {
    int event_base = 0, error_base = 0, major = 0, minor = 0;
    usable = XFixesQueryExtension(display, &event_base, &error_base) && XFixesQueryVersion(display, &major, &minor) &&
             major >= 2;
    asked = display;
  }
  return usable ? XFixesCreateRegion(display, const_cast<XRectangle*>(shape.data()), static_cast<int>(shape.size()))
                : None;
}

void free_fade_pixmap(GtkKeptPictures* kept, Display* display) {
  if (kept->fade_source != None) XRenderFreePicture(display, kept->fade_source);
  if (kept->fade_pixmap != None) XFreePixmap(display, kept->fade_pixmap);
  kept->fade_source = None;
  kept->fade_pixmap = None;
}

void free_fade_target(GtkKeptPictures* kept, Display* display) {
  if (kept->fade_target != None) XRenderFreePicture(display, kept->fade_target);
  free_fade_pixmap(kept, display);
  kept->fade_target = None;
  kept->fade_width = kept->fade_height = 0;
  kept->faded_into = None;
}

// XRender's picture of a pixmap of at least width x height at depth 32 that a picture not kept is put
// into for its fade; None where the server has no XRender.
Picture fade_source_of(GtkKeptPictures* kept, Display* display, Window target, int32_t width, int32_t height) {
  const XRenderPictFormat* format = kept_format(display);
  if (format == nullptr) return None;
  if (kept->fade_width < width || kept->fade_height < height) {
    free_fade_pixmap(kept, display);
    kept->fade_width = std::max(kept->fade_width, width);
    kept->fade_height = std::max(kept->fade_height, height);
    kept->fade_pixmap = XCreatePixmap(display, target, kept->fade_width, kept->fade_height, 32);
    kept->fade_source = XRenderCreatePicture(display, kept->fade_pixmap, format, 0, nullptr);
  }
  return kept->fade_source;
}

// What a fade by the server draws into: XRender's picture of the X window, made once for it; None
// where the server cannot fade the picture shown (a kept one without its own XRender picture, or one
// not kept that is not in shared memory).
Picture fade_target_of(PlatformWindow* window, Display* display, Window target, Visual* visual, int depth,
                       bool shared) {
  if (window->showing_kept < 0 && (!shared || depth != 32 || kept_format(display) == nullptr)) return None;
  if (window->kept_pictures == nullptr) window->kept_pictures = new GtkKeptPictures;
  GtkKeptPictures* kept = window->kept_pictures;
  if (window->showing_kept >= 0 && kept->pictures[window->showing_kept].source == None) return None;
  if (kept->faded_into != target) {
    free_fade_target(kept, display);
    const XRenderPictFormat* format = XRenderFindVisualFormat(display, visual);
    if (format == nullptr) return None;
    kept->fade_target = XRenderCreatePicture(display, target, format, 0, nullptr);
    kept->faded_into = target;
  }
  return kept->fade_target;
}

// gtk_x11_paint into the X window found.
bool paint_picture(PlatformWindow* window, const X11Target& x11, const GdkRectangle& changed) {
  const Window target = x11.window;
  Display* display = x11.display;
  Visual* visual = x11.visual;
  const int depth = x11.depth;
  const GdkRectangle whole = x11.size;
  if (target == None) return false;
  if (window->paint_gc != nullptr && window->paint_gc_depth != depth) gtk_x11_forget_paint(window);
  const bool faded = window->composited && window->opacity != 255;
  const bool shared = window->shared_picture != nullptr && window->shared_picture->display == display;
  // The server fades a kept picture, and one in shared memory; any other fade reads the pixels.
  const Picture fade_target = faded ? fade_target_of(window, display, target, visual, depth, shared) : None;
  if (faded && fade_target == None) gtk_x11_take_back_shown(window);
  if (window->shown_pixels == nullptr || window->shown_width <= 0 || window->shown_height <= 0 ||
      (depth != 32 && depth != 24))
    return false;
  // The pixels are cairo's ARGB32, which is what both visuals take in 32-bit units (24 ignores alpha).
  if (visual->red_mask != 0xFF0000 || visual->green_mask != 0xFF00 || visual->blue_mask != 0xFF) return false;
  const GdkRectangle place = picture_place_now(window);
  const bool moved = !gdk_rectangle_equal(&place, &window->picture_place);
  GdkRectangle part{0, 0, window->shown_width, window->shown_height};
  // A fade changes every pixel of every frame, and a picture that moved on the stage all of its own:
  // they are put whole.
  if (window->holds_picture && !faded && !moved) part = changed;
  const size_t bytes = static_cast<size_t>(window->shown_width) * window->shown_height * 4;
  uint8_t* pixels = window->shown_pixels;
  if (faded && fade_target == None) {
    // Grows once to the largest picture of a fade; kept for the next. Fades are short: where the
    // server cannot fade, they go through the socket, leaving the shared pixels the shown ones.
    if (window->faded_pixels.size() < bytes) window->faded_pixels.resize(bytes);
    gtk_fade_pixels(window->shown_pixels, bytes, window->opacity, window->faded_pixels.data());
    pixels = window->faded_pixels.data();
  }
  if (window->paint_gc == nullptr) {
    // Copies from kept pictures are never of parts hidden: they need no exposure events.
    XGCValues values{};
    values.graphics_exposures = False;
    window->paint_gc = XCreateGC(display, target, GCGraphicsExposures, &values);
    window->paint_gc_depth = depth;
  }
  const GtkKeptPicture* kept =
      window->showing_kept >= 0 ? &window->kept_pictures->pictures[window->showing_kept] : nullptr;
  const bool sent_shared = shared && (!faded || fade_target != None);
  XImage image;
  if (kept == nullptr && !describe_picture(&image, pixels, window->shown_width, window->shown_height, depth, visual,
                                           sent_shared ? &window->shared_picture->segment : nullptr))
    return false;
  // The pixmap for the fade of a picture not kept may not be had (the server's memory): the fade then
  // shows nothing rather than ending the program.
  GdkDisplay* trapped = fade_target != None && kept == nullptr ? gdk_display_get_default() : nullptr;
  if (trapped != nullptr) gdk_x11_display_error_trap_push(trapped);
  const Picture fade_source =
      fade_target == None ? None
      : kept != nullptr   ? kept->source
                          : fade_source_of(window->kept_pictures, display, target, window->shown_width,
                                           window->shown_height);
  if (!window->holds_picture || moved) {
    // What the picture left is cleared to nothing (pixel 0, the graphics context's colour): where it
    // was, or all of the stage around it when the window held no known picture.
    cairo_rectangle_int_t left[4];
    const int count = gtk_rectangle_less(window->holds_picture ? window->picture_place : whole, place, left);
    XRectangle cleared[4];
    for (int i = 0; i < count; ++i)
      cleared[i] = XRectangle{static_cast<short>(left[i].x), static_cast<short>(left[i].y),
                              static_cast<unsigned short>(left[i].width), static_cast<unsigned short>(left[i].height)};
    if (count > 0) XFillRectangles(display, target, window->paint_gc, cleared, count);
  }
  if (part.width > 0 && part.height > 0) {
    if (fade_source != None) {
      // Like the window, the pixmap gets whichever picture the shared memory holds when the server reads it.
      if (kept == nullptr)
        XShmPutImage(display, window->kept_pictures->fade_pixmap, window->paint_gc, &image, part.x, part.y, part.x,
                     part.y, part.width, part.height, False);
      // Each channel times the opacity, rounded as gtk_fade_pixels rounds it.
      const XRenderColor opacity{0, 0, 0, static_cast<unsigned short>(window->opacity * 257)};
      const Picture mask = XRenderCreateSolidFill(display, &opacity);
      XRenderComposite(display, PictOpSrc, fade_source, mask, fade_target, part.x, part.y, 0, 0, place.x + part.x,
                       place.y + part.y, part.width, part.height);
      XRenderFreePicture(display, mask);
    } else if (kept != nullptr) {
      XCopyArea(display, kept->pixmap, target, window->paint_gc, part.x, part.y, part.width, part.height,
                place.x + part.x, place.y + part.y);
    }
    else if (sent_shared)
      XShmPutImage(display, target, window->paint_gc, &image, part.x, part.y, place.x + part.x, place.y + part.y,
                   part.width, part.height, False);
    else
      XPutImage(display, target, window->paint_gc, &image, part.x, part.y, place.x + part.x, place.y + part.y,
                part.width, part.height);
  }
  if (trapped != nullptr) gdk_x11_display_error_trap_pop_ignored(trapped);
  // No flush: the loop flushes as it turns (GDK asks X for events first), with whatever follows.
  // A kept picture is always put whole, faded or not.
  window->holds_picture = !faded || kept != nullptr;
  window->picture_place = place;
  return true;
}

}  // namespace

bool gtk_x11_paint(PlatformWindow* window, const GdkRectangle& changed) {
  return paint_picture(window, paintable_window(window), changed);
}

bool gtk_x11_move_later(PlatformWindow* window) {
  if (!is_layered(window) || viewable_x11_window(window) == nullptr) return false;
  window->move_pending = true;
  return true;
}

bool gtk_x11_place(PlatformWindow* window) {
  if (gtk_on_wayland() || !is_layered(window) || window->widget == nullptr) return false;
  GdkWindow* gdk_window = gtk_widget_get_window(window->widget);
  if (gdk_window == nullptr || !GDK_IS_X11_WINDOW(gdk_window)) return false;
  const cairo_rectangle_int_t before = window->stage.rect;
  const cairo_rectangle_int_t wanted{window->x, window->y, std::max(window->width, 1), std::max(window->height, 1)};
  const cairo_rectangle_int_t stage = gtk_stage_place(&window->stage, wanted, g_get_monotonic_time());
  if (gdk_window_get_width(gdk_window) != stage.width || gdk_window_get_height(gdk_window) != stage.height) {
    gdk_window_move_resize(gdk_window, stage.x, stage.y, stage.width, stage.height);
    window->awaiting_exposure = gdk_window_is_viewable(gdk_window);
    window->holds_picture = false;
  } else if (before.width <= 0 || before.x != stage.x || before.y != stage.y) {
    gdk_window_move(gdk_window, stage.x, stage.y);
  }
  window->move_pending = false;
  return true;
}

void gtk_x11_forget_stage(PlatformWindow* window) { window->stage = GtkStage{}; }

void gtk_x11_picture_origin(const PlatformWindow* window, int32_t* left, int32_t* top) {
  const bool staged = window->stage.rect.width > 0;
  *left = staged ? window->x - window->stage.rect.x : 0;
  *top = staged ? window->y - window->stage.rect.y : 0;
}

bool gtk_x11_carry(PlatformWindow* window) {
  const GtkStage& stage = window->stage;
  GdkWindow* gdk_window = window->widget != nullptr ? gtk_widget_get_window(window->widget) : nullptr;
  if (stage.rect.width > 0 && stage.frame.width == std::max(window->width, 1) &&
      stage.frame.height == std::max(window->height, 1) && gdk_window != nullptr && GDK_IS_X11_WINDOW(gdk_window)) {
    const cairo_rectangle_int_t carried = gtk_stage_carry(&window->stage, window->x, window->y);
    gdk_window_move(gdk_window, carried.x, carried.y);
    window->move_pending = false;
    return true;
  }
  if (!gtk_x11_place(window)) return false;
  const GdkRectangle place = picture_place_now(window);
  if (window->holds_picture && !window->awaiting_exposure && !gdk_rectangle_equal(&place, &window->picture_place)) {
    gtk_apply_shape_rows(window, 0, 0);
    gtk_x11_paint(window, GdkRectangle{0, 0, 0, 0});
  }
  return true;
}

void gtk_x11_forget_paint(PlatformWindow* window) {
  gtk_x11_forget_kept_pictures(window);  // made for the window's depth, which may change with it
  if (window->paint_gc != nullptr) XFreeGC(gdk_x11_get_default_xdisplay(), window->paint_gc);
  window->paint_gc = nullptr;
  window->paint_gc_depth = 0;
  window->holds_picture = false;
}

namespace {

// What the kept pictures of a window may take of the X server's memory: the samples many times over,
// half of what the program caches of a large animation.
constexpr size_t kKeptPicturesBudget = size_t{32} << 20;

size_t picture_bytes(const GtkKeptPicture& kept) { return static_cast<size_t>(kept.width) * kept.height * 4; }

void free_kept_picture(const GtkKeptPicture& kept, Display* display) {
  if (kept.source != None) XRenderFreePicture(display, kept.source);
  if (kept.region != None) XFixesDestroyRegion(display, kept.region);
  XFreePixmap(display, kept.pixmap);
}

bool same_shape(const std::vector<XRectangle>& a, const std::vector<XRectangle>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const XRectangle& p, const XRectangle& q) {
    return p.x == q.x && p.y == q.y && p.width == q.width && p.height == q.height;
  });
}

// Room for bytes more within the bound, made by freeing the pictures not shown for the longest time
// (one the program no longer shows under its number, say). Not those shown within the last two rounds
// of the kept pictures: an animation larger than the bound keeps those it kept first, where plain LRU
// would free each just before it is shown again.
bool make_kept_room(GtkKeptPictures* kept, Display* display, size_t bytes) {
  std::vector<GtkKeptPicture>& pictures = kept->pictures;
  while (!pictures.empty() && kept->bytes + bytes > kKeptPicturesBudget) {
    const auto oldest = std::min_element(pictures.begin(), pictures.end(),
                                         [](const GtkKeptPicture& a, const GtkKeptPicture& b) {
                                           return a.last_shown < b.last_shown;
                                         });
    if (kept->shows - oldest->last_shown < 2 * pictures.size()) return false;
    free_kept_picture(*oldest, display);
    kept->bytes -= picture_bytes(*oldest);
    *oldest = std::move(pictures.back());
    pictures.pop_back();
  }
  return kept->bytes + bytes <= kKeptPicturesBudget;
}

// The index of the picture kept under number, or -1. Frames are shown in the order they were kept,
// so the search starts after the one shown last.
int32_t find_kept(const PlatformWindow* window, uint64_t number) {
  if (window->kept_pictures == nullptr) return -1;
  const std::vector<GtkKeptPicture>& pictures = window->kept_pictures->pictures;
  const auto count = static_cast<int32_t>(pictures.size());
  const int32_t start = window->showing_kept >= 0 ? window->showing_kept + 1 : 0;
  for (int32_t step = 0; step < count; ++step) {
    const int32_t at = (start + step) % count;
    if (pictures[at].number == number) return at;
  }
  return -1;
}

}  // namespace

bool gtk_x11_keep_picture(PlatformWindow* window, uint64_t number) {
  const X11Target x11 = paintable_window(window);
  const Window target = x11.window;
  Display* display = x11.display;
  const int depth = x11.depth;
  const size_t bytes = static_cast<size_t>(window->shown_width) * window->shown_height * 4;
  // Kept with a compositor only: a picture shown later is read back from the server for GTK's drawing
  // or a new shape, and only at depth 32 does the server keep its alpha.
  if (target == None || depth != 32 || !window->composited || window->showing_kept >= 0 || !window->shape_sent ||
      window->shared_picture == nullptr || window->shared_picture->display != display || window->paint_gc == nullptr ||
      window->shown_width > 32767 || window->shown_height > 32767 || bytes == 0)
    return false;
  const int32_t known = find_kept(window, number);
  if (known >= 0) return window->kept_pictures->pictures[known].source != None;
  if (window->kept_pictures == nullptr) window->kept_pictures = new GtkKeptPictures;
  GtkKeptPictures* kept = window->kept_pictures;
  XImage image;
  if (!make_kept_room(kept, display, bytes) ||
      !describe_picture(&image, window->shown_pixels, window->shown_width, window->shown_height, depth, x11.visual,
                        &window->shared_picture->segment))
    return false;
  GdkDisplay* gdk_display = gdk_display_get_default();
  gdk_x11_display_error_trap_push(gdk_display);
  const Pixmap pixmap = XCreatePixmap(display, target, window->shown_width, window->shown_height, 32);
  XShmPutImage(display, pixmap, window->paint_gc, &image, 0, 0, 0, 0, window->shown_width, window->shown_height, False);
  const XRenderPictFormat* format = kept_format(display);
  const Picture source = format != nullptr ? XRenderCreatePicture(display, pixmap, format, 0, nullptr) : None;
  GtkKeptPicture picture{number, pixmap, source, window->shown_width, window->shown_height, {}, None, number,
                         ++kept->shows};
  picture.shape.reserve(window->shape_runs.size());  // kept for long: no room to grow
  rectangles_of_runs(window->shape_runs, &picture.shape);
  picture.region = kept_region(display, picture.shape);
  // The next picture is written into the same memory: the server must have read this one.
  XSync(display, False);
  if (gdk_x11_display_error_trap_pop(gdk_display) != 0) {
    gdk_x11_display_error_trap_push(gdk_display);
    free_kept_picture(picture, display);
    gdk_x11_display_error_trap_pop_ignored(gdk_display);
    return false;
  }
  // Where the shape is that of a picture kept before, showing one after the other sends no shape.
  if (kept->shape_on_window != 0) {
    picture.shape_name = kept->shape_on_window;
  } else if (!kept->pictures.empty() && same_shape(kept->pictures.back().shape, picture.shape)) {
    picture.shape_name = kept->pictures.back().shape_name;
  }
  kept->shape_on_window = picture.shape_name;
  kept->pictures.push_back(std::move(picture));
  kept->bytes += bytes;
  return source != None;
}

bool gtk_x11_show_kept_picture(PlatformWindow* window, uint64_t number, int32_t width, int32_t height,
                               uint8_t opacity) {
  const int32_t at = find_kept(window, number);
  if (at < 0 || (opacity != 255 && window->kept_pictures->pictures[at].source == None)) return false;
  GtkKeptPictures* kept = window->kept_pictures;
  GtkKeptPicture& picture = kept->pictures[at];
  const X11Target x11 = paintable_window(window);
  const Window target = x11.window;
  Display* display = x11.display;
  // What a plain update does besides the put (a window awaiting GTK's placement or an exposure) is left
  // to it. A window that holds no picture needs none of it: a kept picture is put whole.
  if (target == None || x11.depth != 32 || !window->composited || picture.width != width || picture.height != height ||
      window->awaiting_exposure || window->placement_pending || !window->shape_sent ||
      window->paint_gc == nullptr || window->paint_gc_depth != x11.depth)
    return false;
  window->showing_kept = at;
  picture.last_shown = ++kept->shows;
  window->shown_width = window->width = width;
  window->shown_height = window->height = height;
  window->opacity = opacity;
  gtk_x11_place(window);
  int32_t origin_x = 0, origin_y = 0;
  gtk_x11_picture_origin(window, &origin_x, &origin_y);
  if (picture.shape_name == kept->shape_on_window) {
    move_shape(window, display, target, origin_x, origin_y);
  } else {
    if (picture.region != None) {
      XFixesSetWindowShapeRegion(display, target, ShapeInput, origin_x, origin_y, picture.region);
      window->shape_x = origin_x;
      window->shape_y = origin_y;
    } else {
      put_shape(window, display, target, origin_x, origin_y, picture.shape);
    }
    kept->shape_on_window = picture.shape_name;
  }
  // A stage that grew awaits its exposure, which puts the picture from the server; one that only
  // moved kept the size found above.
  if (!window->awaiting_exposure) paint_picture(window, x11, GdkRectangle{0, 0, width, height});
  return true;
}

void gtk_x11_leave_kept(PlatformWindow* window) {
  if (window->showing_kept < 0) return;
  // The shape on the window is the kept picture's: its runs are again what the next picture is
  // compared with.
  window->shape_runs.clear();
  for (const XRectangle& rectangle : window->kept_pictures->pictures[window->showing_kept].shape)
    window->shape_runs.push_back(cairo_rectangle_int_t{rectangle.x, rectangle.y, rectangle.width, rectangle.height});
  window->showing_kept = -1;
}

void gtk_x11_take_back_shown(PlatformWindow* window) {
  if (window->showing_kept < 0) return;
  const GtkKeptPicture& picture = window->kept_pictures->pictures[window->showing_kept];
  const Pixmap pixmap = picture.pixmap;
  const int32_t width = picture.width, height = picture.height;
  gtk_x11_leave_kept(window);
  bool unused = false;
  uint8_t* room = gtk_picture_room(window, static_cast<size_t>(width) * height * 4, &unused);
  Display* display = gdk_x11_get_default_xdisplay();
  GdkDisplay* gdk_display = gdk_display_get_default();
  gdk_x11_display_error_trap_push(gdk_display);
  XImage* image = room != nullptr ? XGetImage(display, pixmap, 0, 0, width, height, AllPlanes, ZPixmap) : nullptr;
  gdk_x11_display_error_trap_pop_ignored(gdk_display);
  const bool whole = image != nullptr && image->bits_per_pixel == 32 && image->width == width &&
                     image->height == height && image->bytes_per_line >= width * 4;
  if (whole) {
    const size_t row_bytes = static_cast<size_t>(width) * 4;
    for (int32_t row = 0; row < height; ++row)
      memcpy(room + row_bytes * row, image->data + static_cast<size_t>(image->bytes_per_line) * row, row_bytes);
  }
  if (image != nullptr) XDestroyImage(image);
  // Without them the window shows nothing known, rather than another picture's pixels.
  window->shown_pixels = whole ? room : nullptr;
  window->shown_width = whole ? width : 0;
  window->shown_height = whole ? height : 0;
  if (!whole) window->holds_picture = false;
}

void gtk_x11_forget_kept_pictures(PlatformWindow* window) {
  if (window->kept_pictures == nullptr) return;
  if (window->destroyed)
    window->showing_kept = -1;  // its pixels go too
  else
    gtk_x11_take_back_shown(window);
  Display* display = gdk_x11_get_default_xdisplay();
  GdkDisplay* gdk_display = gdk_display_get_default();
  gdk_x11_display_error_trap_push(gdk_display);  // the X window may be gone with its fade target
  free_fade_target(window->kept_pictures, display);
  for (const GtkKeptPicture& picture : window->kept_pictures->pictures) free_kept_picture(picture, display);
  gdk_x11_display_error_trap_pop_ignored(gdk_display);
  delete window->kept_pictures;
  window->kept_pictures = nullptr;
}
