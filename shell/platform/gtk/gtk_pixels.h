// Pieces of the GTK backend that need no display: the window shape from a frame's alpha, text made
// fit for GTK, the program's icon drawn with cairo, and the client point of a mouse message.
#pragma once

#include <cairo.h>
#include <cstdint>
#include <string>

#include "shell/platform.h"

// The pixels of a B, G, R, A image (rows of stride bytes) whose alpha is above threshold, as one
// rectangle per run of such pixels in a row. Never null; empty for an empty or null image.
cairo_region_t* gtk_alpha_region(const uint8_t* pixels, int32_t width, int32_t height, size_t stride,
                                 uint8_t threshold);

// GTK takes UTF-8 only, while names from packages are usually Windows-1252 bytes: valid UTF-8 stays as
// it is, anything else is read as Windows-1252. Null gives "".
std::string gtk_text_from_program(const char* text);

// The program's icon (resource 101) drawn at size x size pixels, as a premultiplied ARGB32 surface.
// Null when size is not between 1 and 1024.
cairo_surface_t* gtk_draw_program_icon(int32_t size);

// The lparam of a mouse message: the pointer's root position less the window's position, each cut to a
// signed 16-bit word as Windows does.
LPARAM gtk_mouse_lparam(double root_x, double root_y, int32_t window_x, int32_t window_y);
