// Pictures in and out of velissa-pack through DevIL: frames read as straight-alpha RGBA from any file
// the library reads (PNG above all), and JPEG and PNG files encoded in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// width x height pixels, 4 bytes each (red, green, blue, alpha, alpha not premultiplied), top row first.
struct RgbaPicture {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;
};

// Reads a picture file of a kind the library tells by its name; false with why set when the library
// cannot read it or a side is above max_side. A picture without alpha reads as opaque; has_alpha says
// whether it had an alpha channel (or a palette with alpha).
bool load_picture(const char* path, int32_t max_side, RgbaPicture& picture, bool* has_alpha, std::string& why);
// The same for a PNG file held in memory, decoded by libpng where the build has it, else by the image
// library.
bool decode_png(const unsigned char* bytes, size_t size, int32_t max_side, RgbaPicture& picture, bool* has_alpha,
                std::string& why);

// Encodes width x height pixels, top row first, of 3 bytes (red, green, blue) or 1 byte (grey) as a JPEG
// file of that many channels at quality 1 to 100. False when the library fails.
bool encode_jpeg(const uint8_t* pixels, int32_t width, int32_t height, int32_t channels, int32_t quality,
                 std::vector<unsigned char>& file);
// Encodes RGBA pixels, top row first, as a PNG file with alpha, the bytes stored as they are.
bool encode_png(const uint8_t* rgba, int32_t width, int32_t height, std::vector<unsigned char>& file);
