// Display-free helpers of the GTK backend: alpha shapes, changed parts of pictures, text conversion,
// the icon, mouse positions, a message box's copied text, the data directory of an installed program.
#include "platform/gtk/gtk_pixels.h"

#include <glib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

// The alpha bytes of two B, G, R, A pixels read as one 64-bit word, whatever the machine's byte order.
uint64_t two_alphas_mask() {
  const uint8_t bytes[8] = {0, 0, 0, 0xFF, 0, 0, 0, 0xFF};
  uint64_t mask;
  memcpy(&mask, bytes, sizeof mask);
  return mask;
}

// The alpha bytes of the four pixels at p: OR-ed together (0 when all four are clear) and AND-ed
// (the mask when all four are opaque).
void four_alphas(const uint8_t* p, uint64_t mask, uint64_t* any, uint64_t* all) {
  uint64_t first, second;
  memcpy(&first, p, sizeof first);
  memcpy(&second, p + 8, sizeof second);
  *any = (first | second) & mask;
  *all = first & second & mask;
}

}  // namespace

void gtk_alpha_runs(const uint8_t* pixels, int32_t width, int32_t height, size_t stride, uint8_t threshold,
                    std::vector<cairo_rectangle_int_t>* runs) {
  runs->clear();
  if (pixels == nullptr || width <= 0 || height <= 0) return;
  // A character is mostly clear or opaque pixels: those go four at a time, the edges one at a time.
  const uint64_t mask = two_alphas_mask();
  uint64_t any = 0, all = 0;
  for (int32_t row = 0; row < height; ++row) {
    const uint8_t* line = pixels + stride * static_cast<size_t>(row);
    int32_t column = 0;
    while (column < width) {
      while (column < width) {
        if (column + 4 <= width) {
          four_alphas(line + 4 * static_cast<size_t>(column), mask, &any, &all);
          if (any == 0) {
            column += 4;
            continue;
          }
        }
        if (line[4 * static_cast<size_t>(column) + 3] > threshold) break;
        ++column;
      }
      const int32_t start = column;
      while (column < width) {
        if (column + 4 <= width) {
          four_alphas(line + 4 * static_cast<size_t>(column), mask, &any, &all);
          if (all == mask) {
            column += 4;
            continue;
          }
        }
        if (line[4 * static_cast<size_t>(column) + 3] <= threshold) break;
        ++column;
      }
      if (column > start) runs->push_back(cairo_rectangle_int_t{start, row, column - start, 1});
    }
  }
}

bool gtk_alpha_runs_of_rows(const uint8_t* pixels, int32_t width, int32_t height, size_t stride, uint8_t threshold,
                            int32_t top, int32_t bottom, std::vector<cairo_rectangle_int_t>* runs) {
  top = std::clamp(top, 0, std::max(height, 0));
  bottom = std::clamp(bottom, top, std::max(height, 0));
  // Kept between calls (one thread), so that a new shape allocates nothing once it has grown.
  static std::vector<cairo_rectangle_int_t> fresh;
  gtk_alpha_runs(pixels != nullptr ? pixels + stride * static_cast<size_t>(top) : nullptr, width, bottom - top,
                 stride, threshold, &fresh);
  for (cairo_rectangle_int_t& run : fresh) run.y += top;
  // The runs go row by row, top row first.
  const auto before_row = [](const cairo_rectangle_int_t& run, int32_t row) { return run.y < row; };
  const auto first = std::lower_bound(runs->begin(), runs->end(), top, before_row);
  // Runs below the picture's last row are of a taller picture before: they go with the last row's.
  const auto last = bottom == std::max(height, 0) ? runs->end() : std::lower_bound(first, runs->end(), bottom, before_row);
  const auto same = [](const cairo_rectangle_int_t& a, const cairo_rectangle_int_t& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
  };
  if (std::equal(first, last, fresh.begin(), fresh.end(), same)) return false;
  const auto at = runs->erase(first, last);
  runs->insert(at, fresh.begin(), fresh.end());
  return true;
}

cairo_region_t* gtk_alpha_region(const uint8_t* pixels, int32_t width, int32_t height, size_t stride,
                                 uint8_t threshold) {
  // Kept between calls (one thread), so that a new shape allocates nothing here.
  static std::vector<cairo_rectangle_int_t> runs;
  gtk_alpha_runs(pixels, width, height, stride, threshold, &runs);
  // Rows come in order and runs left to right, so pixman builds the region in one pass.
  return cairo_region_create_rectangles(runs.data(), static_cast<int>(runs.size()));
}

namespace {

constexpr size_t kCompareBlock = 64;  // bytes memcmp takes at a time before the pixel is looked for

// The first of count pixels where a and b differ, or count.
size_t first_difference(const uint8_t* a, const uint8_t* b, size_t count) {
  size_t at = 0;
  while ((count - at) * 4 >= kCompareBlock && memcmp(a + at * 4, b + at * 4, kCompareBlock) == 0)
    at += kCompareBlock / 4;
  while (at < count && memcmp(a + at * 4, b + at * 4, 4) == 0) ++at;
  return at;
}

// One past the last of count pixels where a and b differ, or 0.
size_t end_of_difference(const uint8_t* a, const uint8_t* b, size_t count) {
  size_t end = count;
  while (end * 4 >= kCompareBlock && memcmp(a + end * 4 - kCompareBlock, b + end * 4 - kCompareBlock, kCompareBlock) == 0)
    end -= kCompareBlock / 4;
  while (end > 0 && memcmp(a + end * 4 - 4, b + end * 4 - 4, 4) == 0) --end;
  return end;
}

// count pixels copied from in to out; true when an alpha differed. One pass over both, two pixels at a
// time, since the pictures are too large to stay in the cache between two passes.
bool copy_noting_alpha(const uint8_t* in, uint8_t* out, size_t count) {
  constexpr uint64_t kAlphas = 0xFF000000FF000000u;
  uint64_t differs = 0;
  size_t i = 0;
  for (; i + 2 <= count; i += 2) {
    uint64_t new_pair, old_pair;
    memcpy(&new_pair, in + 4 * i, 8);
    memcpy(&old_pair, out + 4 * i, 8);
    differs |= (new_pair ^ old_pair) & kAlphas;
    memcpy(out + 4 * i, &new_pair, 8);
  }
  if (i < count) {
    differs |= in[4 * i + 3] ^ out[4 * i + 3];
    memcpy(out + 4 * i, in + 4 * i, 4);
  }
  return differs != 0;
}

}  // namespace

GtkPictureChange gtk_take_picture(const uint8_t* from, size_t from_stride, int32_t width, int32_t height,
                                  int32_t shown_width, int32_t shown_height, uint8_t* shown) {
  const size_t columns = static_cast<size_t>(std::max(width, 0));
  const size_t row_bytes = columns * 4;
  const int32_t rows = std::max(height, 0);
  if (width != shown_width || height != shown_height) {
    for (int32_t row = 0; row < rows; ++row) memcpy(shown + row_bytes * row, from + from_stride * row, row_bytes);
    return GtkPictureChange{0, 0, width, height, true};
  }
  size_t left = columns, right = 0;
  int32_t top = rows, bottom = 0;
  bool alpha_changed = false;
  for (int32_t row = 0; row < rows; ++row) {
    const uint8_t* in = from + from_stride * row;
    uint8_t* out = shown + row_bytes * row;
    const size_t first = first_difference(in, out, columns);
    if (first == columns) continue;
    const size_t end = end_of_difference(in, out, columns);
    if (alpha_changed)
      memcpy(out + first * 4, in + first * 4, (end - first) * 4);
    else
      alpha_changed = copy_noting_alpha(in + first * 4, out + first * 4, end - first);
    left = std::min(left, first);
    right = std::max(right, end);
    if (top == rows) top = row;
    bottom = row + 1;
  }
  if (top == rows) return GtkPictureChange{0, 0, 0, 0, false};
  return GtkPictureChange{static_cast<int32_t>(left), top, static_cast<int32_t>(right - left), bottom - top,
                          alpha_changed};
}

namespace {

cairo_rectangle_int_t united(const cairo_rectangle_int_t& a, const cairo_rectangle_int_t& b) {
  if (a.width <= 0 || a.height <= 0) return b;
  const int64_t left = std::min(a.x, b.x), top = std::min(a.y, b.y);
  const int64_t right = std::max(int64_t{a.x} + a.width, int64_t{b.x} + b.width);
  const int64_t bottom = std::max(int64_t{a.y} + a.height, int64_t{b.y} + b.height);
  const auto extent = [](int64_t length) { return static_cast<int>(std::min<int64_t>(length, INT32_MAX)); };
  return cairo_rectangle_int_t{static_cast<int>(left), static_cast<int>(top), extent(right - left),
                               extent(bottom - top)};
}

bool holds(const cairo_rectangle_int_t& outer, const cairo_rectangle_int_t& inner) {
  return inner.x >= outer.x && inner.y >= outer.y &&
         int64_t{inner.x} + inner.width <= int64_t{outer.x} + outer.width &&
         int64_t{inner.y} + inner.height <= int64_t{outer.y} + outer.height;
}

// Beyond this the stage is mostly empty around the frame: a move, not frames of one character. X
// places pictures inside a window in 16-bit coordinates.
bool far_larger(const cairo_rectangle_int_t& stage, const cairo_rectangle_int_t& frame) {
  constexpr int64_t kSlack = 64;
  return stage.width > 2 * int64_t{frame.width} + kSlack || stage.height > 2 * int64_t{frame.height} + kSlack ||
         stage.width > 32767 || stage.height > 32767;
}

}  // namespace

cairo_rectangle_int_t gtk_stage_place(GtkStage* stage, const cairo_rectangle_int_t& wanted, int64_t now_us) {
  const bool period_over = now_us - stage->recent_since >= kStagePeriodUs || now_us < stage->recent_since;
  if (stage->rect.width <= 0 || period_over) {
    stage->rect = united(stage->rect.width <= 0 ? wanted : stage->recent, wanted);
    stage->recent = wanted;
    stage->recent_since = now_us;
  } else {
    stage->recent = united(stage->recent, wanted);
    if (!holds(stage->rect, wanted)) stage->rect = united(stage->rect, wanted);
  }
  if (far_larger(stage->rect, wanted)) {
    stage->rect = stage->recent = wanted;
    stage->recent_since = now_us;
  }
  stage->frame = wanted;
  return stage->rect;
}

cairo_rectangle_int_t gtk_stage_carry(GtkStage* stage, int32_t x, int32_t y) {
  const int64_t dx = int64_t{x} - stage->frame.x, dy = int64_t{y} - stage->frame.y;
  const auto moved = [dx, dy](cairo_rectangle_int_t rect) {
    rect.x = static_cast<int>(std::clamp<int64_t>(rect.x + dx, INT32_MIN, INT32_MAX));
    rect.y = static_cast<int>(std::clamp<int64_t>(rect.y + dy, INT32_MIN, INT32_MAX));
    return rect;
  };
  stage->rect = moved(stage->rect);
  stage->recent = moved(stage->recent);
  stage->frame = moved(stage->frame);
  return stage->rect;
}

int gtk_rectangle_less(const cairo_rectangle_int_t& from, const cairo_rectangle_int_t& less,
                       cairo_rectangle_int_t out[4]) {
  if (from.width <= 0 || from.height <= 0) return 0;
  const int64_t left = from.x, top = from.y, right = left + from.width, bottom = top + from.height;
  const int64_t cut_left = std::clamp<int64_t>(less.x, left, right);
  const int64_t cut_right = std::clamp<int64_t>(int64_t{less.x} + std::max(less.width, 0), cut_left, right);
  const int64_t cut_top = std::clamp<int64_t>(less.y, top, bottom);
  const int64_t cut_bottom = std::clamp<int64_t>(int64_t{less.y} + std::max(less.height, 0), cut_top, bottom);
  if (cut_left == cut_right || cut_top == cut_bottom) {
    out[0] = from;
    return 1;
  }
  int count = 0;
  const auto add = [&](int64_t x, int64_t y, int64_t x_end, int64_t y_end) {
    if (x < x_end && y < y_end)
      out[count++] = cairo_rectangle_int_t{static_cast<int>(x), static_cast<int>(y), static_cast<int>(x_end - x),
                                           static_cast<int>(y_end - y)};
  };
  add(left, top, right, cut_top);
  add(left, cut_top, cut_left, cut_bottom);
  add(cut_right, cut_top, right, cut_bottom);
  add(left, cut_bottom, right, bottom);
  return count;
}

void gtk_fade_pixels(const uint8_t* in, size_t bytes, uint8_t opacity, uint8_t* out) {
  for (size_t i = 0; i < bytes; ++i) {
    const uint32_t product = uint32_t{in[i]} * opacity + 0x80;
    out[i] = static_cast<uint8_t>(((product >> 8) + product) >> 8);
  }
}

namespace {

// Windows-1252 0x80 to 0x9F; the five unassigned bytes keep their C1 code points, as Windows does.
const uint16_t kWindows1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                       0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void append_utf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

}  // namespace

std::string gtk_text_from_program(const char* text) {
  if (text == nullptr) return "";
  if (g_utf8_validate(text, -1, nullptr)) return text;
  std::string out;
  for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c != 0; ++c) {
    const uint32_t code = (*c >= 0x80 && *c <= 0x9F) ? kWindows1252High[*c - 0x80] : *c;
    append_utf8(out, code);
  }
  return out;
}

cairo_surface_t* gtk_draw_program_icon(int32_t size) {
  if (size < 1 || size > 1024) return nullptr;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, size, size);
  // A violet disc with a small white figure: readable at 16 pixels, no image files needed.
  cairo_pattern_t* shade = cairo_pattern_create_radial(0.35, 0.3, 0.05, 0.5, 0.5, 0.55);
  cairo_pattern_add_color_stop_rgb(shade, 0, 0.70, 0.55, 0.95);
  cairo_pattern_add_color_stop_rgb(shade, 1, 0.36, 0.20, 0.66);
  cairo_arc(cr, 0.5, 0.5, 0.48, 0, 2 * M_PI);
  cairo_set_source(cr, shade);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(shade);
  cairo_clip(cr);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_arc(cr, 0.5, 0.38, 0.16, 0, 2 * M_PI);
  cairo_fill(cr);
  cairo_save(cr);
  cairo_translate(cr, 0.5, 0.92);
  cairo_scale(cr, 0.3, 0.3);
  cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr);
  cairo_fill(cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  return surface;
}

LPARAM gtk_mouse_lparam(double root_x, double root_y, int32_t window_x, int32_t window_y) {
  // Wrapping 32-bit arithmetic, as the system's: the words keep the low 16 bits.
  const uint32_t x =
      static_cast<uint32_t>(static_cast<int64_t>(std::floor(root_x))) - static_cast<uint32_t>(window_x);
  const uint32_t y =
      static_cast<uint32_t>(static_cast<int64_t>(std::floor(root_y))) - static_cast<uint32_t>(window_y);
  return platform_make_lparam(static_cast<int32_t>(x), static_cast<int32_t>(y));
}

std::string gtk_message_box_copy_text(const char* caption, const char* text, uint32_t flags) {
  const char* buttons = "OK   ";
  if ((flags & 0xF) == MB_OKCANCEL) buttons = "OK   Cancel   ";
  if ((flags & 0xF) == MB_YESNO) buttons = "Yes   No   ";
  const std::string line = "---------------------------\n";
  return line + gtk_text_from_program(caption != nullptr ? caption : "Error") + "\n" + line +
         gtk_text_from_program(text) + "\n" + line + buttons + "\n" + line;
}

std::string gtk_installed_data_directory(const char* program_path, const char* data_from_program) {
  if (program_path == nullptr || program_path[0] != '/' || data_from_program == nullptr) return "";
  const std::filesystem::path program(program_path);
  return (program.parent_path() / data_from_program).lexically_normal().string();
}

bool gtk_is_double_click(const GtkPress& first, const GtkPress& second, uint32_t time_ms, int32_t distance) {
  const int64_t dx = int64_t{second.root_x} - first.root_x;
  const int64_t dy = int64_t{second.root_y} - first.root_y;
  // The server's clock wraps: the time between them is an unsigned difference.
  return first.button == second.button && second.time_ms - first.time_ms <= time_ms &&
         std::abs(dx) <= distance && std::abs(dy) <= distance;
}
