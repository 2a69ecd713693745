/* A pointer for the Wayland desktop test: reads commands from standard input, one a line, and sends
 * them as a virtual pointer, printing "ok" after each has reached the compositor:
 *   move X Y       to the output point (X, Y) of an output of WIDTH x HEIGHT (given on the command line)
 *   press B | release B   button B (272 left, 273 right, as Linux input codes)
 * Usage: virtual_pointer WIDTH HEIGHT */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

static struct zwlr_virtual_pointer_manager_v1* manager;
static struct wl_seat* seat;

static void on_global(void* data, struct wl_registry* registry, uint32_t name, const char* interface,
                      uint32_t version) {
  (void)data;
  (void)version;
  if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
    manager = wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
  else if (strcmp(interface, wl_seat_interface.name) == 0 && seat == NULL)
    seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
}

static void on_global_remove(void* data, struct wl_registry* registry, uint32_t name) {
  (void)data;
  (void)registry;
  (void)name;
}

static uint32_t now_ms(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (uint32_t)(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const unsigned width = (unsigned)atoi(argv[1]), height = (unsigned)atoi(argv[2]);
  struct wl_display* display = wl_display_connect(NULL);
  if (display == NULL) return 1;
  static const struct wl_registry_listener listener = {on_global, on_global_remove};
  wl_registry_add_listener(wl_display_get_registry(display), &listener, NULL);
  wl_display_roundtrip(display);
  if (manager == NULL) return 1;
  struct zwlr_virtual_pointer_v1* pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
  char line[128];
  while (fgets(line, sizeof line, stdin) != NULL) {
    unsigned x, y, button;
    if (sscanf(line, "move %u %u", &x, &y) == 2)
      zwlr_virtual_pointer_v1_motion_absolute(pointer, now_ms(), x, y, width, height);
    else if (sscanf(line, "press %u", &button) == 1)
      zwlr_virtual_pointer_v1_button(pointer, now_ms(), button, WL_POINTER_BUTTON_STATE_PRESSED);
    else if (sscanf(line, "release %u", &button) == 1)
      zwlr_virtual_pointer_v1_button(pointer, now_ms(), button, WL_POINTER_BUTTON_STATE_RELEASED);
    else
      continue;
    zwlr_virtual_pointer_v1_frame(pointer);
    wl_display_roundtrip(display);
    printf("ok\n");
    fflush(stdout);
  }
  zwlr_virtual_pointer_v1_destroy(pointer);
  wl_display_roundtrip(display);
  wl_display_disconnect(display);
  return 0;
}
