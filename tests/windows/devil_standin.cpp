// A stand-in DevIL.dll for the Windows tests: the DevIL functions the player and the tests call, with
// DevIL's names, calling convention and meaning, decoding with stb_image and encoding PNG and colour
// JPEG with stb_image_write. Built for the tests only; the program is shipped without it and runs
// with the user's DevIL.dll.
#define _IL_BUILD_LIBRARY
#include <IL/il.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
#pragma GCC diagnostic pop

namespace {

struct Image {
  ILuint width = 0, height = 0;
  ILubyte channels = 0;  // bytes per pixel
  ILenum origin = IL_ORIGIN_UPPER_LEFT;
  std::vector<ILubyte> data;
};

struct Library {
  std::map<ILuint, Image> images{{0, Image{}}};  // 0: the default image, always there
  ILuint bound = 0;
  bool origin_set = false;
  ILenum origin_mode = IL_ORIGIN_LOWER_LEFT;
  int jpeg_quality = 99;
};

Library& library() {
  static Library instance;
  return instance;
}

Image& current() { return library().images[library().bound]; }

ILenum format_of(ILubyte channels) {
  switch (channels) {
    case 1:
      return IL_LUMINANCE;
    case 2:
      return IL_LUMINANCE_ALPHA;
    case 3:
      return IL_RGB;
    default:
      return IL_RGBA;
  }
}

void flip_rows(Image& image) {
  if (image.height < 2) return;
  const size_t row = static_cast<size_t>(image.width) * image.channels;
  std::vector<ILubyte> swap(row);
  for (ILuint top = 0, bottom = image.height - 1; top < bottom; ++top, --bottom) {
    memcpy(swap.data(), &image.data[top * row], row);
    memcpy(&image.data[top * row], &image.data[bottom * row], row);
    memcpy(&image.data[bottom * row], swap.data(), row);
  }
}

// Takes stb's decoded pixels (rows top first) into the bound image, in the origin asked for.
ILboolean take_decoded(stbi_uc* pixels, int width, int height, int channels) {
  if (pixels == nullptr) return IL_FALSE;
  Image& image = current();
  image.width = static_cast<ILuint>(width);
  image.height = static_cast<ILuint>(height);
  image.channels = static_cast<ILubyte>(channels);
  image.data.assign(pixels, pixels + static_cast<size_t>(width) * height * channels);
  stbi_image_free(pixels);
  image.origin = IL_ORIGIN_UPPER_LEFT;
  if (library().origin_set && library().origin_mode == IL_ORIGIN_LOWER_LEFT) {
    flip_rows(image);
    image.origin = IL_ORIGIN_LOWER_LEFT;
  }
  return IL_TRUE;
}

void append(void* context, void* bytes, int size) {
  auto* out = static_cast<std::vector<ILubyte>*>(context);
  out->insert(out->end(), static_cast<ILubyte*>(bytes), static_cast<ILubyte*>(bytes) + size);
}

// ---- Greyscale JPEG ----
// stb_image_write always writes three components, but a grey image must come back grey, as from
// DevIL's libjpeg: a baseline encoder of one component. Its Huffman tables give every DC category a
// 4-bit code and every AC symbol an 8-bit one, which JPEG allows; size does not matter here.

struct BitWriter {
  std::vector<ILubyte>& out;
  uint32_t bits = 0;
  int count = 0;
  void put(uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) {
      bits = (bits << 1) | ((code >> i) & 1);
      if (++count == 8) flush_byte();
    }
  }
  void flush_byte() {
    out.push_back(static_cast<ILubyte>(bits));
    if (bits == 0xFF) out.push_back(0);  // a data byte 0xFF is followed by a zero byte
    bits = 0;
    count = 0;
  }
  void finish() {
    while (count != 0) put(1, 1);  // padded with one bits
  }
};

void put_marker(std::vector<ILubyte>& out, ILubyte marker, const std::vector<ILubyte>& body) {
  out.push_back(0xFF);
  out.push_back(marker);
  const size_t length = body.size() + 2;
  out.push_back(static_cast<ILubyte>(length >> 8));
  out.push_back(static_cast<ILubyte>(length));
  out.insert(out.end(), body.begin(), body.end());
}

// The number of bits of |value|, and its bits as JPEG stores them (negative values one less).
int category(int value) {
  int size = 0;
  for (int magnitude = value < 0 ? -value : value; magnitude != 0; magnitude >>= 1) ++size;
  return size;
}
uint32_t value_bits(int value, int size) {
  return static_cast<uint32_t>(value < 0 ? value + (1 << size) - 1 : value);
}

std::vector<ILubyte> encode_grey_jpeg(const Image& image, int quality) {
  const int width = static_cast<int>(image.width), height = static_cast<int>(image.height);
  const int quantizer = quality >= 100 ? 1 : 1 + (100 - quality) / 2;
  // AC symbols: end of block, sixteen zeros, and (zeros before, size) for sizes 1 to 10.
  std::vector<ILubyte> ac_symbols{0x00, 0xF0};
  for (int run = 0; run < 16; ++run)
    for (int size = 1; size <= 10; ++size) ac_symbols.push_back(static_cast<ILubyte>(run << 4 | size));
  uint32_t ac_code[256] = {};
  for (size_t i = 0; i < ac_symbols.size(); ++i) ac_code[ac_symbols[i]] = static_cast<uint32_t>(i);

  std::vector<ILubyte> out{0xFF, 0xD8};
  put_marker(out, 0xDB, [&] {
    std::vector<ILubyte> body{0};
    body.insert(body.end(), 64, static_cast<ILubyte>(quantizer));
    return body;
  }());
  put_marker(out, 0xC0,
             {8, static_cast<ILubyte>(height >> 8), static_cast<ILubyte>(height),
              static_cast<ILubyte>(width >> 8), static_cast<ILubyte>(width), 1, 1, 0x11, 0});
  std::vector<ILubyte> dc_table(17, 0);
  dc_table[4] = 12;  // twelve codes of 4 bits: categories 0 to 11
  for (ILubyte c = 0; c < 12; ++c) dc_table.push_back(c);
  put_marker(out, 0xC4, dc_table);
  std::vector<ILubyte> ac_table(17, 0);
  ac_table[0] = 0x10;
  ac_table[8] = static_cast<ILubyte>(ac_symbols.size());
  ac_table.insert(ac_table.end(), ac_symbols.begin(), ac_symbols.end());
  put_marker(out, 0xC4, ac_table);
  put_marker(out, 0xDA, {1, 1, 0x00, 0, 63, 0});

  // The zigzag order of the 64 coefficients, walked along the anti-diagonals.
  int zigzag[64];
  for (int i = 0, diagonal = 0; diagonal < 15; ++diagonal) {
    for (int step = 0; step <= diagonal; ++step) {
      const int along = diagonal % 2 == 0 ? diagonal - step : step;  // row on even diagonals goes up
      const int row = along, column = diagonal - along;
      if (row < 8 && column < 8) zigzag[i++] = row * 8 + column;
    }
  }
  const double pi = 3.14159265358979323846;
  BitWriter writer{out};
  int previous_dc = 0;
  for (int top = 0; top < height; top += 8) {
    for (int left = 0; left < width; left += 8) {
      double block[64];
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
          const int row = std::min(top + y, height - 1), column = std::min(left + x, width - 1);
          const size_t index = image.origin == IL_ORIGIN_LOWER_LEFT
                                   ? static_cast<size_t>(height - 1 - row) * width + column
                                   : static_cast<size_t>(row) * width + column;
          block[y * 8 + x] = image.data[index] - 128.0;
        }
      int coefficients[64];
      for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
          double sum = 0;
          for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
              sum += block[y * 8 + x] * std::cos((2 * x + 1) * u * pi / 16) *
                     std::cos((2 * y + 1) * v * pi / 16);
          const double scale = (u == 0 ? std::sqrt(0.5) : 1.0) * (v == 0 ? std::sqrt(0.5) : 1.0) / 4;
          coefficients[v * 8 + u] = static_cast<int>(std::lround(sum * scale / quantizer));
        }
      const int dc = coefficients[0];
      const int dc_size = category(dc - previous_dc);
      writer.put(static_cast<uint32_t>(dc_size), 4);
      writer.put(value_bits(dc - previous_dc, dc_size), dc_size);
      previous_dc = dc;
      int zeros = 0;
      for (int k = 1; k < 64; ++k) {
        const int value = coefficients[zigzag[k]];
        if (value == 0) {
          ++zeros;
          continue;
        }
        for (; zeros >= 16; zeros -= 16) writer.put(ac_code[0xF0], 8);
        const int size = category(value);
        writer.put(ac_code[zeros << 4 | size], 8);
        writer.put(value_bits(value, size), size);
        zeros = 0;
      }
      if (zeros > 0) writer.put(ac_code[0x00], 8);
    }
  }
  writer.finish();
  out.push_back(0xFF);
  out.push_back(0xD9);
  return out;
}

}  // namespace

void ILAPIENTRY ilInit(void) {}

void ILAPIENTRY ilShutDown(void) { library() = Library(); }

// The lowest free names, as DevIL reuses the names of deleted images.
void ILAPIENTRY ilGenImages(ILsizei count, ILuint* names) {
  ILuint name = 1;
  for (ILsizei i = 0; i < count; ++i) {
    while (library().images.count(name) != 0) ++name;
    names[i] = name;
    library().images[name] = Image{};
  }
}

void ILAPIENTRY ilDeleteImages(ILsizei count, const ILuint* names) {
  for (ILsizei i = 0; i < count; ++i) {
    if (names[i] == 0) continue;  // the default image stays
    library().images.erase(names[i]);
    if (library().bound == names[i]) library().bound = 0;
  }
}

ILboolean ILAPIENTRY ilIsImage(ILuint name) { return name != 0 && library().images.count(name) != 0; }

void ILAPIENTRY ilBindImage(ILuint name) {
  library().images[name];  // DevIL makes an image of a name bound before it was generated
  library().bound = name;
}

ILboolean ILAPIENTRY ilEnable(ILenum mode) {
  if (mode != IL_ORIGIN_SET) return IL_FALSE;
  library().origin_set = true;
  return IL_TRUE;
}

ILboolean ILAPIENTRY ilOriginFunc(ILenum mode) {
  if (mode != IL_ORIGIN_LOWER_LEFT && mode != IL_ORIGIN_UPPER_LEFT) return IL_FALSE;
  library().origin_mode = mode;
  return IL_TRUE;
}

ILboolean ILAPIENTRY ilLoadL(ILenum type, const void* lump, ILuint size) {
  const auto* bytes = static_cast<const stbi_uc*>(lump);
  // Only what is asked for: a JPEG starts with the start-of-image marker, a PNG with its signature.
  const bool jpeg = type == IL_JPG && bytes != nullptr && size >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 &&
                    bytes[2] == 0xFF;
  const bool png = type == IL_PNG && bytes != nullptr && size >= 8 && std::memcmp(bytes, "\x89PNG\r\n\x1a\n", 8) == 0;
  if (!jpeg && !png) return IL_FALSE;
  int width, height, channels;
  stbi_uc* pixels = stbi_load_from_memory(bytes, static_cast<int>(size), &width, &height, &channels, 0);
  return take_decoded(pixels, width, height, channels);
}

ILboolean ILAPIENTRY ilLoadImage(ILconst_string file_name) {
  if (file_name == nullptr) return IL_FALSE;
  int width, height, channels;
  stbi_uc* pixels = stbi_load(file_name, &width, &height, &channels, 0);
  return take_decoded(pixels, width, height, channels);
}

ILboolean ILAPIENTRY ilTexImage(ILuint width, ILuint height, ILuint depth, ILubyte channels, ILenum format,
                                ILenum type, void* data) {
  if (width == 0 || height == 0 || depth != 1 || channels < 1 || channels > 4 ||
      format != format_of(channels) || type != IL_UNSIGNED_BYTE)
    return IL_FALSE;
  Image& image = current();
  image.width = width;
  image.height = height;
  image.channels = channels;
  image.origin = IL_ORIGIN_LOWER_LEFT;  // as DevIL gives a new image
  const size_t bytes = static_cast<size_t>(width) * height * channels;
  if (data != nullptr)
    image.data.assign(static_cast<ILubyte*>(data), static_cast<ILubyte*>(data) + bytes);
  else
    image.data.assign(bytes, 0);
  return IL_TRUE;
}

// To RGBA or RGB bytes: grey spreads to the three colours, a missing alpha is opaque.
ILboolean ILAPIENTRY ilConvertImage(ILenum format, ILenum type) {
  Image& image = current();
  if (type != IL_UNSIGNED_BYTE || image.data.empty() || (format != IL_RGBA && format != IL_RGB))
    return IL_FALSE;
  const ILubyte channels = format == IL_RGBA ? 4 : 3;
  const size_t pixels = static_cast<size_t>(image.width) * image.height;
  std::vector<ILubyte> converted(pixels * channels);
  for (size_t i = 0; i < pixels; ++i) {
    const ILubyte* from = &image.data[i * image.channels];
    ILubyte* to = &converted[i * channels];
    const bool grey = image.channels <= 2;
    to[0] = from[0];
    to[1] = grey ? from[0] : from[1];
    to[2] = grey ? from[0] : from[2];
    if (channels == 4) to[3] = image.channels == 2 ? from[1] : image.channels == 4 ? from[3] : 255;
  }
  image.data.swap(converted);
  image.channels = channels;
  return IL_TRUE;
}

ILint ILAPIENTRY ilGetInteger(ILenum mode) {
  const Image& image = current();
  switch (mode) {
    case IL_IMAGE_WIDTH:
      return static_cast<ILint>(image.width);
    case IL_IMAGE_HEIGHT:
      return static_cast<ILint>(image.height);
    case IL_IMAGE_DEPTH:
      return image.data.empty() ? 0 : 1;
    case IL_IMAGE_BPP:
      return image.channels;
    case IL_IMAGE_BITS_PER_PIXEL:
      return image.channels * 8;
    case IL_IMAGE_CHANNELS:
      return image.channels;
    case IL_IMAGE_FORMAT:
      return image.data.empty() ? 0 : static_cast<ILint>(format_of(image.channels));
    case IL_IMAGE_TYPE:
      return IL_UNSIGNED_BYTE;
    case IL_IMAGE_SIZE_OF_DATA:
      return static_cast<ILint>(image.data.size());
    case IL_IMAGE_ORIGIN:
      return static_cast<ILint>(image.origin);
    case IL_ORIGIN_MODE:
      return static_cast<ILint>(library().origin_mode);
    case IL_CUR_IMAGE:
      return static_cast<ILint>(library().bound);
    case IL_JPG_QUALITY:
      return library().jpeg_quality;
    default:
      return 0;
  }
}

void ILAPIENTRY ilSetInteger(ILenum mode, ILint value) {
  if (mode == IL_JPG_QUALITY && value >= 1 && value <= 100) library().jpeg_quality = value;
}

ILubyte* ILAPIENTRY ilGetData(void) {
  Image& image = current();
  return image.data.empty() ? nullptr : image.data.data();
}

// As DevIL: with no buffer, the size the file needs; otherwise the bytes written, 0 when they do not fit.
ILuint ILAPIENTRY ilSaveL(ILenum type, void* lump, ILuint size) {
  Image image = current();
  const bool jpeg = type == IL_JPG && (image.channels == 1 || image.channels == 3);
  if (image.data.empty() || !(jpeg || type == IL_PNG)) return 0;
  const int width = static_cast<int>(image.width), height = static_cast<int>(image.height);
  std::vector<ILubyte> file;
  if (jpeg && image.channels == 1) {
    file = encode_grey_jpeg(image, library().jpeg_quality);
  } else {
    if (image.origin == IL_ORIGIN_LOWER_LEFT) flip_rows(image);  // the file holds the top row first
    const bool written = jpeg ? stbi_write_jpg_to_func(append, &file, width, height, image.channels,
                                                       image.data.data(), library().jpeg_quality)
                              : stbi_write_png_to_func(append, &file, width, height, image.channels,
                                                       image.data.data(), width * image.channels);
    if (!written) return 0;
  }
  if (lump == nullptr) return static_cast<ILuint>(file.size());
  if (file.size() > size) return 0;
  memcpy(lump, file.data(), file.size());
  return static_cast<ILuint>(file.size());
}
