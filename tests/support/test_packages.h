// Test animations: JPEG images encoded with DevIL, animation descriptions in their byte form, and
// whole packages (catalogue entry, description, frame images) written with the package writer.
#pragma once

#include <IL/il.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "package/pack_writer.h"
#include "support/bytes.h"

// Encodes width x height pixels, rows top first, as a JPEG file: channels 3 (red, green, blue) or
// 1 (grey). Initialises DevIL if nothing has.
inline Bytes encode_jpeg(const uint8_t* pixels, int32_t width, int32_t height, int32_t channels,
                         int32_t quality = 95) {
  ilInit();
  ILuint image = 0;
  ilGenImages(1, &image);
  ilBindImage(image);
  const ILenum format = channels == 3 ? IL_RGB : IL_LUMINANCE;
  Bytes file;
  if (ilTexImage(width, height, 1, static_cast<ILubyte>(channels), format, IL_UNSIGNED_BYTE, nullptr)) {
    // A new image counts its rows from the bottom; the writer turns them to top first.
    const bool bottom_first = ilGetInteger(IL_IMAGE_ORIGIN) == IL_ORIGIN_LOWER_LEFT;
    const size_t row_bytes = static_cast<size_t>(width) * channels;
    uint8_t* data = ilGetData();
    for (int32_t row = 0; row < height; ++row) {
      const int32_t stored = bottom_first ? height - 1 - row : row;
      std::memcpy(data + row_bytes * stored, pixels + row_bytes * row, row_bytes);
    }
    ilSetInteger(IL_JPG_QUALITY, quality);
    file.resize(ilSaveL(IL_JPG, nullptr, 0));
    file.resize(ilSaveL(IL_JPG, file.data(), static_cast<ILuint>(file.size())));
  }
  ilDeleteImages(1, &image);
  return file;
}

inline Bytes flat_color_jpeg(int32_t width, int32_t height, uint8_t red, uint8_t green, uint8_t blue) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
  for (size_t i = 0; i < pixels.size(); i += 3) {
    pixels[i] = red;
    pixels[i + 1] = green;
    pixels[i + 2] = blue;
  }
  return encode_jpeg(pixels.data(), width, height, 3);
}

inline Bytes flat_alpha_jpeg(int32_t width, int32_t height, uint8_t alpha) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height, alpha);
  return encode_jpeg(pixels.data(), width, height, 1);
}

// An animation description field by field; the flag bytes are raw so that bad ones can be written.
struct TestDescription {
  std::string magic = "ks02";
  uint8_t loop = 1;
  uint8_t ping_pong = 0;
  double frame_duration = 0.1;
  int32_t canvas_width = 64;
  int32_t canvas_height = 64;
  std::vector<float> rects;  // four per frame: left, top, right, bottom
  std::vector<std::string> color_names;
  std::vector<std::string> alpha_names;
  uint8_t extra_flag = 0;      // ks03 only
  std::vector<int32_t> extra;  // written after a non-zero extra_flag
};

inline Bytes text_record(const std::string& text) {
  return le32(static_cast<int32_t>(text.size())) + str(text);
}

inline Bytes description_bytes(const TestDescription& d) {
  Bytes out = text_record(d.magic);
  const bool v2 = d.magic != "ks01";
  if (v2) {
    out.push_back(d.loop);
    out.push_back(d.ping_pong);
    Bytes duration(8);
    std::memcpy(duration.data(), &d.frame_duration, 8);
    out = out + duration;
  }
  out = out + le32(d.canvas_width) + le32(d.canvas_height) + le32(static_cast<int32_t>(d.rects.size()));
  for (float edge : d.rects) {
    Bytes bytes(4);
    std::memcpy(bytes.data(), &edge, 4);
    out = out + bytes;
  }
  for (const auto* names : {&d.color_names, &d.alpha_names}) {
    out = out + le32(static_cast<int32_t>(names->size()));
    for (const std::string& name : *names) out = out + text_record(name);
  }
  if (d.magic == "ks03") {
    out.push_back(d.extra_flag);
    if (d.extra_flag != 0) {
      out = out + le32(static_cast<int32_t>(d.extra.size()));
      for (int32_t value : d.extra) out = out + le32(value);
    }
  }
  return out;
}

// One frame of a test animation: a flat colour, a flat alpha, and where it lies in the area.
struct TestFrame {
  int32_t width = 16, height = 16;
  uint8_t red = 0, green = 0, blue = 0, alpha = 255;
  float left = -1.0f, top = 1.0f, right = 1.0f, bottom = -1.0f;
};

struct TestAnimation {
  std::string name = "Test";
  int32_t x = 0, y = 0;  // the catalogue position
  bool loop = true;
  bool ping_pong = false;
  double frame_duration = 0.1;
  int32_t canvas_width = 64, canvas_height = 64;
  std::vector<TestFrame> frames;
};

// Entry 0 of a package: "c.1.", a free line, the name, "x,y".
inline std::string catalogue_entry_text(const std::string& name, int32_t x, int32_t y) {
  return "c.1.\r\nmade by the tests\r\n" + name + "\r\n" + std::to_string(x) + "," + std::to_string(y) + "\r\n";
}

inline void add_entry(PackBuilder& builder, int32_t id, const Bytes& bytes) {
  add_entry(builder, id, bytes.data(), static_cast<int32_t>(bytes.size()));
}

// The description of an animation whose frame i has its colour image in entry 2 + 2i and its alpha
// image in entry 3 + 2i.
inline TestDescription test_description(const TestAnimation& animation) {
  TestDescription d;
  d.loop = animation.loop ? 1 : 0;
  d.ping_pong = animation.ping_pong ? 1 : 0;
  d.frame_duration = animation.frame_duration;
  d.canvas_width = animation.canvas_width;
  d.canvas_height = animation.canvas_height;
  for (size_t i = 0; i < animation.frames.size(); ++i) {
    const TestFrame& f = animation.frames[i];
    d.rects.insert(d.rects.end(), {f.left, f.top, f.right, f.bottom});
    d.color_names.push_back(std::to_string(2 + 2 * i));
    d.alpha_names.push_back(std::to_string(3 + 2 * i));
  }
  return d;
}

// Entries 0 (catalogue), 1 (description) and the frames' images.
inline PackBuilder test_package(const TestAnimation& animation) {
  PackBuilder builder;
  add_entry(builder, 0, str(catalogue_entry_text(animation.name, animation.x, animation.y)));
  add_entry(builder, 1, description_bytes(test_description(animation)));
  for (size_t i = 0; i < animation.frames.size(); ++i) {
    const TestFrame& f = animation.frames[i];
    const int32_t id = static_cast<int32_t>(2 + 2 * i);
    add_entry(builder, id, flat_color_jpeg(f.width, f.height, f.red, f.green, f.blue));
    add_entry(builder, id + 1, flat_alpha_jpeg(f.width, f.height, f.alpha));
  }
  return builder;
}

inline bool write_test_package(const std::string& path, const TestAnimation& animation,
                               const char* tag = "pck01") {
  return write_package(test_package(animation), tag, path.c_str());
}
