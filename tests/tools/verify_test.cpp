// velissa-pack verify: one broken piece at a time, each named, and only a whole package passing.
#include <cmath>
#include <functional>
#include <limits>
#include <map>

#include "support/test_packages.h"
#include "tool_test_support.h"

namespace {

// The entries of a good two-frame package (16 x 16 frames on a 64 x 64 canvas), by id.
struct Entries {
  TestAnimation animation;
  TestDescription description;
  std::map<int32_t, Bytes> by_id;
};

Entries good_entries() {
  Entries e;
  e.animation.name = "Good";
  e.animation.frames = {TestFrame{}, TestFrame{}};
  e.description = test_description(e.animation);
  e.by_id[0] = str(catalogue_entry_text("Good", -40, -20));
  for (int32_t id = 2; id <= 5; id += 2) {
    e.by_id[id] = flat_color_jpeg(16, 16, 200, 100, 50);
    e.by_id[id + 1] = flat_alpha_jpeg(16, 16, 180);
  }
  return e;
}

std::string write_entries(const TempDir& dir, const std::string& name, const Entries& e, bool with_description = true) {
  PackBuilder builder;
  for (const auto& [id, bytes] : e.by_id) {
    if (id == 1) continue;
    add_entry(builder, id, bytes);
  }
  if (with_description) add_entry(builder, 1, description_bytes(e.description));
  const std::string path = dir.file(name);
  EXPECT_TRUE(write_package(builder, "pck01", path.c_str()));
  return path;
}

std::string catalogue(const std::string& header, const std::string& offsets) {
  return header + "\r\nfree line\r\nGood\r\n" + offsets + "\r\n";
}

}  // namespace

TEST(Verify, AGoodPackagePasses) {
  TempDir dir;
  const ToolRun run = run_pack({"verify", write_entries(dir, "good.dat", good_entries())});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(contains(run.out, "good.dat: ok: 2 frames")) << run.out;
  EXPECT_TRUE(run.err.empty());
}

TEST(Verify, NamesEachBrokenPiece) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct Case {
    const char* expected;
    std::function<void(Entries&)> breaks;
  } cases[] = {
      {"no catalogue entry (entry 0)", [](Entries& e) { e.by_id.erase(0); }},
      {"catalogue line 1 \"x.1.\" is not", [](Entries& e) { e.by_id[0] = str(catalogue("x.1.", "0,0")); }},
      {"catalogue line 4 is not \"X,Y\"", [](Entries& e) { e.by_id[0] = str(catalogue("c.1.", "-120")); }},
      {"catalogue version 2: made for a newer program", [](Entries& e) { e.by_id[0] = str(catalogue("c.2.", "0,0")); }},
      {"catalogue version 0: a damaged package", [](Entries& e) { e.by_id[0] = str(catalogue("c.0.", "0,0")); }},
      {"description magic \"ks04\" is not", [](Entries& e) { e.description.magic = "ks04"; }},
      {"canvas 0x64 is outside 1 to 8192", [](Entries& e) { e.description.canvas_width = 0; }},
      {"the description has no frames",
       [](Entries& e) {
         e.description.rects.clear();
         e.description.color_names.clear();
         e.description.alpha_names.clear();
       }},
      {"frame 1: colour image missing (name \"4\")", [](Entries& e) { e.by_id.erase(4); }},
      {"frame 0: colour image missing (name \"x\")", [](Entries& e) { e.description.color_names[0] = "x"; }},
      {"frame 0: colour image not decodable", [](Entries& e) { e.by_id[2] = str("not a jpeg at all"); }},
      {"frame 0: colour image not 3-byte RGB", [](Entries& e) { e.by_id[2] = flat_alpha_jpeg(16, 16, 9); }},
      {"frame 1: image larger than the canvas", [](Entries& e) { e.by_id[4] = flat_color_jpeg(65, 16, 1, 2, 3); }},
      {"frame 0: alpha image missing (name \"3\")", [](Entries& e) { e.by_id.erase(3); }},
      {"frame 1: alpha image missing (no name)", [](Entries& e) { e.description.alpha_names.pop_back(); }},
      {"frame 0: alpha image not decodable", [](Entries& e) { e.by_id[3] = Bytes{0xFF, 0xD8, 0xFF}; }},
      {"frame 0: alpha image not 1-byte greyscale", [](Entries& e) { e.by_id[3] = flat_color_jpeg(16, 16, 9, 9, 9); }},
      {"frame 1: alpha image of another size", [](Entries& e) { e.by_id[5] = flat_alpha_jpeg(16, 15, 9); }},
      {"frame 0: no usable rectangle", [](Entries& e) { e.description.rects[2] = e.description.rects[0]; }},
      {"frame 1: no usable rectangle", [nan](Entries& e) { e.description.rects[5] = nan; }},
      {"broken.dat: every frame is fully transparent: nothing would be visible",
       [](Entries& e) {
         for (int32_t id : {2, 4}) {
           e.by_id[id] = flat_color_jpeg(16, 16, 0, 0, 0);
           e.by_id[id + 1] = flat_alpha_jpeg(16, 16, 0);
         }
       }},
      // Colour where the alpha image shows nothing: the desktop would add it as a haze.
      {"frame 1: the colour image does not match its alpha image", [](Entries& e) { e.by_id[5] = flat_alpha_jpeg(16, 16, 0); }},
      {"playback never leaves the first frame",
       [](Entries& e) { e.description.frame_duration = std::numeric_limits<double>::quiet_NaN(); }},
  };
  TempDir dir;
  for (const Case& c : cases) {
    Entries entries = good_entries();
    c.breaks(entries);
    const ToolRun run = run_pack({"verify", write_entries(dir, "broken.dat", entries)});
    EXPECT_EQ(run.status, 1) << c.expected;
    EXPECT_TRUE(contains(run.out, c.expected)) << c.expected << "\n" << run.out;
    EXPECT_EQ(count_lines(run.err), 1u) << run.err;
  }

  const ToolRun missing = run_pack({"verify", write_entries(dir, "bare.dat", good_entries(), false)});
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(contains(missing.out, "no description (entry 1)")) << missing.out;
}

TEST(Verify, ManyBrokenFramesAreCounted) {
  TempDir dir;
  Entries entries = good_entries();
  for (int32_t i = 0; i < 48; ++i) {
    entries.description.rects.insert(entries.description.rects.end(), {-1.0f, 1.0f, 1.0f, -1.0f});
    entries.description.color_names.push_back("1000");
    entries.description.alpha_names.push_back("1001");
  }
  const ToolRun run = run_pack({"verify", write_entries(dir, "many.dat", entries)});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(count_lines(run.out), 21u) << run.out;
  EXPECT_TRUE(contains(run.out, "many.dat: 28 more frames with problems")) << run.out;
  EXPECT_TRUE(contains(run.err, "many.dat: 48 problems")) << run.err;
}

TEST(Verify, WarningsDoNotFail) {
  TempDir dir;
  Entries entries = good_entries();
  entries.description.frame_duration = 0.0;
  entries.description.ping_pong = 1;
  entries.description.loop = 0;
  for (int32_t id : {3, 5}) entries.by_id[id] = flat_alpha_jpeg(16, 16, 255);
  const ToolRun run = run_pack({"verify", write_entries(dir, "odd.dat", entries)});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(contains(run.out, "warning: ping-pong without loop")) << run.out;
  EXPECT_TRUE(contains(run.out, "warning: every frame is fully opaque")) << run.out;
}

TEST(Verify, DamagedPackagesAndNames) {
  TempDir dir;
  const std::string junk = dir.file("junk.dat");
  write_bytes(junk, str("hello, world"));
  ToolRun run = run_pack({"verify", junk});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(contains(run.out, "not a package")) << run.out;

  // Rows outside the data block are dropped by the reader: the package is damaged even if it plays.
  PackBuilder builder = test_package(good_entries().animation);
  add_row(builder, 99, 1 << 20, 4);
  const std::string rows = dir.file("rows.dat");
  ASSERT_TRUE(write_package(builder, "pck01", rows.c_str()));
  run = run_pack({"verify", rows});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(contains(run.out, "1 entry rows are incomplete or outside the data")) << run.out;

  // A body that does not inflate.
  const std::string bad_zlib = dir.file("zlib.dat");
  write_bytes(bad_zlib, le32(6) + str("pck01z") + le32(64) + str("not deflate data"));
  run = run_pack({"verify", bad_zlib});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(contains(run.out, "the body does not decompress")) << run.out;

  // A good package under names that the catalogue or the installer treat otherwise.
  for (const char* name : {"good.bin", "unins000.dat", "a.kar", "dat"}) {
    run = run_pack({"verify", write_entries(dir, name, good_entries())});
    EXPECT_EQ(run.status, 1) << name;
    EXPECT_EQ(count_lines(run.out), 1u) << name << "\n" << run.out;
  }
  EXPECT_EQ(run_pack({"verify", dir.file("missing.dat")}).status, 1);
}
