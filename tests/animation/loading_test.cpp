// Loading descriptions from packages and files: versions, flag bytes, extents, what a load holds and
// what a release frees, and the descriptions that are refused.
#include <cmath>
#include <cstring>
#include <limits>

#include "player_fixture.h"

namespace {

Bytes hex_bytes(std::initializer_list<int> values) {
  Bytes out;
  for (int v : values) out.push_back(static_cast<unsigned char>(v));
  return out;
}

// The one-frame "ks02" description written out byte by byte.
Bytes one_frame_ks02() {
  return hex_bytes({0x04, 0, 0, 0, 'k', 's', '0', '2', 0x01, 0x00, 0x9a, 0x99, 0x99, 0x99, 0x99, 0x99, 0xb9,
                    0x3f, 0xc8, 0, 0, 0, 0x2c, 0x01, 0, 0, 0x04, 0, 0, 0, 0x00, 0x00, 0x80, 0xbf, 0x00, 0x00,
                    0x80, 0x3f, 0x00, 0x00, 0x80, 0x3f, 0x00, 0x00, 0x80, 0xbf, 0x01, 0, 0, 0, 0x01, 0, 0, 0,
                    0x32, 0x01, 0, 0, 0, 0x01, 0, 0, 0, 0x33});
}

TestDescription two_frames(const char* magic) {
  TestDescription d;
  d.magic = magic;
  d.loop = 1;
  d.ping_pong = 1;
  d.frame_duration = 0.25;
  d.canvas_width = 40;
  d.canvas_height = 30;
  d.rects = {-1.0f, 1.0f, 0.5f, -0.5f, -0.5f, 0.5f, 0.25f, -0.75f};
  d.color_names = {"2", "4"};
  d.alpha_names = {"3", "5"};
  return d;
}

std::string name_at(const StringArray& names, int32_t i) {
  return names.data[i] != nullptr ? names.data[i] : "<null>";
}

}  // namespace

TEST_F(PlayerTest, OneFrameKs02PayloadLoadsByteForByte) {
  TestDescription d;
  d.canvas_width = 200;
  d.canvas_height = 300;
  d.rects = {-1.0f, 1.0f, 1.0f, -1.0f};
  d.color_names = {"2"};
  d.alpha_names = {"3"};
  ASSERT_EQ(description_bytes(d), one_frame_ks02());  // the helper writes what the format says

  PackBuilder builder;
  add_entry(builder, 1, one_frame_ks02());
  load(builder);
  EXPECT_EQ(frame_count(player), 1);
  EXPECT_EQ(name_at(player.color_images, 0), "2");
  EXPECT_EQ(name_at(player.alpha_images, 0), "3");
  EXPECT_TRUE(player.loop);
  EXPECT_FALSE(player.ping_pong);
  EXPECT_EQ(player.frame_duration, 0.1);
  EXPECT_EQ(player.canvas_width, 200);
  EXPECT_EQ(player.canvas_height, 300);
  EXPECT_EQ(player.max_right, 1.0f);
  EXPECT_EQ(player.min_bottom, -1.0f);
  EXPECT_EQ(player.package, &pack);
  EXPECT_EQ(player.description_id, 1);

  // The surface: a 200 x 300 bitmap selected into a memory DC, and two DevIL images.
  ASSERT_NE(player.pixels, nullptr);
  const std::vector<HeadlessCall> dibs = headless_calls_named("create_dib_section");
  ASSERT_EQ(dibs.size(), 1u);
  EXPECT_EQ(dibs[0].args, "dc#1, 200, 300");
  EXPECT_EQ(headless_calls_named("select_object")[0].result, "stock_bitmap");
  EXPECT_NE(player.color_image, 0u);
  EXPECT_NE(player.alpha_image, 0u);
  EXPECT_NE(player.color_image, player.alpha_image);
  EXPECT_EQ(live_image_names(), base_image_names + 2);
  EXPECT_TRUE(player.first_present_pending);
  EXPECT_TRUE(player.playing);
  EXPECT_FALSE(player.margins_known);
}

TEST_F(PlayerTest, VersionsReadTheirFields) {
  // ks01 has no loop, ping-pong or duration: they keep their released values.
  TestDescription d = two_frames("ks01");
  load(d);
  EXPECT_EQ(frame_count(player), 2);
  EXPECT_FALSE(player.loop);
  EXPECT_FALSE(player.ping_pong);
  EXPECT_EQ(player.frame_duration, 0.0);
  EXPECT_EQ(player.canvas_width, 40);
  EXPECT_EQ(player.frame_rects.count, 8);

  // ks03 with its extra integer list: consumed, no effect on what came before it.
  d = two_frames("ks03");
  d.extra_flag = 1;
  d.extra = {7, 8, 9};
  load(d);
  EXPECT_EQ(frame_count(player), 2);
  EXPECT_TRUE(player.loop);
  EXPECT_TRUE(player.ping_pong);
  EXPECT_EQ(player.frame_duration, 0.25);
  EXPECT_EQ(player.frame_rects.data[7], -0.75f);
  EXPECT_EQ(name_at(player.alpha_images, 1), "5");

  // Flag bytes are true only when they are 1.
  d = two_frames("ks03");
  d.loop = 2;
  d.ping_pong = 255;
  d.extra_flag = 2;
  load(d);
  EXPECT_EQ(frame_count(player), 2);
  EXPECT_FALSE(player.loop);
  EXPECT_FALSE(player.ping_pong);
}

TEST_F(PlayerTest, UnrecognisedMagicsLeaveThePlayerEmpty) {
  for (const char* magic : {"KS02", "Ks01", "ks04", "ks00", "ks0", "ks020", "ks 2", ""}) {
    SCOPED_TRACE(magic);
    load(two_frames(magic));
    EXPECT_EQ(frame_count(player), 0);
    EXPECT_EQ(player.package, &pack);  // recorded, as the shell expects
    EXPECT_EQ(player.description_id, 1);
    EXPECT_EQ(player.pixels, nullptr);
    EXPECT_EQ(headless_live_objects().bitmaps, 0);
    EXPECT_EQ(live_image_names(), base_image_names);
    const size_t before = update_count();
    present_frame(player);
    tick(player);
    EXPECT_EQ(update_count(), before);
  }
  // The magic is its text up to the first zero byte.
  TestDescription d = two_frames("ks02");
  d.magic = std::string("ks02\0tail", 9);
  load(d);
  EXPECT_EQ(frame_count(player), 2);
}

TEST_F(PlayerTest, AbsentPackageOrEntryLeavesThePlayerEmpty) {
  load(two_frames("ks02"));
  load_from_package(player, &pack, 5);
  EXPECT_EQ(frame_count(player), 0);
  EXPECT_EQ(player.description_id, 5);
  load_from_package(player, nullptr, 1);
  EXPECT_EQ(frame_count(player), 0);
  EXPECT_EQ(player.package, nullptr);
  EXPECT_EQ(headless_live_objects().bitmaps, 0);
}

TEST_F(PlayerTest, ExtentsAreTheOuterRightAndBottomEdges) {
  TestDescription d = two_frames("ks02");
  d.color_names.clear();
  d.alpha_names.clear();
  load(d);
  EXPECT_EQ(player.max_right, -1.0f);
  EXPECT_EQ(player.min_bottom, 1.0f);

  d = two_frames("ks02");
  d.rects = {-1.0f, 1.0f, 0.25f, -0.8f};
  d.color_names = {"2"};
  d.alpha_names = {"3"};
  load(d);
  EXPECT_EQ(player.max_right, 0.25f);
  EXPECT_EQ(player.min_bottom, -0.8f);

  // Over several frames; one with a NaN edge and one without a rectangle change nothing.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  d.rects = {-1.0f, 1.0f, 0.5f, -0.25f, -1.0f, 0.5f, 0.75f, -0.5f, -1.0f, 1.0f, nan, -0.9f, -1.0f, 1.0f};
  d.color_names = {"2", "4", "6", "8"};
  d.alpha_names = {"3", "5", "7", "9"};
  load(d);
  EXPECT_EQ(player.max_right, 0.75f);
  EXPECT_EQ(player.min_bottom, -0.5f);
}

TEST_F(PlayerTest, LoadingTwiceHoldsOneSurfaceAndTwoImages) {
  player.anchor_x = 11;
  player.offset_y = -7;
  player.alpha = 99;
  player.fade_direction = -1;
  load(two_frames("ks02"));
  load(two_frames("ks03"));
  HeadlessObjectCounts live = headless_live_objects();
  EXPECT_EQ(live.bitmaps, 1);
  EXPECT_EQ(live.device_contexts, 1);
  EXPECT_EQ(live_image_names(), base_image_names + 2);

  player.frame_index = 1;
  player.played_through = true;
  player.reverse = true;
  player.playing = false;
  player_release(player);
  live = headless_live_objects();
  EXPECT_EQ(live.bitmaps, 0);
  EXPECT_EQ(live.device_contexts, 0);
  EXPECT_EQ(live_image_names(), base_image_names);
  EXPECT_EQ(frame_count(player), 0);
  EXPECT_EQ(player.frame_rects.count, 0);
  EXPECT_EQ(player.frame_index, 0);
  EXPECT_EQ(player.canvas_width, 0);
  EXPECT_FALSE(player.played_through);
  EXPECT_FALSE(player.reverse);
  EXPECT_TRUE(player.playing);
  EXPECT_TRUE(player.first_present_pending);
  EXPECT_EQ(player.package, nullptr);
  EXPECT_EQ(player.color_image, 0u);
  // What the shell and the fade own stays.
  EXPECT_EQ(player.description_id, 1);
  EXPECT_EQ(player.anchor_x, 11);
  EXPECT_EQ(player.offset_y, -7);
  EXPECT_EQ(player.alpha, 99);
  EXPECT_EQ(player.fade_direction, -1);
  EXPECT_EQ(player.window, window);
}

TEST_F(PlayerTest, CanvasOutsideItsBoundsRefusesTheLoad) {
  const int32_t sizes[][2] = {{0, 10}, {10, 0}, {-5, 10}, {10, -1}, {kMaxCanvasSide + 1, 1},
                              {1, kMaxCanvasSide + 1}, {std::numeric_limits<int32_t>::min(), 4}};
  for (const auto& size : sizes) {
    SCOPED_TRACE(::testing::Message() << size[0] << " x " << size[1]);
    TestDescription d = two_frames("ks02");
    d.canvas_width = size[0];
    d.canvas_height = size[1];
    load(d);
    EXPECT_EQ(frame_count(player), 0);
    EXPECT_EQ(player.package, &pack);
    EXPECT_TRUE(headless_calls_named("create_dib_section").empty());
    EXPECT_EQ(live_image_names(), base_image_names);
    headless_clear_calls();
  }
  TestDescription d = two_frames("ks02");
  d.canvas_width = kMaxCanvasSide;
  d.canvas_height = 1;
  load(d);
  EXPECT_EQ(frame_count(player), 2);
  EXPECT_NE(player.pixels, nullptr);
}

TEST_F(PlayerTest, DescriptionsCutAnywhereLoadSafely) {
  TestDescription d = two_frames("ks03");
  d.extra_flag = 1;
  d.extra = {1, 2};
  const Bytes whole = description_bytes(d);
  for (size_t length = 0; length <= whole.size(); ++length) {
    PackBuilder builder;
    add_entry(builder, 1, whole.data(), static_cast<int32_t>(length));
    load(builder);
    // Names run short as null entries; a frame without its data is skipped, never read past.
    EXPECT_LE(frame_count(player), 2);
    EXPECT_LE(player.alpha_images.count, 2);
    present_frame(player);
    tick(player);
  }
  EXPECT_EQ(frame_count(player), 2);
}

// ---- The file form ----

class DescriptionFileTest : public PlayerTest {
 protected:
  void load_file(const Bytes& bytes) {
    const std::string path = dir.file("description.bin");
    write_bytes(path, bytes);
    load_from_file(player, path.c_str());
  }
};

TEST_F(DescriptionFileTest, ReadsTheSameFieldsAsThePackageForm) {
  player.description_id = 42;
  load_file(description_bytes(two_frames("ks02")));
  EXPECT_EQ(frame_count(player), 2);
  EXPECT_TRUE(player.loop);
  EXPECT_TRUE(player.ping_pong);
  EXPECT_EQ(player.frame_duration, 0.25);
  EXPECT_EQ(player.canvas_height, 30);
  EXPECT_EQ(player.frame_rects.data[6], 0.25f);
  EXPECT_EQ(name_at(player.color_images, 1), "4");
  EXPECT_EQ(player.max_right, 0.5f);
  EXPECT_EQ(player.min_bottom, -0.75f);
  EXPECT_EQ(player.package, nullptr);
  EXPECT_EQ(player.description_id, 42);
  EXPECT_NE(player.pixels, nullptr);
  EXPECT_EQ(live_image_names(), base_image_names + 2);

  load_file(description_bytes(two_frames("ks01")));
  EXPECT_EQ(frame_count(player), 2);
  EXPECT_FALSE(player.loop);
  EXPECT_EQ(player.frame_duration, 0.0);
}

TEST_F(DescriptionFileTest, ExtraFlagIsAnyNonZeroByte) {
  // A flag byte of 2 is true here (false in a package): the integer list after it is read past.
  TestDescription d = two_frames("ks03");
  d.loop = 2;
  d.extra_flag = 2;
  d.extra = {5, 6};
  load_file(description_bytes(d));
  EXPECT_EQ(frame_count(player), 2);
  EXPECT_FALSE(player.loop);  // fields 2 and 3 still need exactly 1
  EXPECT_TRUE(player.ping_pong);
  EXPECT_EQ(name_at(player.alpha_images, 1), "5");

  // A list count the file cannot hold allocates nothing and reads nothing.
  Bytes bytes = description_bytes(two_frames("ks03"));
  bytes.back() = 1;
  load_file(bytes + le32(1 << 30));
  EXPECT_EQ(frame_count(player), 2);
}

TEST_F(DescriptionFileTest, MagicLengthOutsideTheBufferIsUnrecognised) {
  const Bytes whole = description_bytes(two_frames("ks02"));
  const Bytes body(whole.begin() + 8, whole.end());  // all after the magic record
  load_file(le32(-1) + str("ks02") + body);
  EXPECT_EQ(frame_count(player), 0);
  load_file(le32(1000) + str("ks02") + Bytes(996, 0) + body);
  EXPECT_EQ(frame_count(player), 0);
  load_file(le32(17) + str("ks02") + Bytes(13, 0) + body);
  EXPECT_EQ(frame_count(player), 0);
  // Sixteen bytes still fit; the text ends at the first zero byte.
  load_file(le32(16) + str("ks02") + Bytes(12, 0) + body);
  EXPECT_EQ(frame_count(player), 2);
  load_file(le32(4) + str("ks0"));  // the file ends inside the magic
  EXPECT_EQ(frame_count(player), 0);
  load_from_file(player, dir.file("no-such-file").c_str());
  EXPECT_EQ(frame_count(player), 0);
  load_from_file(player, nullptr);
  EXPECT_EQ(frame_count(player), 0);
}

TEST_F(DescriptionFileTest, FilesCutAnywhereLoadSafely) {
  const Bytes whole = description_bytes(two_frames("ks02"));
  for (size_t length = 0; length <= whole.size(); ++length) {
    load_file(Bytes(whole.begin(), whole.begin() + static_cast<long>(length)));
    EXPECT_LE(frame_count(player), 2);
    present_frame(player);
  }
  EXPECT_EQ(frame_count(player), 2);
}
