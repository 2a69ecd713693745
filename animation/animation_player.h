// AnimationPlayer: the animation being shown, loaded from a package's description entry or a description
// file; stepped through its frames by the clock, faded in and out, each frame decoded and presented.
#pragma once

#include <cstdint>

#include "animation/frame_cache.h"
#include "foundation/arrays.h"
#include "package/pack_file.h"
#include "platform/platform.h"

// Descriptions (little-endian, record form): magic "ks01" / "ks02" / "ks03"; for ks02 and ks03 loop and
// ping-pong bytes (true only for 1) and the frame duration (double, seconds); canvas width and height;
// the frame rectangles (four floats per frame: left, top, right, bottom in area units, -1..+1, y up);
// the colour and alpha image names; for ks03 a flag byte and, when it is set, an integer list that is
// read and dropped. In a package the names are entry ids in decimal; in a description file, file names.
//
// Descriptions that break what presentation relies on are handled so that nothing reads or writes
// outside a buffer:
// - A canvas side of 0 or less, or above kMaxCanvasSide, refuses the load: the player stays empty
//   (package and description id recorded), as after an unrecognised magic. So does a surface that the
//   platform cannot make.
// - A frame without a complete rectangle (fewer than 4 floats for it), or whose rectangle has zero
//   width or height or an edge that is not finite, is skipped when presented. Only the first kind
//   takes no part in the extents: the others' finite right and bottom edges count there.
//   A frame without an alpha name (fewer alpha names than colour names) is skipped too.
// - A frame is also skipped when its colour image is not 3-byte RGB, its alpha image is not 1-byte
//   greyscale, the colour image is larger than the canvas, or the alpha image differs in size from it.
// A skipped frame draws nothing: the window keeps the previous frame and position; playback goes on.
constexpr int32_t kMaxCanvasSide = 8192;

struct AnimationPlayer {
  PackFile* package = nullptr;  // not owned; null for a description file or after a release
  int32_t description_id = -1;
  int32_t anchor_x = 0, anchor_y = 0;  // written by the shell only
  int32_t offset_x = 0, offset_y = 0;  // window top-left relative to the anchor, as last presented
  WindowHandle window = nullptr;       // not owned
  int32_t frame_index = 0;
  int32_t image_width = 0, image_height = 0;  // the colour image decoded last
  int32_t canvas_width = 0, canvas_height = 0;
  bool margins_known = false;
  int32_t margin_x = 0, margin_y = 0;
  bool played_through = false;
  bool loop = false;
  bool ping_pong = false;
  double frame_duration = 0.0;  // seconds
  FloatArray frame_rects;       // left, top, right, bottom per frame
  StringArray color_images;     // its count is the frame count
  StringArray alpha_images;
  uint8_t* pixels = nullptr;  // the surface's memory: B, G, R, A, canvas_width * 4 bytes a row, top first
  BitmapHandle bitmap = nullptr;
  GdiObject previous_bitmap = nullptr;
  DeviceContext memory_dc = nullptr;
  uint32_t color_image = 0, alpha_image = 0;  // DevIL image names; 0 = none
  float max_right = 0.0f;
  float min_bottom = 0.0f;
  bool playing = true;
  bool first_present_pending = true;
  bool reverse = false;
  uint32_t last_step_ms = 0;
  uint8_t alpha = 255;  // whole-window opacity
  int32_t fade_direction = 0;  // +1 in, -1 out, 0 none
  uint32_t fade_start_ms = 0;
  uint32_t fade_length_ms = 1000;
  FrameCache frame_cache;  // the pictures of this load presented so far; emptied by the release
};

// ---- DevIL, process-wide ----
// ilInit with the origin fixed to the upper left, so the first row of every decoded image is its top
// row whatever the library's defaults. Called once at start; again after shutdown.
void animation_library_init();
// ilShutDown: every image name is gone afterwards.
void animation_library_shutdown();

// ---- Lifetime and loading ----
// Every field to its value at construction (arrays empty, grow step 1). Holds nothing afterwards.
void player_init(AnimationPlayer& player);
// player_release, then the storage of the three arrays.
void player_destroy(AnimationPlayer& player);
// Frees what the current load holds (arrays, surface, DevIL images) and forgets the description. Keeps
// description_id, the anchor, the offsets, the window and the fade.
void player_release(AnimationPlayer& player);
// Releases, then loads the description held in the package's entry id. Failure leaves the player empty
// (frame count 0) with package and description_id recorded. A description that runs short reads as
// zeros and empty lists.
void load_from_package(AnimationPlayer& player, PackFile* package, int32_t id);
// The same from a description file; its extra flag (ks03) is set by any non-zero byte, and a magic
// whose length is negative or above 16 bytes is unrecognised. package stays null, description_id as it was.
void load_from_file(AnimationPlayer& player, const char* path);
// The fields of a package's description read from the reader's cursor into a released player, as
// load_from_package reads them, but without making a surface or images: for tools that report on a
// description. Returns the version, 1 to 3, or 0 for an unrecognised magic (then nothing more is read);
// magic, when given, receives the magic's text.
int32_t read_description(AnimationPlayer& player, ByteReader& reader, FixedString* magic);

inline int32_t frame_count(const AnimationPlayer& player) { return player.color_images.count; }

// ---- Playback (the platform's millisecond clock) ----
// Presents the first frame after a load, then steps one frame whenever frame_duration has passed since
// the last step (lateness is not made up) and presents on every change; loops, turns around (ping-pong:
// the end frames stay two durations), or stops on the last frame. While stopped, presents at every
// tick that a fade runs.
void tick(AnimationPlayer& player);
// direction > 0 fades in from 0, < 0 fades out from 255, 0 cancels (full opacity from the next update).
void start_fade(AnimationPlayer& player, int32_t direction);
// alpha from the fade clock: in 0..254 then 255, out 255..1 then 0; 255 when no fade runs.
void update_fade(AnimationPlayer& player);
// The millisecond clock in seconds.
double now_seconds();
// Milliseconds from now until tick next has something to do by itself: the first present after a
// load, a frame step, the end of a fade, or (stopped, fading) every tick. 0 when that is now;
// INFINITE when nothing is ahead but a load.
uint32_t tick_due_in(const AnimationPlayer& player, uint32_t now);

// ---- Frames ----
// Reads a leading decimal integer as scanf's "%d" does: white space, then an optional sign, then
// digits; the rest is ignored. False for null, no digits, or a value outside 32 bits.
bool parse_entry_id(const char* name, int32_t* id);

struct FrameRectangle {
  float left, top, right, bottom;
};
// Frame's rectangle; false when the frame does not exist or its rectangle is missing or unusable
// (zero width or height, an edge that is not finite).
bool frame_rectangle(const AnimationPlayer& player, int32_t frame, FrameRectangle* rect);

enum FrameResult {
  FRAME_DRAWN = 0,
  FRAME_NOT_LOADED,        // no such frame, or no surface
  FRAME_COLOR_MISSING,     // no name, a name that is no number, or no such entry
  FRAME_COLOR_UNDECODABLE, // the library could not load it (also a file that cannot be opened)
  FRAME_COLOR_NOT_RGB,     // not 3 bytes a pixel, red, green, blue
  FRAME_TOO_LARGE,         // wider or taller than the canvas
  FRAME_ALPHA_MISSING,     // as for colour; also when there are fewer alpha names than frames
  FRAME_ALPHA_UNDECODABLE,
  FRAME_ALPHA_NOT_GREY,    // not 1 byte a pixel, greyscale
  FRAME_ALPHA_SIZE_DIFFERS,
};
const char* frame_result_text(FrameResult result);

// The width and height that a JPEG's frame header (SOFn) declares, its markers read as libjpeg reads
// them from the start of image up to the first frame header. False when the bytes do not begin with
// SOI or end, or reach a scan, before a frame header. A package's frame images are decoded only when
// this size fits (see draw_frame).
bool jpeg_declared_size(const uint8_t* bytes, int32_t size, int32_t* width, int32_t* height);

// Decodes frame's colour and alpha images into the player's two DevIL images and merges them into the
// top-left image_width x image_height pixels of the surface. From a package, a colour image that
// declares itself larger than the canvas, or an alpha image that declares another size than its
// colour image, is refused before it is decoded. image_width and image_height take the
// colour image's size once it has passed its checks (also when the alpha image then fails); anything
// but FRAME_DRAWN leaves the surface as it was.
FrameResult draw_frame(AnimationPlayer& player, int32_t frame);

// ---- Checks before showing (the installer, the authoring tool) ----
// Why load_from_package of the package's entry 1 leaves the player without frames, in words.
void description_problem(PackFile& pack, FixedString& why);
// Several frames and a duration that is not finite: playback never leaves the first frame.
bool frame_duration_stalls(const AnimationPlayer& player);
// Draws every frame of a loaded player into its surface as presentation would, and calls on_frame
// (when given) after each one, while the surface still holds it; placed is false for a frame without a
// usable rectangle (result FRAME_NOT_LOADED). Returns how many frames drew.
typedef void (*FrameChecked)(void* context, int32_t frame, bool placed, FrameResult result);
int32_t check_frames(AnimationPlayer& player, FrameChecked on_frame, void* context);
// Whether the player could show the package's animation: its description loads, its duration lets it
// play, and every frame's colour and alpha entries exist and decode within the canvas.
bool package_is_showable(PackFile& pack);

// Writes width x height pixels into bgra (stride bytes a row): blue, green, red from the 3-byte colour
// pixels (red, green, blue; width * 3 bytes a row) and alpha from the 1-byte alpha pixels (width bytes
// a row). Colour is stored as decoded, never multiplied by alpha.
void merge_frame_pixels(const uint8_t* rgb, const uint8_t* grey, int32_t width, int32_t height,
                        uint8_t* bgra, int32_t stride);

// Shows the current frame: its picture from the player's frame cache when it was presented before in
// this load, else draw_frame (and the picture kept in the cache); then the window placed against the
// anchor (resized on the first present after a load, only moved after that) and updated with
// per-pixel alpha at the fade's opacity; then the thread and process priorities are raised. A failed update writes "Error(%d): %s\n" to
// standard output. A frame that cannot be drawn or placed changes nothing on screen.
void present_frame(AnimationPlayer& player);
