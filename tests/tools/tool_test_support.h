// Running velissa-pack in the tests (in-process through the library, or the built program), PNG
// frames written with a small encoder of the tests' own (stored deflate blocks via zlib, so that the
// tool's picture reading is checked against bytes it did not make), and the test frames' pictures.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "tools/velissa_pack.h"

struct ToolRun {
  int status = -1;  // exit status; -1 when the program did not exit normally (a crash)
  std::string out;
  std::string err;
};

inline std::string read_stream(FILE* stream) {
  std::string text;
  std::rewind(stream);
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, stream)) > 0) text.append(buffer, got);
  std::fclose(stream);
  return text;
}

// velissa-pack with these arguments, run through the library in this process.
inline ToolRun run_pack(const std::vector<std::string>& args) {
  std::vector<std::string> words = {"velissa-pack"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  ToolRun run;
  run.status = velissa_pack_run(static_cast<int>(argv.size()), argv.data(), out, err);
  run.out = read_stream(out);
  run.err = read_stream(err);
  return run;
}

// The built program, through the shell (each argument quoted).
inline ToolRun run_pack_program(const TempDir& dir, const std::vector<std::string>& args) {
  const std::string err_path = dir.file("stderr.txt");
  std::string command = std::string("'") + VELISSA_PACK + "'";
  for (const std::string& arg : args) command += " '" + arg + "'";
  command += " 2>'" + err_path + "'";
  ToolRun run;
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, got);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.err = read_text(err_path);
  return run;
}

inline size_t count_lines(const std::string& text) {
  size_t lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// ---- Pictures ----
// RGBA, straight alpha, top row first.
struct Picture {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> rgba;
  uint8_t* at(int32_t x, int32_t y) { return &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4]; }
  const uint8_t* at(int32_t x, int32_t y) const { return &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4]; }
};

inline void append_be32(std::vector<unsigned char>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

inline void append_chunk(std::vector<unsigned char>& png, const char* type, const std::vector<unsigned char>& data) {
  append_be32(png, static_cast<uint32_t>(data.size()));
  const size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  append_be32(png, static_cast<uint32_t>(crc32(0, png.data() + start, static_cast<uInt>(png.size() - start))));
}

// An 8-bit RGBA PNG, rows top first, each with filter 0.
inline std::vector<unsigned char> png_bytes(const Picture& picture) {
  std::vector<unsigned char> raw;
  for (int32_t y = 0; y < picture.height; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), picture.at(0, y), picture.at(0, y) + size_t(picture.width) * 4);
  }
  uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
  std::vector<unsigned char> packed(packed_size);
  compress(packed.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size()));
  packed.resize(packed_size);

  std::vector<unsigned char> header;
  append_be32(header, static_cast<uint32_t>(picture.width));
  append_be32(header, static_cast<uint32_t>(picture.height));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter method, no interlace
  std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  append_chunk(png, "IHDR", header);
  append_chunk(png, "IDAT", packed);
  append_chunk(png, "IEND", {});
  return png;
}

inline std::string write_png(const TempDir& dir, const std::string& name, const Picture& picture) {
  const std::string path = dir.file(name);
  write_bytes(path, png_bytes(picture));
  return path;
}

// A test frame: a soft disc of one colour on a transparent field, centred at (cx, cy), with a smooth
// shade so that JPEG keeps it well; everything outside the disc has alpha 0.
inline Picture disc_frame(int32_t width, int32_t height, int32_t cx, int32_t cy, int32_t radius, uint8_t red,
                          uint8_t green, uint8_t blue) {
  Picture picture;
  picture.width = width;
  picture.height = height;
  picture.rgba.assign(size_t(width) * size_t(height) * 4, 0);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const double distance = std::sqrt(double((x - cx) * (x - cx) + (y - cy) * (y - cy)));
      const double coverage = std::min(1.0, std::max(0.0, radius - distance));
      if (coverage <= 0.0) continue;
      uint8_t* pixel = picture.at(x, y);
      pixel[0] = red;
      pixel[1] = green;
      pixel[2] = blue;
      pixel[3] = static_cast<uint8_t>(std::lround(coverage * 255.0));
    }
  return picture;
}

// The picture's pixel as the tool stores it: colour premultiplied by alpha.
inline uint8_t premultiplied(const uint8_t* pixel, int channel) {
  return static_cast<uint8_t>((pixel[channel] * pixel[3] + 127) / 255);
}

// Three 40 x 32 frames of discs that move and change colour; the last leaves every margin empty.
inline std::vector<Picture> moving_discs() {
  return {disc_frame(40, 32, 12, 12, 9, 230, 60, 40), disc_frame(40, 32, 22, 17, 10, 40, 200, 90),
          disc_frame(40, 32, 27, 19, 6, 50, 80, 220)};
}

// create with these options on the frames, written as PNG files beside path.
inline ToolRun run_create(const TempDir& dir, const std::string& path, const std::vector<Picture>& frames,
                          const std::vector<std::string>& options) {
  std::vector<std::string> args = {"create", path};
  args.insert(args.end(), options.begin(), options.end());
  for (size_t i = 0; i < frames.size(); ++i)
    args.push_back(write_png(dir, "frame" + std::to_string(i) + ".png", frames[i]));
  return run_pack(args);
}

// A package made by create in dir; returns its path.
inline std::string create_package(const TempDir& dir, const std::string& name, const std::vector<Picture>& frames,
                                  const std::vector<std::string>& options) {
  const std::string path = dir.file(name);
  const ToolRun run = run_create(dir, path, frames, options);
  EXPECT_EQ(run.status, 0) << run.err;
  return path;
}
