// Fuzz target: any bytes as a frame file of "velissa-pack create": GIF (giflib), WebP (libwebp), PNG and
// the APNG frames rebuilt from it (libpng), each frame composed on its canvas.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "tools/picture_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Kinds told by name alone go to the image library's file loader, fuzzed elsewhere: no such file here.
  static const std::string missing = scratch_file("no-such-picture");
  // Small canvases keep each run quick; the bounds are the same code at any size.
  constexpr int32_t kMaxSide = 512;
  PictureFileInfo info;
  std::string why;
  int32_t frames = 0;
  const bool read = read_picture_bytes(
      data, size, missing.c_str(), kMaxSide,
      [&](const RgbaPicture& frame, int32_t delay_ms, std::string&) {
        FUZZ_CHECK(frame.width >= 1 && frame.height >= 1 && frame.width <= kMaxSide && frame.height <= kMaxSide);
        FUZZ_CHECK(frame.pixels.size() == size_t(frame.width) * size_t(frame.height) * 4);
        FUZZ_CHECK(delay_ms >= 0);
        ++frames;
        return true;
      },
      info, why);
  FUZZ_CHECK(frames == info.frames && frames <= kMaxFramesPerFile);
  FUZZ_CHECK(read ? frames > 0 : !why.empty());
  return 0;
}
