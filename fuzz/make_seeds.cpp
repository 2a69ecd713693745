// Writes the seed corpus of every fuzz target with the project's own writers: make_seeds DIRECTORY
// creates DIRECTORY/<target>/ with a few well-formed inputs and some near misses each.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <webp/encode.h>
#include <zlib.h>

#include "catalogue/archive_writer.h"
#include "package/pack_writer.h"
#include "support/test_packages.h"

namespace fs = std::filesystem;

namespace {

fs::path root;
bool failed = false;

void seed(const std::string& target, const std::string& name, const Bytes& bytes) {
  fs::create_directories(root / target);
  FILE* file = std::fopen((root / target / name).string().c_str(), "wb");
  if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) failed = true;
  if (file != nullptr) std::fclose(file);
}

Bytes package(const PackBuilder& builder, const char* tag) {
  Bytes file;
  if (!encode_package(builder, tag, file)) failed = true;
  return file;
}

TestAnimation animation_of(int32_t frames, bool loop, bool ping_pong) {
  TestAnimation animation;
  animation.name = "Seed";
  animation.x = -120;
  animation.y = 40;
  animation.loop = loop;
  animation.ping_pong = ping_pong;
  animation.canvas_width = animation.canvas_height = 8;
  for (int32_t i = 0; i < frames; ++i) {
    TestFrame frame;
    frame.width = frame.height = 8 - 2 * (i % 2);
    frame.red = static_cast<uint8_t>(60 * i);
    frame.alpha = static_cast<uint8_t>(255 - 50 * i);
    frame.left = -1.0f + 0.25f * i;
    frame.bottom = -1.0f + 0.125f * i;
    animation.frames.push_back(frame);
  }
  return animation;
}

void pack_seeds(const std::string& target) {
  PackBuilder sample;
  add_entry(sample, 0, "abc", 3);
  add_entry(sample, 12, "hello world", 11, -4);
  for (const char* tag : {"pck01", "pck02", "pck01z", "pck02s", "pck02zs", "pck01sz"})
    seed(target, std::string("sample-") + tag, package(sample, tag));
  seed(target, "empty-pck01", package(PackBuilder(), "pck01"));
  seed(target, "animation-pck02zs", package(test_package(animation_of(2, true, false)), "pck02zs"));
  PackBuilder outside = sample;
  add_row(outside, 7, 5, 1000);  // a row past the data block
  seed(target, "row-outside", package(outside, "pck01"));
}

void catalogue_seeds() {
  const std::string target = "catalogue_entry";
  seed(target, "plain", str(catalogue_entry_text("Velissa", -120, 40)));
  seed(target, "newer", str("c.2.\r\nfree line\r\nLater\r\n0,0\r\n"));
  seed(target, "damaged", str("c.0.\r\nfree line\r\nBroken\r\n0,0\r\n"));
  seed(target, "loose", str(" c.1\n\n\nname only\n  -7 ,x\n"));
  seed(target, "x-only", str("c.1.\r\nfree\r\nWide\r\n-120\r\n"));
  seed(target, "nul", str("c.1.\r\nfree\r\nNa") + Bytes{0} + str("me\r\n1,2\r\n"));
  seed(target, "long-name", str("c.1.\r\n\r\n" + std::string(1100, 'n') + "\r\n3,4"));
}

void description_package_seeds() {
  const std::string target = "description_package";
  seed(target, "loop", package(test_package(animation_of(3, true, false)), "pck01"));
  seed(target, "ping-pong", package(test_package(animation_of(3, true, true)), "pck01"));
  seed(target, "once", package(test_package(animation_of(2, false, false)), "pck01"));
  for (const char* magic : {"ks01", "ks03"}) {
    TestDescription description = test_description(animation_of(1, true, false));
    description.magic = magic;
    description.extra_flag = 1;
    description.extra = {1, 2, 3};
    PackBuilder builder;
    add_entry(builder, 1, description_bytes(description));
    add_entry(builder, 2, flat_color_jpeg(8, 8, 10, 200, 30));
    add_entry(builder, 3, flat_alpha_jpeg(8, 8, 128));
    seed(target, std::string("magic-") + magic, package(builder, "pck01"));
  }
}

void description_file_seeds() {
  const std::string target = "description_file";
  TestDescription description;
  description.canvas_width = description.canvas_height = 8;
  description.rects = {-1.0f, 1.0f, 1.0f, -1.0f, -0.5f, 0.5f, 0.5f, -0.5f};
  description.color_names = {"c.jpg", "c.jpg"};
  description.alpha_names = {"a.jpg", "a.jpg"};
  for (const char* magic : {"ks01", "ks02", "ks03"}) {
    description.magic = magic;
    description.extra_flag = 7;
    description.extra = {5};
    seed(target, magic, description_bytes(description));
  }
  description.magic = "ks02";
  description.color_names = {"input.ksd"};
  description.alpha_names = {"c.jpg"};
  seed(target, "self", description_bytes(description));
}

void archive_seeds(const std::string& target) {
  const auto member_package = [](const std::string& name) {
    TestAnimation animation;
    animation.name = name;
    return package(test_package(animation), "pck01");
  };
  Bytes archive;
  encode_archive({{"one.dat", member_package("One")}}, archive);
  seed(target, "one", archive);
  encode_archive({{"a.dat", member_package("A")}, {"b.dat", member_package("B")}, {"a.dat", member_package("C")}},
                 archive);
  seed(target, "three", archive);
  Bytes inner;
  encode_archive({{"deep.dat", member_package("Deep")}}, inner);
  encode_archive({{"inner.kar", inner}, {"top.dat", member_package("Top")}}, archive);
  seed(target, "nested", archive);
  encode_archive({{"notes.txt", str("not a package")}, {"../up.dat", member_package("Up")}}, archive);
  seed(target, "refused", archive);
  archive.clear();
  append_text(archive, kArchiveTag);
  append_int32(archive, 2);
  append_member(archive, {"cut.dat", member_package("Cut")});
  append_text(archive, "short.dat");
  append_int32(archive, 4000);
  append_bytes(archive, "abc", 3);
  seed(target, "cut", archive);
}

void append_be32(Bytes& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

void append_chunk(Bytes& png, const char* type, const Bytes& data) {
  append_be32(png, static_cast<uint32_t>(data.size()));
  const size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  append_be32(png, static_cast<uint32_t>(crc32(0, png.data() + start, static_cast<uInt>(png.size() - start))));
}

// Deflated rows of an RGBA picture, filter 0, every pixel the same.
Bytes rgba_rows(uint32_t width, uint32_t height, const unsigned char pixel[4]) {
  Bytes raw;
  for (uint32_t y = 0; y < height; ++y) {
    raw.push_back(0);
    for (uint32_t x = 0; x < width; ++x) raw.insert(raw.end(), pixel, pixel + 4);
  }
  uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
  Bytes packed(packed_size);
  compress(packed.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size()));
  packed.resize(packed_size);
  return packed;
}

// A 4 x 4 APNG: a full first frame, then a 2 x 2 part at (1, 1) that is disposed of to the previous state.
Bytes apng_seed() {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, header, actl, first, second;
  append_be32(header, 4);
  append_be32(header, 4);
  header.insert(header.end(), {8, 6, 0, 0, 0});
  append_chunk(png, "IHDR", header);
  append_be32(actl, 2);
  append_be32(actl, 0);
  append_chunk(png, "acTL", actl);
  for (uint32_t v : {0u, 4u, 4u, 0u, 0u}) append_be32(first, v);
  first.insert(first.end(), {0, 10, 0, 100, 0, 0});
  append_chunk(png, "fcTL", first);
  const unsigned char red[4] = {255, 0, 0, 255}, clear_blue[4] = {0, 0, 255, 128};
  append_chunk(png, "IDAT", rgba_rows(4, 4, red));
  for (uint32_t v : {1u, 2u, 2u, 1u, 1u}) append_be32(second, v);
  second.insert(second.end(), {0, 20, 0, 100, 2, 1});
  append_chunk(png, "fcTL", second);
  Bytes data;
  append_be32(data, 2);
  const Bytes rows = rgba_rows(2, 2, clear_blue);
  data.insert(data.end(), rows.begin(), rows.end());
  append_chunk(png, "fdAT", data);
  append_chunk(png, "IEND", {});
  return png;
}

void picture_seeds() {
  const std::string target = "picture";
  // 1 x 1 GIF frames of colour 0 (white), colour 1 transparent: two frames, looping, the second disposed of.
  const Bytes frame = {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 1, 0};
  Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 255, 255, 255, 0, 0, 0};
  const Bytes loop = {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0};
  gif.insert(gif.end(), loop.begin(), loop.end());
  for (unsigned char packed : {0x05, 0x09}) {
    const Bytes control = {0x21, 0xF9, 4, packed, 10, 0, 1, 0};
    gif.insert(gif.end(), control.begin(), control.end());
    gif.insert(gif.end(), frame.begin(), frame.end());
  }
  gif.push_back(0x3B);
  seed(target, "two-frames.gif", gif);
  seed(target, "apng.png", apng_seed());
  // An empty second animation control chunk in place of the end, whose loop count would lie past the
  // file's last byte.
  Bytes short_control = apng_seed();
  short_control.resize(short_control.size() - 12);  // IEND
  append_chunk(short_control, "acTL", {});
  seed(target, "apng-empty-last-actl.png", short_control);
  const unsigned char pixels[16] = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0, 9, 9, 9, 9};
  uint8_t* webp = nullptr;
  const size_t webp_size = WebPEncodeLosslessRGBA(pixels, 2, 2, 8, &webp);
  seed(target, "still.webp", Bytes(webp, webp + webp_size));
  WebPFree(webp);
}

// Scripts of drop_sequence: action bytes (0 drop, 1 hot key, 2 Exit, 3 menu, 4 pass), a kind byte after
// each drop, and one byte at each message box (odd: act inside it with the action in its upper bits).
void drop_sequence_seeds() {
  seed("drop_sequence", "good", Bytes{0, 0, 4, 4});
  seed("drop_sequence", "drop-inside-a-warning", Bytes{0, 2, 1, 1, 0, 4});
  seed("drop_sequence", "exit-inside-a-warning", Bytes{0, 2, 5, 4});
  seed("drop_sequence", "hot-key-inside-the-count", Bytes{0, 1, 3, 4, 4});
  seed("drop_sequence", "archive-then-menu", Bytes{0, 1, 0, 3, 1, 4});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds DIRECTORY\n");
    return 2;
  }
  root = argv[1];
  pack_seeds("pack_open");
  pack_seeds("inspect");
  archive_seeds("inspect");
  catalogue_seeds();
  description_package_seeds();
  description_file_seeds();
  archive_seeds("archive");
  picture_seeds();
  drop_sequence_seeds();
  if (failed) std::fprintf(stderr, "make_seeds: some seeds could not be written below %s\n", argv[1]);
  return failed ? 1 : 0;
}
