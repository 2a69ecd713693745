// For the desktop tests' helper programs: "ready" on standard output once their window is on the
// screen, so a test knows when to go on.
#pragma once

#include <gtk/gtk.h>

#include <cstdio>

inline void print_ready_when_mapped(GtkWidget* window) {
  g_signal_connect(window, "map-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer) -> gboolean {
                     printf("ready\n");
                     fflush(stdout);
                     return FALSE;
                   }),
                   nullptr);
}
