// A drag source for the desktop tests: a small window at (20, 20) that drags the files named on its
// command line as a text/uri-list, as a file manager does. It prints "ready" once it is on the screen
// and "accepted" when a drop target has agreed to take the files ("refused" when it no longer does), so a
// test knows when to let go.
// Usage: drag_source [--wayland] FILE... (X11 unless --wayland)
#include <gtk/gtk.h>

#include <cstdio>
#include <cstring>

#include "ready_on_map.h"

namespace {

char** files;

void on_drag_data_get(GtkWidget*, GdkDragContext*, GtkSelectionData* data, guint, guint, gpointer) {
  GPtrArray* uris = g_ptr_array_new_with_free_func(g_free);
  for (char** file = files; *file != nullptr; ++file)
    g_ptr_array_add(uris, g_filename_to_uri(*file, nullptr, nullptr));
  g_ptr_array_add(uris, nullptr);
  gtk_selection_data_set_uris(data, reinterpret_cast<gchar**>(uris->pdata));
  g_ptr_array_free(uris, TRUE);
}

void on_action_changed(GdkDragContext*, GdkDragAction action, gpointer) {
  printf(action != 0 ? "accepted\n" : "refused\n");
  fflush(stdout);
}

void on_drag_begin(GtkWidget*, GdkDragContext* context, gpointer) {
  g_signal_connect(context, "action-changed", G_CALLBACK(on_action_changed), nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  const bool wayland = argc > 1 && strcmp(argv[1], "--wayland") == 0;
  gdk_set_allowed_backends(wayland ? "wayland" : "x11");
  gtk_init(&argc, &argv);
  files = argv + (wayland ? 2 : 1);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
  gtk_window_move(GTK_WINDOW(window), 20, 20);
  gtk_window_set_default_size(GTK_WINDOW(window), 80, 80);
  gtk_container_add(GTK_CONTAINER(window), gtk_label_new("files"));
  static const GtkTargetEntry kUriList = {const_cast<gchar*>("text/uri-list"), 0, 0};
  gtk_drag_source_set(window, GDK_BUTTON1_MASK, &kUriList, 1, GDK_ACTION_COPY);
  g_signal_connect(window, "drag-data-get", G_CALLBACK(on_drag_data_get), nullptr);
  g_signal_connect(window, "drag-begin", G_CALLBACK(on_drag_begin), nullptr);
  print_ready_when_mapped(window);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
