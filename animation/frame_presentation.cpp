// Frame presentation: decoding a frame's colour and alpha JPEGs with DevIL, merging them into the
// surface, placing the window against the anchor and handing it the surface.
#include <IL/il.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "animation/animation_player.h"
#include "package/trace_log.h"

namespace {

enum ImageLoad { kImageLoaded, kImageMissing, kImageUndecodable, kImageWrongSize };

// The size an image may have: at most (colour, against the canvas) or exactly (alpha, as its colour).
struct SizeRule {
  int32_t width, height;
  bool exact;
};

// DevIL's memory source cannot end a skip past its last byte: a marker segment whose length runs beyond
// the data makes its skip loop for ever. The JPEG is therefore handed over followed by more zero bytes
// than any segment can span and an end-of-image marker, so every skip ends inside the buffer and the
// decoder then meets the end. The buffer is kept between frames: decoding allocates nothing per frame.
// Null when the memory for it cannot be had: the frame is then skipped, as one that does not decode.
const ILubyte* padded_jpeg(const uint8_t* data, int32_t size, ILuint* padded_size) {
  static uint8_t* buffer = nullptr;  // DevIL decodes on the one thread only
  static size_t capacity = 0;
  constexpr size_t kPadding = 65536 + 2;
  const size_t length = static_cast<size_t>(size);
  if (length + kPadding > capacity) {
    auto* larger = static_cast<uint8_t*>(std::realloc(buffer, length + kPadding));
    if (larger == nullptr) return nullptr;
    buffer = larger;
    capacity = length + kPadding;
  }
  if (length > 0) std::memcpy(buffer, data, length);
  std::memset(buffer + length, 0, kPadding - 2);
  buffer[length + kPadding - 2] = 0xFF;
  buffer[length + kPadding - 1] = 0xD9;
  *padded_size = static_cast<ILuint>(length + kPadding);
  return buffer;
}

// Decodes the named image into the bound DevIL image: an entry of the package (always as JPEG), or,
// for a description file, a file in whatever format the library makes of it. A package's JPEG is
// decoded only when the size its frame header declares keeps the rule: DevIL sizes its buffer in 32
// bits, so a declared 65000 x 65000 would be decoded far past the end of a wrapped-around allocation.
ImageLoad load_bound_image(const AnimationPlayer& player, const char* name, SizeRule rule) {
  if (player.package == nullptr) {
    if (name == nullptr) return kImageMissing;
    return ilLoadImage(name) ? kImageLoaded : kImageUndecodable;
  }
  int32_t id = 0;
  if (!parse_entry_id(name, &id)) return kImageMissing;
  const ByteReader* entry = find_entry(*player.package, id);
  if (entry == nullptr) return kImageMissing;
  int32_t width = 0, height = 0;
  if (!jpeg_declared_size(entry->cursor, entry->remaining, &width, &height)) return kImageUndecodable;
  if (rule.exact ? width != rule.width || height != rule.height : width > rule.width || height > rule.height)
    return kImageWrongSize;
  ILuint padded_size = 0;
  const ILubyte* padded = padded_jpeg(entry->cursor, entry->remaining, &padded_size);
  return padded != nullptr && ilLoadL(IL_JPG, padded, padded_size) ? kImageLoaded : kImageUndecodable;
}

struct DecodedImage {
  const uint8_t* data;
  int32_t width, height;
};

// The bound image, when it is unsigned bytes of the given format and holds all its pixels.
bool bound_image_as(ILint format, ILint bytes_per_pixel, DecodedImage* image) {
  if (ilGetInteger(IL_IMAGE_FORMAT) != format || ilGetInteger(IL_IMAGE_BPP) != bytes_per_pixel ||
      ilGetInteger(IL_IMAGE_TYPE) != IL_UNSIGNED_BYTE)
    return false;
  image->width = ilGetInteger(IL_IMAGE_WIDTH);
  image->height = ilGetInteger(IL_IMAGE_HEIGHT);
  image->data = ilGetData();
  const int64_t needed = int64_t{image->width} * image->height * bytes_per_pixel;
  return image->width > 0 && image->height > 0 && image->data != nullptr &&
         ilGetInteger(IL_IMAGE_SIZE_OF_DATA) >= needed;
}

// Truncation toward zero that stays defined: NaN gives 0, values beyond 32 bits the nearest end.
int32_t truncate_to_int32(double value) {
  if (!(value == value)) return 0;
  if (value <= INT32_MIN) return INT32_MIN;
  if (value >= INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(value);
}

int32_t add_saturated(int32_t a, int32_t b) {
  const int64_t sum = int64_t{a} + b;
  return sum < INT32_MIN ? INT32_MIN : sum > INT32_MAX ? INT32_MAX : static_cast<int32_t>(sum);
}

// Sets offset_x / offset_y for the current frame, drawn at image_width x image_height: its left and
// top edges measured from the right and bottom edges of the animation's area, plus the margins that
// put the area's used corner on the anchor. The margins keep the scale of the first frame placed.
void place_frame(AnimationPlayer& player, const FrameRectangle& rect) {
  const double left = rect.left, top = rect.top, right = rect.right, bottom = rect.bottom;
  const double area_width = 2.0 * player.image_width / (right - left);
  const double area_height = 2.0 * player.image_height / (top - bottom);
  const int32_t dx = truncate_to_int32(((left + 1.0) * 0.5 - 1.0) * area_width);
  const int32_t dy = truncate_to_int32(((1.0 - top) * 0.5 - 1.0) * area_height);
  if (!player.margins_known) {
    player.margins_known = true;
    player.margin_x = truncate_to_int32(area_width * ((1.0 - player.max_right) * 0.5));
    player.margin_y = truncate_to_int32(area_height * ((1.0 + player.min_bottom) * 0.5));
  }
  player.offset_x = add_saturated(dx, player.margin_x);
  player.offset_y = add_saturated(dy, player.margin_y);
}

void copy_rows(const uint8_t* from, size_t from_stride, uint8_t* to, size_t to_stride, size_t row_bytes,
               int32_t rows) {
  for (int32_t row = 0; row < rows; ++row) std::memcpy(to + to_stride * row, from + from_stride * row, row_bytes);
}

// The cache key of a frame of a package: its colour and alpha entry ids. False for a description file,
// or a name that is no number (the frame is then drawn, and refused, as without a cache).
bool cache_key_of(const AnimationPlayer& player, int32_t frame, FrameCacheKey* key) {
  if (player.package == nullptr || frame < 0 || frame >= frame_count(player) || frame >= player.alpha_images.count)
    return false;
  key->package = player.package;
  return parse_entry_id(player.color_images.data[frame], &key->colour_id) &&
         parse_entry_id(player.alpha_images.data[frame], &key->alpha_id);
}

// draw_frame, but a picture merged before is found in the cache instead of decoded again, and a
// picture drawn gets an entry there, holding no pixels until the window has been asked to keep it
// (see keep_presented_picture). *entry is the cache's entry for the frame (null when it holds none);
// *in_surface says whether its pixels are in the surface already.
FrameResult take_current_frame(AnimationPlayer& player, CachedFrame** entry, bool* in_surface) {
  *entry = nullptr;
  *in_surface = false;
  FrameCacheKey key;
  const bool cacheable = player.pixels != nullptr && cache_key_of(player, player.frame_index, &key);
  if (cacheable) {
    if (CachedFrame* cached = frame_cache_find(player.frame_cache, key)) {
      player.image_width = cached->width;
      player.image_height = cached->height;
      *entry = cached;
      return FRAME_DRAWN;
    }
  }
  const FrameResult drawn = draw_frame(player, player.frame_index);
  *in_surface = drawn == FRAME_DRAWN;
  if (drawn != FRAME_DRAWN || !cacheable) return drawn;
  *entry = frame_cache_store_lent(player.frame_cache, key, player.image_width, player.image_height);
  return drawn;
}

// After the update of the cached picture from the surface: a window that keeps it needs no copy of
// its pixels here; else the cache holds them, where its budget lets it.
void keep_presented_picture(AnimationPlayer& player, CachedFrame& cached, bool shown) {
  if (shown && platform_keep_layered_picture(player.window, cached.picture)) {
    frame_cache_lend(player.frame_cache, cached);
  } else if (cached.pixels == nullptr) {
    const CachedFrame* held = frame_cache_fill(player.frame_cache, cached);
    if (held == nullptr) return;
    const size_t row_bytes = static_cast<size_t>(held->width) * 4;
    copy_rows(player.pixels, static_cast<size_t>(player.canvas_width) * 4, held->pixels, row_bytes, row_bytes,
              held->height);
  }
}

// The cached picture put into the surface's corner: the very bytes draw_frame wrote, or, where they
// were lent to a window that no longer shows the picture, the picture decoded again.
FrameResult draw_cached_picture(AnimationPlayer& player, const CachedFrame& cached) {
  if (cached.pixels == nullptr) return draw_frame(player, player.frame_index);
  const size_t row_bytes = static_cast<size_t>(cached.width) * 4;
  copy_rows(cached.pixels, row_bytes, player.pixels, static_cast<size_t>(player.canvas_width) * 4, row_bytes,
            cached.height);
  return FRAME_DRAWN;
}

void report_update_failure() {
  const uint32_t code = platform_get_last_error();
  char text[512];
  platform_error_text(code, text, sizeof text);
  std::printf("Error(%d): %s\n", static_cast<int>(code), text);
  std::fflush(stdout);  // a window program's output is only seen redirected; keep it if we crash
}

}  // namespace

bool parse_entry_id(const char* name, int32_t* id) {
  if (name == nullptr) return false;
  const char* at = name;
  while (*at == ' ' || (*at >= '\t' && *at <= '\r')) ++at;
  const bool negative = *at == '-';
  if (*at == '+' || *at == '-') ++at;
  if (*at < '0' || *at > '9') return false;
  int64_t value = 0;
  for (; *at >= '0' && *at <= '9'; ++at) {
    value = value * 10 + (*at - '0');
    if (value > int64_t{INT32_MAX} + 1) return false;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return false;
  *id = static_cast<int32_t>(value);
  return true;
}

bool jpeg_declared_size(const uint8_t* bytes, int32_t size, int32_t* width, int32_t* height) {
  if (bytes == nullptr || size < 2 || bytes[0] != 0xFF || bytes[1] != 0xD8) return false;
  int32_t at = 2;
  for (;;) {
    // Like libjpeg: bytes up to the next 0xFF are passed over, then 0xFF fill bytes; FF 00 is no marker.
    while (at < size && bytes[at] != 0xFF) ++at;
    while (at < size && bytes[at] == 0xFF) ++at;
    if (at >= size) return false;
    const uint8_t marker = bytes[at++];
    if (marker == 0x00 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) continue;  // no length
    if (marker == 0xD8 || marker == 0xD9 || marker == 0xDA) return false;  // SOI, EOI or SOS before a frame
    if (size - at < 2) return false;
    const int32_t length = bytes[at] << 8 | bytes[at + 1];
    const bool frame_header = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame_header) {
      // Length, precision, height, width.
      if (length < 8 || size - at < 7) return false;
      *height = bytes[at + 3] << 8 | bytes[at + 4];
      *width = bytes[at + 5] << 8 | bytes[at + 6];
      return true;
    }
    if (length < 2 || size - at < length) return false;
    at += length;
  }
}

const char* frame_result_text(FrameResult result) {
  switch (result) {
    case FRAME_DRAWN: return "drawn";
    case FRAME_NOT_LOADED: return "no such frame";
    case FRAME_COLOR_MISSING: return "colour image missing";
    case FRAME_COLOR_UNDECODABLE: return "colour image not decodable";
    case FRAME_COLOR_NOT_RGB: return "colour image not 3-byte RGB";
    case FRAME_TOO_LARGE: return "image larger than the canvas";
    case FRAME_ALPHA_MISSING: return "alpha image missing";
    case FRAME_ALPHA_UNDECODABLE: return "alpha image not decodable";
    case FRAME_ALPHA_NOT_GREY: return "alpha image not 1-byte greyscale";
    case FRAME_ALPHA_SIZE_DIFFERS: return "alpha image of another size";
  }
  return "unknown";
}

void merge_frame_pixels(const uint8_t* rgb, const uint8_t* grey, int32_t width, int32_t height,
                        uint8_t* bgra, int32_t stride) {
  for (int32_t row = 0; row < height; ++row) {
    const uint8_t* colour = rgb + int64_t{row} * width * 3;
    const uint8_t* alpha = grey + int64_t{row} * width;
    uint8_t* out = bgra + int64_t{row} * stride;
    for (int32_t column = 0; column < width; ++column) {
      out[0] = colour[2];
      out[1] = colour[1];
      out[2] = colour[0];
      out[3] = alpha[column];
      colour += 3;
      out += 4;
    }
  }
}

FrameResult draw_frame(AnimationPlayer& player, int32_t frame) {
  if (frame < 0 || frame >= frame_count(player) || player.pixels == nullptr) return FRAME_NOT_LOADED;

  ilBindImage(player.color_image);
  switch (load_bound_image(player, player.color_images.data[frame],
                           SizeRule{player.canvas_width, player.canvas_height, false})) {
    case kImageMissing: return FRAME_COLOR_MISSING;
    case kImageUndecodable: return FRAME_COLOR_UNDECODABLE;
    case kImageWrongSize: return FRAME_TOO_LARGE;
    case kImageLoaded: break;
  }
  DecodedImage colour;
  if (!bound_image_as(IL_RGB, 3, &colour)) return FRAME_COLOR_NOT_RGB;
  if (colour.width > player.canvas_width || colour.height > player.canvas_height) return FRAME_TOO_LARGE;
  player.image_width = colour.width;
  player.image_height = colour.height;

  if (frame >= player.alpha_images.count) return FRAME_ALPHA_MISSING;
  ilBindImage(player.alpha_image);  // the colour pixels stay valid while another image is bound
  switch (load_bound_image(player, player.alpha_images.data[frame], SizeRule{colour.width, colour.height, true})) {
    case kImageMissing: return FRAME_ALPHA_MISSING;
    case kImageUndecodable: return FRAME_ALPHA_UNDECODABLE;
    case kImageWrongSize: return FRAME_ALPHA_SIZE_DIFFERS;
    case kImageLoaded: break;
  }
  DecodedImage grey;
  if (!bound_image_as(IL_LUMINANCE, 1, &grey)) return FRAME_ALPHA_NOT_GREY;
  if (grey.width != colour.width || grey.height != colour.height) return FRAME_ALPHA_SIZE_DIFFERS;

  merge_frame_pixels(colour.data, grey.data, colour.width, colour.height, player.pixels,
                     player.canvas_width * 4);
  return FRAME_DRAWN;
}

void present_frame(AnimationPlayer& player) {
  if (frame_count(player) <= 0) return;
  FrameRectangle rect;
  if (!frame_rectangle(player, player.frame_index, &rect)) {
    trace("present_frame: frame %d has no usable rectangle\n", player.frame_index);
    return;
  }
  CachedFrame* cached = nullptr;  // valid until keep_presented_picture
  bool in_surface = false;
  const FrameResult drawn = take_current_frame(player, &cached, &in_surface);
  if (drawn != FRAME_DRAWN) {
    trace("present_frame: frame %d: %s\n", player.frame_index, frame_result_text(drawn));
    return;
  }
  place_frame(player, rect);

  const int32_t x = add_saturated(player.anchor_x, player.offset_x);
  const int32_t y = add_saturated(player.anchor_y, player.offset_y);
  // Only the first present after a load sizes the window; later ones leave that to the update.
  if (player.first_present_pending) {
    platform_set_window_pos(player.window, nullptr, x, y, player.image_width, player.image_height,
                            SWP_NOZORDER | SWP_NOOWNERZORDER);
  } else {
    platform_set_window_pos(player.window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER);
  }
  // A picture the window keeps is shown again without its pixels; any other goes through the surface.
  bool shown = cached != nullptr && platform_show_kept_picture(player.window, cached->picture, player.image_width,
                                                               player.image_height, player.alpha);
  if (!shown) {
    const FrameResult redrawn = cached != nullptr && !in_surface ? draw_cached_picture(player, *cached) : FRAME_DRAWN;
    if (redrawn != FRAME_DRAWN) {
      trace("present_frame: frame %d: %s\n", player.frame_index, frame_result_text(redrawn));
      frame_cache_drop(player.frame_cache, *cached);
      return;
    }
    shown = platform_update_layered_window(player.window, player.image_width, player.image_height, player.memory_dc,
                                           player.alpha, AC_SRC_ALPHA, ULW_ALPHA);
    if (cached != nullptr) keep_presented_picture(player, *cached, shown);
  }
  platform_set_thread_priority(THREAD_PRIORITY_HIGHEST);
  platform_set_priority_class(HIGH_PRIORITY_CLASS);
  if (!shown) report_update_failure();
}
