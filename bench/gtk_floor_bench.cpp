// What any GTK 3 program pays to show a picture 20 times a second on X11, for desktop_cpu.py to set the
// program's rows against: a window of the RGBA visual, and each 50 ms one XCopyArea of a 150 x 180
// depth-32 pixmap into it from a GLib timeout. Nothing is decoded, shaped or moved.
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <X11/Xlib.h>

namespace {

constexpr int kWidth = 150, kHeight = 180;

struct Floor {
  GtkWidget* window = nullptr;
  GC gc = nullptr;
  Pixmap picture = None;
  int shown = 0;
};

gboolean show_picture(gpointer data) {
  Floor& floor = *static_cast<Floor*>(data);
  GdkWindow* gdk_window = gtk_widget_get_window(floor.window);
  if (gdk_window == nullptr || !GDK_IS_X11_WINDOW(gdk_window)) return G_SOURCE_CONTINUE;
  Display* display = GDK_WINDOW_XDISPLAY(gdk_window);
  const Window target = GDK_WINDOW_XID(gdk_window);
  if (floor.gc == nullptr) {
    // As the program's own: no GraphicsExpose or NoExpose event comes back to wake it for each copy.
    XGCValues values{};
    values.graphics_exposures = False;
    floor.gc = XCreateGC(display, target, GCGraphicsExposures, &values);
    floor.picture =
        XCreatePixmap(display, target, kWidth, kHeight, gdk_visual_get_depth(gdk_window_get_visual(gdk_window)));
  }
  // One pixel aside every other frame, so that the server has something to do each time.
  XCopyArea(display, floor.picture, target, floor.gc, 0, 0, kWidth, kHeight, floor.shown++ & 1, 0);
  return G_SOURCE_CONTINUE;
}

}  // namespace

int main(int argc, char** argv) {
  g_setenv("GDK_GL", "disable", FALSE);
  gtk_init(&argc, &argv);
  Floor floor;
  floor.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GdkVisual* rgba = gdk_screen_get_rgba_visual(gtk_widget_get_screen(floor.window));
  if (rgba != nullptr) gtk_widget_set_visual(floor.window, rgba);
  gtk_window_set_decorated(GTK_WINDOW(floor.window), FALSE);
  gtk_window_set_default_size(GTK_WINDOW(floor.window), kWidth + 1, kHeight);
  gtk_widget_set_app_paintable(floor.window, TRUE);
  g_signal_connect(floor.window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_show(floor.window);
  g_timeout_add(50, show_picture, &floor);
  gtk_main();
  return 0;
}
