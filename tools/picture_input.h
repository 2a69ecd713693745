// The pictures that create reads: still pictures through the image library, and animations (GIF, APNG,
// WebP) frame by frame, each frame composed as a viewer shows it (partial frames, disposal, blending,
// transparency) on a canvas of the animation's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "tools/images.h"

// What a file is, by its first bytes.
enum PictureKind { PICTURE_OTHER, PICTURE_PNG, PICTURE_APNG, PICTURE_GIF, PICTURE_WEBP };

struct PictureFileInfo {
  PictureKind kind = PICTURE_OTHER;
  bool has_alpha = false;  // an alpha channel, a palette with alpha or a transparent colour
  bool timed = false;      // an animation: each frame's delay comes from the file
  bool loops = false;      // an animation that repeats for ever (loop count 0)
  int32_t frames = 0;      // frames handed over
};

// The most frames read from one file.
constexpr int32_t kMaxFramesPerFile = 10000;

// Receives each frame with its delay in milliseconds (0 for a still picture). False stops the reading;
// why then says what went wrong.
using FrameSink = std::function<bool(const RgbaPicture& frame, int32_t delay_ms, std::string& why)>;

// Reads a picture file and hands its frames to sink. False with why set when the file cannot be read (the
// system's reason), is no picture this build reads, is broken, or has a side above max_side; frames
// handed over before stay handed over.
bool read_picture_file(const char* path, int32_t max_side, const FrameSink& sink, PictureFileInfo& info,
                       std::string& why);
// The same for bytes in memory; path is used only for kinds that the image library reads by name.
bool read_picture_bytes(const unsigned char* bytes, size_t size, const char* path, int32_t max_side,
                        const FrameSink& sink, PictureFileInfo& info, std::string& why);

// ---- Shared by the readers ----
// A viewer's delay for the one the file states: as browsers do, 10 ms or less stands for 100 ms.
int32_t viewer_delay_ms(int64_t stated_ms);
// The readers of each kind; those of GIF and WebP exist where their library was found at build time.
bool read_gif(const unsigned char* bytes, size_t size, int32_t max_side, const FrameSink& sink, PictureFileInfo& info,
              std::string& why);
bool read_webp(const unsigned char* bytes, size_t size, int32_t max_side, const FrameSink& sink,
               PictureFileInfo& info, std::string& why);
bool read_png(const unsigned char* bytes, size_t size, int32_t max_side, const FrameSink& sink, PictureFileInfo& info,
              std::string& why);
