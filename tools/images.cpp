#include "tools/images.h"

#include <IL/il.h>
#ifdef VELISSA_HAVE_LIBPNG
#include <png.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "tools/tool_common.h"

namespace {

// One DevIL image name for the length of a call, bound while it lives.
struct BoundImage {
  ILuint name = 0;
  BoundImage() {
    use_image_library();
    ilGenImages(1, &name);
    ilBindImage(name);
  }
  ~BoundImage() { ilDeleteImages(1, &name); }
  BoundImage(const BoundImage&) = delete;
  BoundImage& operator=(const BoundImage&) = delete;
};

bool encode(ILenum type, const uint8_t* pixels, int32_t width, int32_t height, int32_t channels,
            std::vector<unsigned char>& file) {
  file.clear();
  const ILenum format = channels == 4 ? IL_RGBA : channels == 3 ? IL_RGB : IL_LUMINANCE;
  BoundImage image;
  if (width <= 0 || height <= 0 ||
      !ilTexImage(static_cast<ILuint>(width), static_cast<ILuint>(height), 1, static_cast<ILubyte>(channels),
                  format, IL_UNSIGNED_BYTE, nullptr))
    return false;
  // A new image counts its rows from the bottom, whatever origin the loaders use; the writers turn
  // such an image upright, so the rows go in from the bottom up.
  const bool bottom_first = ilGetInteger(IL_IMAGE_ORIGIN) == IL_ORIGIN_LOWER_LEFT;
  const size_t row_bytes = static_cast<size_t>(width) * static_cast<size_t>(channels);
  uint8_t* data = ilGetData();
  for (int32_t row = 0; row < height; ++row) {
    const int32_t stored = bottom_first ? height - 1 - row : row;
    std::memcpy(data + row_bytes * static_cast<size_t>(stored), pixels + row_bytes * static_cast<size_t>(row),
                row_bytes);
  }
  const ILuint needed = ilSaveL(type, nullptr, 0);
  if (needed == 0) return false;
  file.resize(needed);
  const ILuint written = ilSaveL(type, file.data(), needed);
  file.resize(written);
  return written > 0;
}

// Whether the bound image, as decoded, carries alpha: an alpha channel or a palette with alpha.
bool bound_image_has_alpha() {
  switch (ilGetInteger(IL_IMAGE_FORMAT)) {
    case IL_RGBA:
    case IL_BGRA:
    case IL_LUMINANCE_ALPHA:
    case IL_ALPHA: return true;
    case IL_COLOUR_INDEX: {
      const ILint palette = ilGetInteger(IL_PALETTE_TYPE);
      return palette == IL_PAL_RGBA32 || palette == IL_PAL_BGRA32;
    }
    default: return false;
  }
}

// The bound image, just loaded, as RGBA rows top first.
bool take_loaded(int32_t max_side, RgbaPicture& picture, bool* has_alpha, std::string& why) {
  if (has_alpha != nullptr) *has_alpha = bound_image_has_alpha();
  if (ilGetInteger(IL_IMAGE_DEPTH) != 1 || !ilConvertImage(IL_RGBA, IL_UNSIGNED_BYTE)) {
    why = "not a flat picture that converts to RGBA";
    return false;
  }
  const ILint width = ilGetInteger(IL_IMAGE_WIDTH);
  const ILint height = ilGetInteger(IL_IMAGE_HEIGHT);
  if (width <= 0 || height <= 0 || width > max_side || height > max_side) {
    why = "its size " + std::to_string(width) + "x" + std::to_string(height) + " is outside 1 to " +
          std::to_string(max_side) + " pixels a side";
    return false;
  }
  const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
  const uint8_t* data = ilGetData();
  if (data == nullptr || static_cast<size_t>(ilGetInteger(IL_IMAGE_SIZE_OF_DATA)) < bytes) {
    why = "the image library gave no pixels";
    return false;
  }
  picture.width = width;
  picture.height = height;
  picture.pixels.assign(data, data + bytes);
  if (ilGetInteger(IL_IMAGE_ORIGIN) == IL_ORIGIN_LOWER_LEFT) {
    // The player's settings make the loaders store the top row first; should one not, turn it here.
    const size_t row_bytes = static_cast<size_t>(width) * 4;
    for (size_t top = 0, bottom = static_cast<size_t>(height) - 1; top < bottom; ++top, --bottom)
      std::swap_ranges(picture.pixels.begin() + top * row_bytes, picture.pixels.begin() + (top + 1) * row_bytes,
                       picture.pixels.begin() + bottom * row_bytes);
  }
  return true;
}

// The size a PNG file declares in its header, read before the library allocates for it.
bool png_size(const unsigned char* head, size_t size, int64_t* width, int64_t* height) {
  if (size < 24 || std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) != 0 || std::memcmp(head + 12, "IHDR", 4) != 0)
    return false;
  auto big_endian = [&](int at) {
    return int64_t{head[at]} << 24 | int64_t{head[at + 1]} << 16 | int64_t{head[at + 2]} << 8 | int64_t{head[at + 3]};
  };
  *width = big_endian(16);
  *height = big_endian(20);
  return true;
}

bool declared_size_fits(const unsigned char* head, size_t size, int32_t max_side, std::string& why) {
  int64_t width = 0, height = 0;
  if (!png_size(head, size, &width, &height) || (width <= max_side && height <= max_side)) return true;
  why = "its size " + std::to_string(width) + "x" + std::to_string(height) + " is above " + std::to_string(max_side) +
        " pixels a side";
  return false;
}

}  // namespace

bool load_picture(const char* path, int32_t max_side, RgbaPicture& picture, bool* has_alpha, std::string& why) {
  picture = RgbaPicture();
  unsigned char head[24] = {};
  size_t got = 0;
  if (FILE* file = std::fopen(path, "rb")) {
    got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
  }
  if (!declared_size_fits(head, got, max_side, why)) return false;
  BoundImage image;
  if (!ilLoadImage(path)) {
    why = "not a picture the image library reads";
    return false;
  }
  return take_loaded(max_side, picture, has_alpha, why);
}

#ifdef VELISSA_HAVE_LIBPNG
// libpng itself where the build has it: it cleans up after a broken file, where DevIL's loader leaks.
bool decode_png(const unsigned char* bytes, size_t size, int32_t max_side, RgbaPicture& picture, bool* has_alpha,
                std::string& why) {
  picture = RgbaPicture();
  if (!declared_size_fits(bytes, size, max_side, why)) return false;
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes, size)) {
    why = std::string("not a PNG file libpng reads (") + image.message + ")";
    return false;
  }
  if (image.width == 0 || image.height == 0 || image.width > uint32_t(max_side) || image.height > uint32_t(max_side)) {
    why = "its size " + std::to_string(image.width) + "x" + std::to_string(image.height) + " is outside 1 to " +
          std::to_string(max_side) + " pixels a side";
    png_image_free(&image);
    return false;
  }
  // A tRNS chunk counts as alpha too.
  if (has_alpha != nullptr) *has_alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  image.format = PNG_FORMAT_RGBA;  // 8-bit sRGB, alpha not premultiplied
  picture.pixels.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, picture.pixels.data(), 0, nullptr)) {
    why = std::string("a damaged PNG file (") + image.message + ")";
    picture = RgbaPicture();
    return false;
  }
  picture.width = static_cast<int32_t>(image.width);
  picture.height = static_cast<int32_t>(image.height);
  return true;
}
#else
bool decode_png(const unsigned char* bytes, size_t size, int32_t max_side, RgbaPicture& picture, bool* has_alpha,
                std::string& why) {
  picture = RgbaPicture();
  if (!declared_size_fits(bytes, size, max_side, why)) return false;
  BoundImage image;
  // A size of 0 would read without bound.
  if (size == 0 || size > UINT32_MAX || !ilLoadL(IL_PNG, bytes, static_cast<ILuint>(size))) {
    why = "not a PNG file the image library reads";
    return false;
  }
  return take_loaded(max_side, picture, has_alpha, why);
}
#endif

bool encode_jpeg(const uint8_t* pixels, int32_t width, int32_t height, int32_t channels, int32_t quality,
                 std::vector<unsigned char>& file) {
  use_image_library();
  ilSetInteger(IL_JPG_QUALITY, quality);
  return (channels == 1 || channels == 3) && encode(IL_JPG, pixels, width, height, channels, file);
}

bool encode_png(const uint8_t* rgba, int32_t width, int32_t height, std::vector<unsigned char>& file) {
  return encode(IL_PNG, rgba, width, height, 4, file);
}
