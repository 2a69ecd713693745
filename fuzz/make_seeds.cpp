// Writes the seed corpus of every fuzz target with the project's own writers: make_seeds DIRECTORY
// creates DIRECTORY/<target>/ with a few well-formed inputs and some near misses each.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

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
  drop_sequence_seeds();
  if (failed) std::fprintf(stderr, "make_seeds: some seeds could not be written below %s\n", argv[1]);
  return failed ? 1 : 0;
}
