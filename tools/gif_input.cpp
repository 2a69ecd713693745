// Animated GIF for create, decoded with giflib and composed here as browsers show it: each frame drawn
// over what the one before left, its transparent colour showing what lies below, then disposed of
// (left in place, cleared to transparent, or the picture before it restored).
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "tools/picture_input.h"

namespace {

struct GifInput {
  const unsigned char* bytes;
  size_t size;
  size_t at;
};

int read_input(GifFileType* gif, GifByteType* out, int wanted) {
  auto* input = static_cast<GifInput*>(gif->UserData);
  const size_t count = wanted <= 0 ? 0 : std::min(size_t(wanted), input->size - input->at);
  std::memcpy(out, input->bytes + input->at, count);
  input->at += count;
  return static_cast<int>(count);
}

struct GifCloser {
  GifFileType* gif;
  ~GifCloser() {
    int ignored = 0;
    if (gif != nullptr) DGifCloseFile(gif, &ignored);
  }
};

bool damaged(GifFileType* gif, const std::string& where, std::string& why) {
  const char* reason = GifErrorString(gif->Error);
  why = where + "a damaged GIF file (" + (reason != nullptr ? reason : "giflib error") + ")";
  return false;
}

// Reads an extension's blocks: the graphics control block of the next frame, and the loop count of the
// NETSCAPE2.0 (or ANIMEXTS1.0) application block.
bool read_extension(GifFileType* gif, GraphicsControlBlock& control, PictureFileInfo& info) {
  int code = 0;
  GifByteType* block = nullptr;
  if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
  bool looping_block = false;
  if (block != nullptr && code == GRAPHICS_EXT_FUNC_CODE) {
    if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_ERROR) control = GraphicsControlBlock{};
    if (control.TransparentColor != NO_TRANSPARENT_COLOR) info.has_alpha = true;
  } else if (block != nullptr && code == APPLICATION_EXT_FUNC_CODE && block[0] == 11) {
    looping_block = std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0 || std::memcmp(block + 1, "ANIMEXTS1.0", 11) == 0;
  }
  while (block != nullptr) {
    if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
    if (looping_block && block != nullptr && block[0] >= 3 && block[1] == 1) info.loops = (block[2] | block[3] << 8) == 0;
  }
  return true;
}

}  // namespace

bool read_gif(const unsigned char* bytes, size_t size, int32_t max_side, const FrameSink& sink, PictureFileInfo& info,
              std::string& why) {
  GifInput input{bytes, size, 0};
  int error = 0;
  GifCloser closer{DGifOpen(&input, read_input, &error)};
  GifFileType* gif = closer.gif;
  if (gif == nullptr) {
    const char* reason = GifErrorString(error);
    why = std::string("not a GIF file giflib reads (") + (reason != nullptr ? reason : "giflib error") + ")";
    return false;
  }
  info.timed = true;
  RgbaPicture canvas;
  canvas.width = gif->SWidth;
  canvas.height = gif->SHeight;
  if (canvas.width <= 0 || canvas.height <= 0 || canvas.width > max_side || canvas.height > max_side) {
    why = "its size " + std::to_string(canvas.width) + "x" + std::to_string(canvas.height) + " is outside 1 to " +
          std::to_string(max_side) + " pixels a side";
    return false;
  }
  canvas.pixels.assign(size_t(canvas.width) * size_t(canvas.height) * 4, 0);
  std::vector<uint8_t> saved;
  std::vector<GifPixelType> line;
  GraphicsControlBlock control{};
  control.TransparentColor = NO_TRANSPARENT_COLOR;
  int32_t frames = 0;
  for (;;) {
    const std::string where = "frame " + std::to_string(frames + 1) + ": ";
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &record) == GIF_ERROR) {
      // Many GIF files end without their trailer: what came before stands.
      if (frames > 0 && input.at == input.size) break;
      return damaged(gif, where, why);
    }
    if (record == TERMINATE_RECORD_TYPE) break;
    if (record == EXTENSION_RECORD_TYPE) {
      if (!read_extension(gif, control, info)) return damaged(gif, where, why);
      continue;
    }
    if (record != IMAGE_DESC_RECORD_TYPE) return damaged(gif, where, why);
    if (DGifGetImageDesc(gif) == GIF_ERROR) return damaged(gif, where, why);
    const GifImageDesc& desc = gif->Image;
    const ColorMapObject* colours = desc.ColorMap != nullptr ? desc.ColorMap : gif->SColorMap;
    if (colours == nullptr || desc.Width <= 0 || desc.Height <= 0) {
      why = where + (colours == nullptr ? "no colour table" : "an empty frame");
      return false;
    }
    const int disposal = control.DisposalMode;
    if (disposal == DISPOSE_PREVIOUS) saved = canvas.pixels;
    line.resize(size_t(desc.Width));
    // Interlaced rows come in four passes: every 8th from 0, every 8th from 4, every 4th from 2, every 2nd from 1.
    const int pass_start[4] = {0, 4, 2, 1}, pass_step[4] = {8, 8, 4, 2};
    int pass = 0, row = 0;
    for (int i = 0; i < desc.Height; ++i) {
      if (DGifGetLine(gif, line.data(), desc.Width) == GIF_ERROR) return damaged(gif, where, why);
      if (desc.Interlace) {
        if (i > 0) row += pass_step[pass];
        while (row >= desc.Height && pass < 3) row = pass_start[++pass];
      } else {
        row = i;
      }
      const int y = desc.Top + row;
      if (row >= desc.Height || y < 0 || y >= canvas.height) continue;
      for (int x = 0; x < desc.Width; ++x) {
        const int index = line[size_t(x)], column = desc.Left + x;
        // The transparent colour and indexes past the table leave what lies below.
        if (column < 0 || column >= canvas.width || index == control.TransparentColor || index >= colours->ColorCount)
          continue;
        uint8_t* pixel = &canvas.pixels[(size_t(y) * size_t(canvas.width) + size_t(column)) * 4];
        pixel[0] = colours->Colors[index].Red;
        pixel[1] = colours->Colors[index].Green;
        pixel[2] = colours->Colors[index].Blue;
        pixel[3] = 255;
      }
    }
    ++frames;
    if (!sink(canvas, viewer_delay_ms(int64_t{control.DelayTime} * 10), why)) return false;
    if (disposal == DISPOSE_PREVIOUS) {
      canvas.pixels.swap(saved);
    } else if (disposal == DISPOSE_BACKGROUND) {
      // Browsers clear to transparent rather than to the background colour.
      for (int y = std::max(0, desc.Top); y < std::min(canvas.height, desc.Top + desc.Height); ++y)
        for (int x = std::max(0, desc.Left); x < std::min(canvas.width, desc.Left + desc.Width); ++x)
          std::memset(&canvas.pixels[(size_t(y) * size_t(canvas.width) + size_t(x)) * 4], 0, 4);
    }
    control = GraphicsControlBlock{};
    control.TransparentColor = NO_TRANSPARENT_COLOR;
  }
  if (frames == 0) {
    why = "a GIF file without frames";
    return false;
  }
  return true;
}
