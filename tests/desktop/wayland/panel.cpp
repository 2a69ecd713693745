// A panel for the Wayland desktop test: a layer surface along the bottom edge of the output, HEIGHT
// pixels high, that keeps that much of the output for itself (its exclusive zone). Prints "ready" once
// it is shown. Usage: panel HEIGHT
#include <gtk-layer-shell.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <initializer_list>

#include "../ready_on_map.h"

int main(int argc, char** argv) {
  gdk_set_allowed_backends("wayland");
  gtk_init(&argc, &argv);
  const int height = argc > 1 ? atoi(argv[1]) : 40;
  GtkWindow* window = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
  gtk_layer_init_for_window(window);
  gtk_layer_set_layer(window, GTK_LAYER_SHELL_LAYER_TOP);
  for (GtkLayerShellEdge edge : {GTK_LAYER_SHELL_EDGE_LEFT, GTK_LAYER_SHELL_EDGE_RIGHT, GTK_LAYER_SHELL_EDGE_BOTTOM})
    gtk_layer_set_anchor(window, edge, TRUE);
  gtk_layer_set_exclusive_zone(window, height);
  gtk_widget_set_size_request(GTK_WIDGET(window), 1, height);
  print_ready_when_mapped(GTK_WIDGET(window));
  gtk_widget_show_all(GTK_WIDGET(window));
  gtk_main();
  return 0;
}
