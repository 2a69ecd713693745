// The project's DevIL.dll for Windows: the DevIL functions the player, velissa-pack and the tests
// call, with DevIL's names, calling convention and meaning, so that DevIL's own DLL of the same width
// can replace it. JPEG pictures are decoded by stb_image, whose pixels stay within 3 of libjpeg's
// (the JPEG decoder of Wine's imaging component interpolates colour differently, by up to 37), so a
// frame looks the same on every platform; every other format by the Windows Imaging Component
// (windowscodecs). PNG and colour JPEG files are written with stb_image_write, grey JPEG files by the
// small encoder below.
#define _IL_BUILD_LIBRARY
#include <IL/il.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
#pragma GCC diagnostic pop

namespace {

// A picture's size is the file's claim: nothing larger than this many pixels is decoded or made, so
// that a forged header cannot make the library allocate gigabytes (or wrap a 32-bit size).
constexpr uint64_t kMaxPixels = uint64_t{8192} * 8192;
// A file read by ilLoadImage is held whole in memory while it is decoded.
constexpr long kMaxFileBytes = 256L << 20;

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
  IWICImagingFactory* factory = nullptr;
  bool com_started = false;  // this library's CoInitializeEx succeeded and is to be undone
};

Library& library() {
  static Library instance;
  return instance;
}

Image& current() { return library().images[library().bound]; }

// Sizes the buffer without letting a failed allocation escape as an exception.
bool allocate(std::vector<ILubyte>& data, size_t bytes) {
  try {
    data.assign(bytes, 0);
    return true;
  } catch (const std::bad_alloc&) {
    data.clear();
    return false;
  }
}

bool size_allowed(uint64_t width, uint64_t height) {
  return width > 0 && height > 0 && width * height <= kMaxPixels;
}

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
  for (ILuint top = 0, bottom = image.height - 1; top < bottom; ++top, --bottom)
    std::swap_ranges(&image.data[top * row], &image.data[top * row] + row, &image.data[bottom * row]);
}

// ---- Decoding with the Windows Imaging Component ----

template <typename T>
void release(T*& object) {
  if (object != nullptr) object->Release();
  object = nullptr;
}

// The imaging factory, made on first use. COM may already be started on this thread (the program
// starts it for the shell), in any apartment: then it is used as it is.
IWICImagingFactory* imaging_factory() {
  Library& l = library();
  if (l.factory != nullptr) return l.factory;
  const HRESULT started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (SUCCEEDED(started)) l.com_started = true;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                              reinterpret_cast<void**>(&l.factory))))
    l.factory = nullptr;
  return l.factory;
}

void end_imaging() {
  Library& l = library();
  release(l.factory);
  if (l.com_started) CoUninitialize();
  l.com_started = false;
}

bool is_grey_format(const WICPixelFormatGUID& format) {
  return IsEqualGUID(format, GUID_WICPixelFormatBlackWhite) || IsEqualGUID(format, GUID_WICPixelFormat2bppGray) ||
         IsEqualGUID(format, GUID_WICPixelFormat4bppGray) || IsEqualGUID(format, GUID_WICPixelFormat8bppGray) ||
         IsEqualGUID(format, GUID_WICPixelFormat16bppGray);
}

bool has_alpha_format(const WICPixelFormatGUID& format) {
  return IsEqualGUID(format, GUID_WICPixelFormat32bppBGRA) || IsEqualGUID(format, GUID_WICPixelFormat32bppRGBA) ||
         IsEqualGUID(format, GUID_WICPixelFormat32bppPBGRA) || IsEqualGUID(format, GUID_WICPixelFormat32bppPRGBA) ||
         IsEqualGUID(format, GUID_WICPixelFormat64bppRGBA) || IsEqualGUID(format, GUID_WICPixelFormat64bppBGRA) ||
         IsEqualGUID(format, GUID_WICPixelFormat64bppPRGBA);
}

// Whether a palette picture's colours carry transparency (a PNG with a tRNS chunk, a GIF).
bool palette_has_alpha(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame) {
  IWICPalette* palette = nullptr;
  BOOL alpha = FALSE;
  if (SUCCEEDED(factory->CreatePalette(&palette)) && SUCCEEDED(frame->CopyPalette(palette)) &&
      FAILED(palette->HasAlpha(&alpha)))
    alpha = FALSE;
  release(palette);
  return alpha != FALSE;
}

// The frame as bytes of the format DevIL would give: grey pictures as luminance, pictures with
// transparency as RGBA, the rest as RGB; rows top first.
bool copy_frame(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame, Image& out) {
  UINT width = 0, height = 0;
  WICPixelFormatGUID source = GUID_WICPixelFormatDontCare;
  if (FAILED(frame->GetSize(&width, &height)) || !size_allowed(width, height) ||
      FAILED(frame->GetPixelFormat(&source)))
    return false;
  ILubyte channels = 3;
  WICPixelFormatGUID target = GUID_WICPixelFormat24bppBGR;
  if (is_grey_format(source)) {
    channels = 1;
    target = GUID_WICPixelFormat8bppGray;
  } else if (has_alpha_format(source) || (IsEqualGUID(source, GUID_WICPixelFormat8bppIndexed) &&
                                          palette_has_alpha(factory, frame))) {
    channels = 4;
    target = GUID_WICPixelFormat32bppBGRA;
  }
  IWICFormatConverter* converter = nullptr;
  if (FAILED(factory->CreateFormatConverter(&converter))) return false;
  const UINT stride = width * channels;
  const UINT bytes = stride * height;  // at most 4 x kMaxPixels: fits 32 bits
  std::vector<ILubyte> pixels;
  const bool copied = SUCCEEDED(converter->Initialize(frame, target, WICBitmapDitherTypeNone, nullptr, 0.0,
                                                      WICBitmapPaletteTypeCustom)) &&
                      allocate(pixels, bytes) && SUCCEEDED(converter->CopyPixels(nullptr, stride, bytes, pixels.data()));
  release(converter);
  if (!copied) return false;
  // The system's byte order is blue first; DevIL's RGB and RGBA are red first.
  if (channels >= 3)
    for (size_t i = 0; i < bytes; i += channels) std::swap(pixels[i], pixels[i + 2]);
  out.width = width;
  out.height = height;
  out.channels = channels;
  out.data.swap(pixels);
  return true;
}

// Puts a decoded picture into the bound image, in the origin asked for.
void take_decoded(Image& decoded) {
  decoded.origin = IL_ORIGIN_UPPER_LEFT;
  if (library().origin_set && library().origin_mode == IL_ORIGIN_LOWER_LEFT) {
    flip_rows(decoded);
    decoded.origin = IL_ORIGIN_LOWER_LEFT;
  }
  current() = std::move(decoded);
}

bool is_jpeg(const void* bytes, ILuint size) {
  const auto* b = static_cast<const ILubyte*>(bytes);
  return bytes != nullptr && size >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF;
}

// A JPEG picture into the bound image, its size checked before anything is allocated for it.
ILboolean decode_jpeg(const void* bytes, ILuint size) {
  const auto* data = static_cast<const stbi_uc*>(bytes);
  int width = 0, height = 0, channels = 0;
  if (!is_jpeg(bytes, size) || size > INT32_MAX ||
      !stbi_info_from_memory(data, static_cast<int>(size), &width, &height, &channels) ||
      !size_allowed(static_cast<uint64_t>(width), static_cast<uint64_t>(height)))
    return IL_FALSE;
  stbi_uc* pixels = stbi_load_from_memory(data, static_cast<int>(size), &width, &height, &channels, 0);
  if (pixels == nullptr) return IL_FALSE;
  Image decoded;
  const bool copied = allocate(decoded.data, static_cast<size_t>(width) * height * channels);
  if (copied) std::memcpy(decoded.data.data(), pixels, decoded.data.size());
  stbi_image_free(pixels);
  if (!copied) return IL_FALSE;
  decoded.width = static_cast<ILuint>(width);
  decoded.height = static_cast<ILuint>(height);
  decoded.channels = static_cast<ILubyte>(channels);
  take_decoded(decoded);
  return IL_TRUE;
}

// Decodes the first picture of bytes into the bound image. container names the one format to read
// them as, or is null for whatever format they hold.
ILboolean decode(const void* bytes, ILuint size, const GUID* container) {
  IWICImagingFactory* factory = imaging_factory();
  if (factory == nullptr || bytes == nullptr || size == 0) return IL_FALSE;
  IWICStream* stream = nullptr;
  IWICBitmapDecoder* decoder = nullptr;
  IWICBitmapFrameDecode* frame = nullptr;
  Image decoded;
  bool ok = SUCCEEDED(factory->CreateStream(&stream)) &&
            SUCCEEDED(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(bytes)), size));
  if (ok && container != nullptr)
    ok = SUCCEEDED(factory->CreateDecoder(*container, nullptr, &decoder)) &&
         SUCCEEDED(decoder->Initialize(stream, WICDecodeMetadataCacheOnDemand));
  else if (ok)
    ok = SUCCEEDED(factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand, &decoder));
  ok = ok && SUCCEEDED(decoder->GetFrame(0, &frame)) && copy_frame(factory, frame, decoded);
  release(frame);
  release(decoder);
  release(stream);
  if (!ok) return IL_FALSE;
  take_decoded(decoded);
  return IL_TRUE;
}

// A whole file, for ilLoadImage; empty when it cannot be read or is too large to hold.
std::vector<ILubyte> read_file(const char* name) {
  std::vector<ILubyte> bytes;
  FILE* file = std::fopen(name, "rb");
  if (file == nullptr) return bytes;
  long size = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
  if (size > 0 && size <= kMaxFileBytes && std::fseek(file, 0, SEEK_SET) == 0 &&
      allocate(bytes, static_cast<size_t>(size)) && std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size())
    bytes.clear();
  std::fclose(file);
  return bytes;
}

// ---- Encoding ----

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

void ILAPIENTRY ilShutDown(void) {
  end_imaging();
  library() = Library();
}

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

// IL_JPG and IL_PNG read the bytes as that format only, as DevIL does; IL_TYPE_UNKNOWN as whatever
// format they hold.
ILboolean ILAPIENTRY ilLoadL(ILenum type, const void* lump, ILuint size) {
  switch (type) {
    case IL_JPG:
      return decode_jpeg(lump, size);
    case IL_PNG:
      return decode(lump, size, &GUID_ContainerFormatPng);
    case IL_TYPE_UNKNOWN:
      return is_jpeg(lump, size) ? decode_jpeg(lump, size) : decode(lump, size, nullptr);
    default:
      return IL_FALSE;
  }
}

ILboolean ILAPIENTRY ilLoadImage(ILconst_string file_name) {
  if (file_name == nullptr) return IL_FALSE;
  const std::vector<ILubyte> bytes = read_file(file_name);
  return ilLoadL(IL_TYPE_UNKNOWN, bytes.data(), static_cast<ILuint>(bytes.size()));
}

ILboolean ILAPIENTRY ilTexImage(ILuint width, ILuint height, ILuint depth, ILubyte channels, ILenum format,
                                ILenum type, void* data) {
  if (!size_allowed(width, height) || depth != 1 || channels < 1 || channels > 4 || format != format_of(channels) ||
      type != IL_UNSIGNED_BYTE)
    return IL_FALSE;
  std::vector<ILubyte> pixels;
  const size_t bytes = static_cast<size_t>(width) * height * channels;
  if (!allocate(pixels, bytes)) return IL_FALSE;
  if (data != nullptr) std::memcpy(pixels.data(), data, bytes);
  Image& image = current();
  image.width = width;
  image.height = height;
  image.channels = channels;
  image.origin = IL_ORIGIN_LOWER_LEFT;  // as DevIL gives a new image
  image.data.swap(pixels);
  return IL_TRUE;
}

// To RGBA or RGB bytes: grey spreads to the three colours, a missing alpha is opaque.
ILboolean ILAPIENTRY ilConvertImage(ILenum format, ILenum type) {
  Image& image = current();
  if (type != IL_UNSIGNED_BYTE || image.data.empty() || (format != IL_RGBA && format != IL_RGB))
    return IL_FALSE;
  const ILubyte channels = format == IL_RGBA ? 4 : 3;
  const size_t pixels = static_cast<size_t>(image.width) * image.height;
  std::vector<ILubyte> converted;
  if (!allocate(converted, pixels * channels)) return IL_FALSE;
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
ILuint ILAPIENTRY ilSaveL(ILenum type, void* lump, ILuint size) try {
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
} catch (const std::bad_alloc&) {
  return 0;
}
