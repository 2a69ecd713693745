// The player's lifetime: construction values, release, and the two loaders of a description.
#include "animation/animation_player.h"

#include <IL/il.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "foundation/record_form.h"
#include "package/byte_reader.h"
#include "package/record_reader.h"
#include "package/trace_log.h"

namespace {

// Longest magic record of a description file that is read at all; anything longer is unrecognised.
constexpr int32_t kMagicBufferSize = 16;

// 1, 2 or 3 for "ks01" / "ks02" / "ks03", compared up to the first zero byte; 0 for anything else.
int32_t version_of_magic(const char* magic) {
  static const char* const kMagics[] = {"ks01", "ks02", "ks03"};
  for (int32_t i = 0; i < 3; ++i) {
    if (std::strcmp(magic, kMagics[i]) == 0) return i + 1;
  }
  return 0;
}

// The values a release gives back to what the description and the presents set.
void forget_description(AnimationPlayer& player) {
  player.frame_duration = 0.0;
  player.frame_index = 0;
  player.image_width = player.image_height = 0;
  player.canvas_width = player.canvas_height = 0;
  player.margins_known = false;
  player.margin_x = player.margin_y = 0;
  player.played_through = false;
  player.loop = false;
  player.ping_pong = false;
}

void release_image(uint32_t& name) {
  if (name == 0) return;
  const ILuint image = name;
  ilDeleteImages(1, &image);
  name = 0;
}

// The rectangle's edges usable for placement: finite, with some width and height.
bool usable(const FrameRectangle& rect) {
  return std::isfinite(rect.left) && std::isfinite(rect.top) && std::isfinite(rect.right) &&
         std::isfinite(rect.bottom) && rect.right != rect.left && rect.top != rect.bottom;
}

// The frame's four edges as stored; false when the frame does not exist or its four floats are missing.
bool stored_rectangle(const AnimationPlayer& player, int32_t frame, FrameRectangle* rect) {
  if (frame < 0 || frame >= frame_count(player)) return false;
  const int64_t first = int64_t{frame} * 4;
  if (first + 4 > player.frame_rects.count) return false;
  const float* edges = player.frame_rects.data + first;
  *rect = FrameRectangle{edges[0], edges[1], edges[2], edges[3]};
  return true;
}

// A frame that cannot be placed still bounds the area with its finite right and bottom edges. An
// infinite edge is left out too: it would put every frame at the end of the 32-bit range.
void compute_extents(AnimationPlayer& player) {
  player.max_right = -1.0f;
  player.min_bottom = 1.0f;
  FrameRectangle rect;
  for (int32_t i = 0; i < frame_count(player); ++i) {
    if (!stored_rectangle(player, i, &rect)) continue;
    if (std::isfinite(rect.right) && rect.right > player.max_right) player.max_right = rect.right;
    if (std::isfinite(rect.bottom) && rect.bottom < player.min_bottom) player.min_bottom = rect.bottom;
  }
}

// The load before released, and the pictures its window kept: none of them is shown again. (Not in
// player_release, which also runs once the program's windows are gone.)
void release_for_load(AnimationPlayer& player) {
  player_release(player);
  if (player.window != nullptr) platform_forget_kept_pictures(player.window);
}

// A load that cannot be used ends like one with an unrecognised magic: empty, the package recorded.
void refuse_load(AnimationPlayer& player, const char* why) {
  trace("load: description %d refused: %s\n", player.description_id, why);
  PackFile* package = player.package;
  player_release(player);
  player.package = package;
}

// What every load does once the description has been read: the surface, the two image names, the
// extents and a fresh playback state.
void finish_load(AnimationPlayer& player) {
  if (player.canvas_width <= 0 || player.canvas_height <= 0 || player.canvas_width > kMaxCanvasSide ||
      player.canvas_height > kMaxCanvasSide) {
    refuse_load(player, "canvas size");
    return;
  }
  player.memory_dc = platform_create_compatible_dc(nullptr);
  player.bitmap =
      platform_create_dib_section(player.memory_dc, player.canvas_width, player.canvas_height, &player.pixels);
  if (player.bitmap != nullptr) player.previous_bitmap = platform_select_object(player.memory_dc, player.bitmap);
  if (player.pixels == nullptr) {
    refuse_load(player, "no drawing surface");
    return;
  }
  ILuint image = 0;
  ilGenImages(1, &image);
  player.color_image = image;
  ilGenImages(1, &image);
  player.alpha_image = image;
  compute_extents(player);
  player.margins_known = false;
  player.margin_x = 0;
  player.margin_y = 0;
  player.first_present_pending = true;
  player.playing = true;
  player.frame_index = 0;
}

// Fixed-size values of a description file; a value the file ends inside reads as zero.
bool read_exact(FILE* file, void* bytes, size_t size) {
  if (std::fread(bytes, 1, size, file) == size) return true;
  std::memset(bytes, 0, size);
  return false;
}

uint8_t read_byte(FILE* file) {
  uint8_t byte = 0;
  read_exact(file, &byte, 1);
  return byte;
}

int32_t read_int32(FILE* file) {
  int32_t value = 0;
  read_exact(file, &value, sizeof value);  // hosts are little-endian, like the files
  return value;
}

double read_float64(FILE* file) {
  double value = 0.0;
  read_exact(file, &value, sizeof value);
  return value;
}

int32_t read_file_version(FILE* file) {
  const int32_t length = read_int32(file);
  if (length < 0 || length > kMagicBufferSize) return 0;
  char magic[kMagicBufferSize + 1] = {};
  if (!read_exact(file, magic, static_cast<size_t>(length))) return 0;
  return version_of_magic(magic);
}

}  // namespace

void animation_library_init() {
  ilInit();
  ilEnable(IL_ORIGIN_SET);
  ilOriginFunc(IL_ORIGIN_UPPER_LEFT);
}

void animation_library_shutdown() { ilShutDown(); }

void player_init(AnimationPlayer& player) {
  player.package = nullptr;
  player.description_id = -1;
  player.anchor_x = player.anchor_y = 0;
  player.offset_x = player.offset_y = 0;
  player.window = nullptr;
  forget_description(player);
  release(player.frame_rects);
  release(player.color_images);
  release(player.alpha_images);
  player.frame_rects.grow_step = 1;
  player.color_images.grow_step = 1;
  player.alpha_images.grow_step = 1;
  player.pixels = nullptr;
  player.bitmap = nullptr;
  player.previous_bitmap = nullptr;
  player.memory_dc = nullptr;
  player.color_image = player.alpha_image = 0;
  player.max_right = 0.0f;
  player.min_bottom = 0.0f;
  player.playing = true;
  player.first_present_pending = true;
  player.reverse = false;
  player.last_step_ms = 0;
  player.alpha = 255;
  player.fade_direction = 0;
  player.fade_start_ms = 0;
  player.fade_length_ms = 1000;
  frame_cache_release(player.frame_cache);
  player.frame_cache.budget = kFrameCacheBudget;
}

void player_destroy(AnimationPlayer& player) {
  player_release(player);
  frame_cache_release(player.frame_cache);
  release(player.alpha_images);
  release(player.color_images);
  release(player.frame_rects);
}

void player_release(AnimationPlayer& player) {
  forget_description(player);
  clear(player.frame_rects);
  clear(player.color_images);
  clear(player.alpha_images);

  player.pixels = nullptr;
  if (player.memory_dc != nullptr) {
    // The bitmap can only be deleted once it is no longer selected into the DC.
    if (player.previous_bitmap != nullptr) platform_select_object(player.memory_dc, player.previous_bitmap);
    platform_delete_dc(player.memory_dc);
    player.memory_dc = nullptr;
  }
  if (player.bitmap != nullptr) {
    platform_delete_object(player.bitmap);
    player.bitmap = nullptr;
  }
  player.previous_bitmap = nullptr;

  release_image(player.color_image);
  release_image(player.alpha_image);
  // The pictures belong to this load's package, which the catalogue may free (or reuse the memory
  // of) once the player lets go of it.
  frame_cache_clear(player.frame_cache);

  player.first_present_pending = true;
  player.playing = true;
  player.reverse = false;
  player.package = nullptr;
}

void load_from_package(AnimationPlayer& player, PackFile* package, int32_t id) {
  release_for_load(player);
  player.package = package;
  player.description_id = id;
  const ByteReader* entry = package != nullptr ? find_entry(*package, id) : nullptr;
  if (entry == nullptr) return;
  ByteReader reader = *entry;
  if (read_description(player, reader, nullptr) == 0) return;
  finish_load(player);
}

int32_t read_description(AnimationPlayer& player, ByteReader& reader, FixedString* magic_out) {
  FixedString magic;
  read_fixed_string(reader, magic);
  if (magic_out != nullptr) *magic_out = magic;
  const int32_t version = version_of_magic(magic.text);
  if (version == 0) return 0;
  if (version >= 2) {
    player.loop = read_bool(reader);
    player.ping_pong = read_bool(reader);
    player.frame_duration = read_float64(reader);
  }
  player.canvas_width = read_int32(reader);
  player.canvas_height = read_int32(reader);
  read_float_array(reader, player.frame_rects);
  read_string_array(reader, player.color_images);
  read_string_array(reader, player.alpha_images);
  if (version == 3 && read_bool(reader)) {
    IntArray extra;  // read past and dropped
    read_int_array(reader, extra);
  }
  return version;
}

void load_from_file(AnimationPlayer& player, const char* path) {
  release_for_load(player);
  FILE* file = path != nullptr ? std::fopen(path, "rb") : nullptr;
  if (file == nullptr) return;
  const int32_t version = read_file_version(file);
  if (version == 0) {
    std::fclose(file);
    return;
  }
  if (version >= 2) {
    player.loop = read_byte(file) == 1;
    player.ping_pong = read_byte(file) == 1;
    player.frame_duration = read_float64(file);
  }
  player.canvas_width = read_int32(file);
  player.canvas_height = read_int32(file);
  read_from(player.frame_rects, file);
  read_from(player.color_images, file);
  read_from(player.alpha_images, file);
  if (version == 3 && read_byte(file) != 0) {
    IntArray extra;
    read_from(extra, file);
  }
  std::fclose(file);
  finish_load(player);
}

bool frame_rectangle(const AnimationPlayer& player, int32_t frame, FrameRectangle* rect) {
  FrameRectangle found;
  if (!stored_rectangle(player, frame, &found) || !usable(found)) return false;
  if (rect != nullptr) *rect = found;
  return true;
}
