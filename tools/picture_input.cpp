// Picture files for create: what kind a file is, still pictures, and PNG files with their APNG frames.
// No Debian library reads APNG (Debian's libpng lacks the APNG patch), so each APNG frame is rebuilt as
// a plain PNG file of its own (the header with the frame's size, the shared palette and colour chunks,
// its data chunks) and decoded like any PNG; composing the frames is ours.
#include "tools/picture_input.h"

#include <array>
#include <cstring>

#include "tools/tool_common.h"

namespace {

const unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

uint32_t big_endian32(const unsigned char* at) {
  return uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | uint32_t{at[3]};
}
uint32_t big_endian16(const unsigned char* at) { return uint32_t{at[0]} << 8 | uint32_t{at[1]}; }

void append_big_endian32(std::vector<unsigned char>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

// PNG's CRC-32 (that of zlib, which only package/ links).
uint32_t crc32_of(const unsigned char* bytes, size_t size) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> entries{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      entries[n] = c;
    }
    return entries;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

void append_chunk(std::vector<unsigned char>& png, const char* type, const unsigned char* data, uint32_t length) {
  append_big_endian32(png, length);
  const size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  if (length > 0) png.insert(png.end(), data, data + length);
  append_big_endian32(png, crc32_of(png.data() + start, png.size() - start));
}

struct Chunk {
  const unsigned char* start;  // the length field
  uint32_t length;
  const unsigned char* data;
  bool is(const char* type) const { return std::memcmp(start + 4, type, 4) == 0; }
  size_t whole_size() const { return size_t{length} + 12; }
};

// One APNG frame: its control chunk's fields and its image data, in pieces.
struct ApngFrame {
  uint32_t width, height, x, y;
  int32_t delay_ms;
  uint8_t dispose, blend;
  std::vector<std::pair<const unsigned char*, uint32_t>> data;
};

constexpr uint8_t kDisposeBackground = 1, kDisposePrevious = 2, kBlendSource = 0;  // the others: none, over

// The pixel of src drawn over dst, both straight alpha.
void blend_over(uint8_t* dst, const uint8_t* src) {
  const uint32_t sa = src[3], da = dst[3];
  if (sa == 255 || da == 0) {
    std::memcpy(dst, src, 4);
    return;
  }
  if (sa == 0) return;
  const uint32_t weight_src = sa * 255, weight_dst = da * (255 - sa), total = weight_src + weight_dst;
  for (int c = 0; c < 3; ++c) dst[c] = static_cast<uint8_t>((src[c] * weight_src + dst[c] * weight_dst + total / 2) / total);
  dst[3] = static_cast<uint8_t>((total + 127) / 255);
}

// The frame rebuilt as a PNG file of its own.
std::vector<unsigned char> frame_png(const Chunk& header, const std::vector<Chunk>& shared, const ApngFrame& frame) {
  std::vector<unsigned char> png(kPngSignature, kPngSignature + 8);
  unsigned char fields[13];
  std::memcpy(fields, header.data, 13);
  for (int i = 0; i < 4; ++i) {
    fields[i] = static_cast<unsigned char>(frame.width >> (24 - 8 * i));
    fields[4 + i] = static_cast<unsigned char>(frame.height >> (24 - 8 * i));
  }
  append_chunk(png, "IHDR", fields, 13);
  for (const Chunk& chunk : shared) png.insert(png.end(), chunk.start, chunk.start + chunk.whole_size());
  for (const auto& piece : frame.data) append_chunk(png, "IDAT", piece.first, piece.second);
  append_chunk(png, "IEND", nullptr, 0);
  return png;
}

bool compose_apng(const Chunk& header, const std::vector<Chunk>& shared, const std::vector<ApngFrame>& frames,
                  int32_t max_side, const FrameSink& sink, std::string& why) {
  RgbaPicture canvas;
  canvas.width = static_cast<int32_t>(big_endian32(header.data));
  canvas.height = static_cast<int32_t>(big_endian32(header.data + 4));
  canvas.pixels.assign(size_t(canvas.width) * size_t(canvas.height) * 4, 0);
  std::vector<uint8_t> saved;
  for (size_t i = 0; i < frames.size(); ++i) {
    const ApngFrame& frame = frames[i];
    const std::string where = "frame " + std::to_string(i + 1) + " of " + std::to_string(frames.size()) + ": ";
    if (frame.data.empty()) {
      why = where + "no image data";
      return false;
    }
    RgbaPicture part;
    const std::vector<unsigned char> png = frame_png(header, shared, frame);
    if (!decode_png(png.data(), png.size(), max_side, part, nullptr, why)) {
      why = where + why;
      return false;
    }
    if (uint32_t(part.width) != frame.width || uint32_t(part.height) != frame.height) {
      why = where + "the image library decoded another size";
      return false;
    }
    // The first frame's "previous" state is the empty canvas: it is cleared like "background".
    const uint8_t dispose = i == 0 && frame.dispose == kDisposePrevious ? kDisposeBackground : frame.dispose;
    if (dispose == kDisposePrevious) saved = canvas.pixels;
    for (uint32_t row = 0; row < frame.height; ++row) {
      uint8_t* to = &canvas.pixels[((size_t(frame.y) + row) * size_t(canvas.width) + frame.x) * 4];
      const uint8_t* from = &part.pixels[size_t(row) * frame.width * 4];
      if (frame.blend == kBlendSource) {
        std::memcpy(to, from, size_t(frame.width) * 4);
      } else {
        for (uint32_t column = 0; column < frame.width; ++column) blend_over(to + column * 4, from + column * 4);
      }
    }
    if (!sink(canvas, frame.delay_ms, why)) return false;
    if (dispose == kDisposePrevious) {
      canvas.pixels.swap(saved);
    } else if (dispose == kDisposeBackground) {
      for (uint32_t row = 0; row < frame.height; ++row)
        std::memset(&canvas.pixels[((size_t(frame.y) + row) * size_t(canvas.width) + frame.x) * 4], 0,
                    size_t(frame.width) * 4);
    }
  }
  return true;
}

// An fcTL chunk's fields, checked against the canvas.
bool read_frame_control(const Chunk& chunk, uint32_t canvas_width, uint32_t canvas_height, ApngFrame& frame,
                        std::string& why) {
  if (chunk.length != 26) {
    why = "an APNG frame control chunk of " + std::to_string(chunk.length) + " bytes, not 26";
    return false;
  }
  const unsigned char* d = chunk.data;
  frame.width = big_endian32(d + 4);
  frame.height = big_endian32(d + 8);
  frame.x = big_endian32(d + 12);
  frame.y = big_endian32(d + 16);
  const uint32_t numerator = big_endian16(d + 20), denominator = big_endian16(d + 22);
  frame.dispose = d[24];
  frame.blend = d[25];
  if (frame.width == 0 || frame.height == 0 || uint64_t{frame.x} + frame.width > canvas_width ||
      uint64_t{frame.y} + frame.height > canvas_height || frame.dispose > 2 || frame.blend > 1) {
    why = "an APNG frame outside the picture or with unknown disposal or blending";
    return false;
  }
  // A denominator of 0 means hundredths of a second.
  frame.delay_ms = viewer_delay_ms((int64_t{numerator} * 1000 + (denominator == 0 ? 100 : denominator) / 2) /
                                   (denominator == 0 ? 100 : denominator));
  return true;
}

}  // namespace

int32_t viewer_delay_ms(int64_t stated_ms) {
  if (stated_ms <= 10) return 100;
  return stated_ms > INT32_MAX ? INT32_MAX : static_cast<int32_t>(stated_ms);
}

bool read_png(const unsigned char* bytes, size_t size, int32_t max_side, const FrameSink& sink, PictureFileInfo& info,
              std::string& why) {
  // The chunks up to the end or to the first one that runs past the data.
  std::vector<Chunk> chunks;
  for (size_t at = 8; size - at >= 12;) {
    Chunk chunk{bytes + at, big_endian32(bytes + at), bytes + at + 8};
    if (chunk.length > size - at - 12) break;
    chunks.push_back(chunk);
    at += chunk.whole_size();
    if (chunk.is("IEND")) break;
  }
  const bool header = !chunks.empty() && chunks[0].is("IHDR") && chunks[0].length == 13;
  bool animated = false, seen_image_data = false;
  for (const Chunk& chunk : chunks) {
    if (chunk.is("IDAT")) seen_image_data = true;
    if (chunk.is("acTL") && !seen_image_data && chunk.length == 8) animated = true;
    if (chunk.is("tRNS")) info.has_alpha = true;
  }
  if (header) info.has_alpha = info.has_alpha || (chunks[0].data[9] & 4) != 0;  // grey or colour with alpha
  if (!header || !animated) {
    RgbaPicture picture;
    bool has_alpha = false;
    if (!decode_png(bytes, size, max_side, picture, &has_alpha, why)) return false;
    info.has_alpha = info.has_alpha || has_alpha;
    return sink(picture, 0, why);
  }

  info.kind = PICTURE_APNG;
  info.timed = true;
  const uint32_t canvas_width = big_endian32(chunks[0].data), canvas_height = big_endian32(chunks[0].data + 4);
  if (canvas_width == 0 || canvas_height == 0 || canvas_width > uint32_t(max_side) ||
      canvas_height > uint32_t(max_side)) {
    why = "its size " + std::to_string(canvas_width) + "x" + std::to_string(canvas_height) + " is outside 1 to " +
          std::to_string(max_side) + " pixels a side";
    return false;
  }
  std::vector<Chunk> shared;  // palette, transparency, colour space: every frame's file holds them
  std::vector<ApngFrame> frames;
  seen_image_data = false;
  for (size_t i = 1; i < chunks.size(); ++i) {
    const Chunk& chunk = chunks[i];
    if (chunk.is("acTL")) {
      if (chunk.length == 8) info.loops = big_endian32(chunk.data + 4) == 0;  // a later, shorter one is ignored
    } else if (chunk.is("fcTL")) {
      if (frames.size() >= size_t(kMaxFramesPerFile)) {
        why = "more than " + std::to_string(kMaxFramesPerFile) + " frames";
        return false;
      }
      ApngFrame frame{};
      if (!read_frame_control(chunk, canvas_width, canvas_height, frame, why)) return false;
      // The default image, when it is a frame, fills the canvas.
      if (!seen_image_data && (frame.x != 0 || frame.y != 0 || frame.width != canvas_width ||
                               frame.height != canvas_height)) {
        why = "the first APNG frame does not cover the picture";
        return false;
      }
      frames.push_back(frame);
    } else if (chunk.is("IDAT")) {
      // Part of the animation only when a frame control came before it.
      if (!frames.empty()) frames.back().data.emplace_back(chunk.data, chunk.length);
      seen_image_data = true;
    } else if (chunk.is("fdAT")) {
      if (!frames.empty() && seen_image_data && chunk.length > 4)
        frames.back().data.emplace_back(chunk.data + 4, chunk.length - 4);
    } else if (!seen_image_data && !chunk.is("IEND")) {
      shared.push_back(chunk);
    }
  }
  if (frames.empty()) {
    why = "an APNG file without frames";
    return false;
  }
  return compose_apng(chunks[0], shared, frames, max_side, sink, why);
}

#ifndef VELISSA_HAVE_GIFLIB
bool read_gif(const unsigned char*, size_t, int32_t, const FrameSink&, PictureFileInfo&, std::string& why) {
  why = "this velissa-pack reads no GIF files (it was built without giflib): save the frames as PNG files";
  return false;
}
#endif

#ifndef VELISSA_HAVE_WEBP
bool read_webp(const unsigned char*, size_t, int32_t, const FrameSink&, PictureFileInfo&, std::string& why) {
  why = "this velissa-pack reads no WebP files (it was built without libwebp): save the frames as PNG files";
  return false;
}
#endif

bool read_picture_bytes(const unsigned char* bytes, size_t size, const char* path, int32_t max_side,
                        const FrameSink& sink, PictureFileInfo& info, std::string& why) {
  info = PictureFileInfo();
  if (size == 0) {
    why = "an empty file";
    return false;
  }
  const FrameSink counted = [&](const RgbaPicture& frame, int32_t delay_ms, std::string& sink_why) {
    if (++info.frames > kMaxFramesPerFile) {
      sink_why = "more than " + std::to_string(kMaxFramesPerFile) + " frames";
      return false;
    }
    return sink(frame, delay_ms, sink_why);
  };
  if (size >= 6 && (std::memcmp(bytes, "GIF87a", 6) == 0 || std::memcmp(bytes, "GIF89a", 6) == 0)) {
    info.kind = PICTURE_GIF;
    return read_gif(bytes, size, max_side, counted, info, why);
  }
  if (size >= 12 && std::memcmp(bytes, "RIFF", 4) == 0 && std::memcmp(bytes + 8, "WEBP", 4) == 0) {
    info.kind = PICTURE_WEBP;
    return read_webp(bytes, size, max_side, counted, info, why);
  }
  if (size >= 8 && std::memcmp(bytes, kPngSignature, 8) == 0) {
    info.kind = PICTURE_PNG;
    return read_png(bytes, size, max_side, counted, info, why);
  }
  RgbaPicture picture;
  if (!load_picture(path, max_side, picture, &info.has_alpha, why)) return false;
  return counted(picture, 0, why);
}

bool read_picture_file(const char* path, int32_t max_side, const FrameSink& sink, PictureFileInfo& info,
                       std::string& why) {
  info = PictureFileInfo();
  std::vector<unsigned char> bytes;
  if (!read_whole_file(path, bytes, why)) return false;
  return read_picture_bytes(bytes.data(), bytes.size(), path, max_side, sink, info, why);
}
