// The character's window on X11: its visual, its shape from the picture's alpha, and its pictures put
// straight into its X window (XPutImage), outside GTK's drawing cycle, so that a frame costs one
// request and no backing store or compositing; its moves and sizes are set straight too. GTK paints it
// only when the window is not of the picture's size.
#include <gdk/gdkx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <algorithm>
#include <cstring>

#include "platform/gtk/gtk_backend.h"
#include "platform/gtk/gtk_pixels.h"
#include "platform/gtk/gtk_wayland.h"

namespace {

bool is_layered(const PlatformWindow* window) { return (window->ex_style & WS_EX_LAYERED) != 0; }

// The X window to paint and its visual, or None while there is nothing on the screen to paint.
Window paintable_window(PlatformWindow* window, Display** display, Visual** visual, int* depth) {
  if (gtk_on_wayland() || window->widget == nullptr) return None;
  GdkWindow* gdk_window = gtk_widget_get_window(window->widget);
  if (gdk_window == nullptr || !GDK_IS_X11_WINDOW(gdk_window) || !gdk_window_is_viewable(gdk_window))
    return None;
  GdkVisual* gdk_visual = gdk_window_get_visual(gdk_window);
  *display = GDK_WINDOW_XDISPLAY(gdk_window);
  *visual = gdk_x11_visual_get_xvisual(gdk_visual);
  *depth = gdk_visual_get_depth(gdk_visual);
  return GDK_WINDOW_XID(gdk_window);
}

// The shape put on the realized X11 window with one request, without GTK's and GDK's copies of it;
// false when there is no such window (GTK keeps the shape for the window it makes then).
bool send_x11_shape(PlatformWindow* window, uint8_t threshold) {
  if (gtk_on_wayland() || window->widget == nullptr || window->shown_width > 32767 ||
      window->shown_height > 32767)
    return false;
  GdkWindow* gdk_window = gtk_widget_get_window(window->widget);
  if (gdk_window == nullptr || !GDK_IS_X11_WINDOW(gdk_window)) return false;
  // Kept between calls (one thread), so that a new shape allocates nothing once they have grown.
  static std::vector<cairo_rectangle_int_t> runs;
  static std::vector<XRectangle> rectangles;
  gtk_alpha_runs(window->shown_pixels.data(), window->shown_width, window->shown_height,
                 static_cast<size_t>(window->shown_width) * 4, threshold, &runs);
  if (window->shape_sent && runs.size() == window->shape_runs.size() &&
      (runs.empty() || memcmp(runs.data(), window->shape_runs.data(), runs.size() * sizeof runs[0]) == 0))
    return true;
  rectangles.clear();
  for (const cairo_rectangle_int_t& run : runs)
    rectangles.push_back(XRectangle{static_cast<short>(run.x), static_cast<short>(run.y),
                                    static_cast<unsigned short>(run.width), 1});
  Display* display = GDK_WINDOW_XDISPLAY(gdk_window);
  const Window target = GDK_WINDOW_XID(gdk_window);
  // GTK puts a shape it keeps back on the window as it sees fit (after a resize, for one), and would
  // take the clicks from a moving character with a stale one: it keeps none once shapes go direct.
  // This also clears the other kind of shape, which the window may have had before a compositor came.
  if (!window->shape_sent) {
    gtk_widget_shape_combine_region(window->widget, nullptr);
    gtk_widget_input_shape_combine_region(window->widget, nullptr);
  }
  XShapeCombineRectangles(display, target, window->composited ? ShapeInput : ShapeBounding, 0, 0,
                          rectangles.data(), static_cast<int>(rectangles.size()), ShapeSet, YXBanded);
  window->shape_runs = runs;
  window->shape_sent = true;
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
void gtk_apply_shape(PlatformWindow* window) {
  if (!is_layered(window) || window->widget == nullptr) return;
  const uint8_t threshold = window->composited ? 0 : 127;
  if (send_x11_shape(window, threshold)) return;
  cairo_region_t* region =
      gtk_alpha_region(window->shown_pixels.data(), window->shown_width, window->shown_height,
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
    if (window != nullptr && window->widget == widget &&
        gdk_window_get_width(event->expose.window) == window->shown_width &&
        gdk_window_get_height(event->expose.window) == window->shown_height &&
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
  static bool handler_set = false;
  if (!handler_set) gdk_event_handler_set(on_gdk_event, nullptr, nullptr);
  handler_set = true;
  g_object_set_data(G_OBJECT(window->widget), kPaintedHere, window);
}

bool gtk_x11_paint(PlatformWindow* window, const GdkRectangle& changed) {
  Display* display = nullptr;
  Visual* visual = nullptr;
  int depth = 0;
  const Window target = paintable_window(window, &display, &visual, &depth);
  if (target == None || window->shown_pixels.empty() || (depth != 32 && depth != 24)) return false;
  // The pixels are cairo's ARGB32, which is what both visuals take in 32-bit units (24 ignores alpha).
  if (visual->red_mask != 0xFF0000 || visual->green_mask != 0xFF00 || visual->blue_mask != 0xFF) return false;
  const bool faded = window->composited && window->opacity != 255;
  GdkRectangle part{0, 0, window->shown_width, window->shown_height};
  // A fade changes every pixel of every frame: it is put whole.
  if (window->holds_picture && !faded && window->paint_gc_depth == depth) part = changed;
  uint8_t* pixels = window->shown_pixels.data();
  if (faded) {
    // Grows once to the largest picture of a fade; kept for the next.
    if (window->faded_pixels.size() < window->shown_pixels.size())
      window->faded_pixels.resize(window->shown_pixels.size());
    gtk_fade_pixels(window->shown_pixels.data(), window->shown_pixels.size(), window->opacity,
                    window->faded_pixels.data());
    pixels = window->faded_pixels.data();
  }
  if (window->paint_gc != nullptr && window->paint_gc_depth != depth) gtk_x11_forget_paint(window);
  if (window->paint_gc == nullptr) {
    window->paint_gc = XCreateGC(display, target, 0, nullptr);
    window->paint_gc_depth = depth;
  }
  // Described on the stack over the window's own pixels: nothing is allocated or copied here.
  XImage image{};
  image.width = window->shown_width;
  image.height = window->shown_height;
  image.format = ZPixmap;
  image.data = reinterpret_cast<char*>(pixels);
  image.byte_order = LSBFirst;
  image.bitmap_unit = 32;
  image.bitmap_bit_order = LSBFirst;
  image.bitmap_pad = 32;
  image.depth = depth;
  image.bytes_per_line = window->shown_width * 4;
  image.bits_per_pixel = 32;
  image.red_mask = visual->red_mask;
  image.green_mask = visual->green_mask;
  image.blue_mask = visual->blue_mask;
  if (!XInitImage(&image)) return false;
  if (part.width > 0 && part.height > 0)
    XPutImage(display, target, window->paint_gc, &image, part.x, part.y, part.x, part.y, part.width, part.height);
  XFlush(display);  // also what was asked of the window before
  window->holds_picture = !faded;
  return true;
}

bool gtk_x11_move_later(PlatformWindow* window) {
  Display* display = nullptr;
  Visual* visual = nullptr;
  int depth = 0;
  if (!is_layered(window) || paintable_window(window, &display, &visual, &depth) == None) return false;
  window->move_pending = true;
  return true;
}

bool gtk_x11_place(PlatformWindow* window) {
  if (gtk_on_wayland() || !is_layered(window) || window->widget == nullptr) return false;
  GdkWindow* gdk_window = gtk_widget_get_window(window->widget);
  if (gdk_window == nullptr || !GDK_IS_X11_WINDOW(gdk_window)) return false;
  const int width = std::max(window->width, 1), height = std::max(window->height, 1);
  if (gdk_window_get_width(gdk_window) != width || gdk_window_get_height(gdk_window) != height) {
    gdk_window_move_resize(gdk_window, window->x, window->y, width, height);
    window->awaiting_exposure = gdk_window_is_viewable(gdk_window);
    window->holds_picture = false;
  } else if (window->move_pending) {
    gdk_window_move(gdk_window, window->x, window->y);
  }
  window->move_pending = false;
  return true;
}

void gtk_x11_forget_paint(PlatformWindow* window) {
  if (window->paint_gc != nullptr) XFreeGC(gdk_x11_get_default_xdisplay(), window->paint_gc);
  window->paint_gc = nullptr;
  window->paint_gc_depth = 0;
  window->holds_picture = false;
}
