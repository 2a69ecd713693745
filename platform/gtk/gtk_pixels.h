// Pieces of the GTK backend that need no display: the window shape from a frame's alpha, what a new
// picture changed, text made fit for GTK, the program's icon drawn with cairo, the client point of a
// mouse message, a message box as Ctrl+C copies it, the double-click rule, where a program keeps data.
#pragma once

#include <cairo.h>
#include <cstdint>
#include <string>

#include "platform/platform.h"

// The pixels of a B, G, R, A image (rows of stride bytes) whose alpha is above threshold, as one
// rectangle per run of such pixels in a row. Never null; empty for an empty or null image.
#include <vector>

// The same runs as a list, into *runs (its room kept from call to call).
void gtk_alpha_runs(const uint8_t* pixels, int32_t width, int32_t height, size_t stride, uint8_t threshold,
                    std::vector<cairo_rectangle_int_t>* runs);
// *runs, the runs of a picture of the same width before, made those of this one, where only rows top to
// bottom (bottom excluded) may differ: only they are read (with the last row, every run below it goes).
// True when the runs changed.
bool gtk_alpha_runs_of_rows(const uint8_t* pixels, int32_t width, int32_t height, size_t stride, uint8_t threshold,
                            int32_t top, int32_t bottom, std::vector<cairo_rectangle_int_t>* runs);
cairo_region_t* gtk_alpha_region(const uint8_t* pixels, int32_t width, int32_t height, size_t stride,
                                 uint8_t threshold);

// What a new picture changed against the one shown before: the smallest rectangle that holds every pixel
// that differs (width 0 when none does), and whether any alpha differs. A picture of another size
// changes all of itself.
struct GtkPictureChange {
  int32_t x, y, width, height;
  bool alpha_changed;
};
// The width x height pixels at from (rows of from_stride bytes) made the shown picture at shown (rows
// without padding, room for width x height), which held one of shown_width x shown_height (0 x 0 when
// it holds nothing known): only the changed part of each row is written, so that a frame that changes
// little costs little to take and to send.
GtkPictureChange gtk_take_picture(const uint8_t* from, size_t from_stride, int32_t width, int32_t height,
                                  int32_t shown_width, int32_t shown_height, uint8_t* shown);

// Where the character's X window goes on the screen: a rectangle that holds the window's rectangle and
// those of the frames placed shortly before, so that a character whose frames move and change size
// within the same stretch keeps its X window still and is drawn at its place inside it. The stage
// grows to hold a frame placed outside it; once a period is over it is cut down to the frames placed
// in that period, so that a character whose frames moved away leaves their old place. A stage grown far
// larger than the frame starts again at the frame. A character moved without a new frame (a drag, a
// panel) carries its stage along.
struct GtkStage {
  cairo_rectangle_int_t rect;    // the X window's; width 0 before any frame was placed
  cairo_rectangle_int_t frame;   // the last frame's
  cairo_rectangle_int_t recent;  // what the frames placed since recent_since cover
  int64_t recent_since;          // microseconds on a monotonic clock
};
constexpr int64_t kStagePeriodUs = 3000000;
// The stage once a frame wants the window at wanted (width and height above 0), at now_us.
cairo_rectangle_int_t gtk_stage_place(GtkStage* stage, const cairo_rectangle_int_t& wanted, int64_t now_us);
// The stage once its last frame moved to x, y with no new frame: all it holds moves by as much.
cairo_rectangle_int_t gtk_stage_carry(GtkStage* stage, int32_t x, int32_t y);
// The parts of from outside less, at most four, into out; their count.
int gtk_rectangle_less(const cairo_rectangle_int_t& from, const cairo_rectangle_int_t& less,
                       cairo_rectangle_int_t out[4]);

// out = in at opacity: every byte of the premultiplied pixels times opacity / 255, rounded as pixman
// rounds when it paints a picture with a constant alpha (what cairo_paint_with_alpha gives).
void gtk_fade_pixels(const uint8_t* in, size_t bytes, uint8_t opacity, uint8_t* out);

// GTK takes UTF-8 only, while names from packages are usually Windows-1252 bytes: valid UTF-8 stays as
// it is, anything else is read as Windows-1252. Null gives "".
std::string gtk_text_from_program(const char* text);

// The program's icon (resource 101) drawn at size x size pixels, as a premultiplied ARGB32 surface.
// Null when size is not between 1 and 1024.
cairo_surface_t* gtk_draw_program_icon(int32_t size);

// The lparam of a mouse message: the pointer's root position less the window's position, each cut to a
// signed 16-bit word as Windows does.
LPARAM gtk_mouse_lparam(double root_x, double root_y, int32_t window_x, int32_t window_y);

// A mouse press as the double-click rule remembers it: which button, when (the X server's
// milliseconds), and where on the screen.
struct GtkPress {
  uint32_t button;
  uint32_t time_ms;
  int32_t root_x, root_y;
};
// Windows' rule for a double-click: a second press of the same button within time_ms of the first
// and at most distance pixels from it on each axis, in screen coordinates, however the window moved
// between the two.
bool gtk_is_double_click(const GtkPress& first, const GtkPress& second, uint32_t time_ms, int32_t distance);

// What Ctrl+C in a message box puts on the clipboard, as Windows writes it: the caption, the text and
// the buttons of flags (MB_OK, MB_OKCANCEL, MB_YESNO) between dashed lines. A null caption is "Error".
std::string gtk_message_box_copy_text(const char* caption, const char* text, uint32_t flags);

// The data directory of a program installed at program_path: data_from_program taken from the
// program's own directory and made plain ("/usr/bin/velissadesk" and "../share/velissadesk" give
// "/usr/share/velissadesk"). Empty when program_path is not absolute.
std::string gtk_installed_data_directory(const char* program_path, const char* data_from_program);
