// Loading descriptions from packages and files: versions, flag bytes, extents, what a load holds and
// what a release frees, and the descriptions that are refused.
#include <limits>

#include "player_fixture.h"

namespace {

TestDescription two_frames(const char* magic) {
  TestDescription d;
  d.magic = magic;
  d.ping_pong = 1;
  d.frame_duration = 0.25;
  d.canvas_width = 40;
  d.canvas_height = 30;
  d.rects = {-1.0f, 1.0f, 0.5f, -0.5f, -0.5f, 0.5f, 0.25f, -0.75f};
  d.color_names = {"2", "4"};
  d.alpha_names = {"3", "5"};
  return d;
}

std::string name_at(const StringArray& names, int32_t i) { return names.data[i] ? names.data[i] : "<null>"; }

}  // namespace

TEST_F(PlayerTest, OneFrameKs02PayloadLoadsByteForByte) {
  const int bytes[] = {0x04, 0, 0, 0, 'k', 's', '0', '2', 0x01, 0x00, 0x9a, 0x99, 0x99, 0x99, 0x99, 0x99,
                       0xb9, 0x3f, 0xc8, 0, 0, 0, 0x2c, 0x01, 0, 0, 0x04, 0, 0, 0, 0x00, 0x00, 0x80, 0xbf,
                       0x00, 0x00, 0x80, 0x3f, 0x00, 0x00, 0x80, 0x3f, 0x00, 0x00, 0x80, 0xbf, 0x01, 0, 0, 0,
                       0x01, 0, 0, 0, 0x32, 0x01, 0, 0, 0, 0x01, 0, 0, 0, 0x33};
  const Bytes payload(std::begin(bytes), std::end(bytes));
  TestDescription d;
  d.canvas_width = 200;
  d.canvas_height = 300;
  d.rects = {-1.0f, 1.0f, 1.0f, -1.0f};
  d.color_names = {"2"};
  d.alpha_names = {"3"};
  ASSERT_EQ(description_bytes(d), payload);  // the helper writes what the format says

  PackBuilder builder;
  add_entry(builder, 1, payload);
  load(builder);
  EXPECT_EQ(frame_count(player), 1);
  EXPECT_EQ(name_at(player.color_images, 0), "2");
  EXPECT_EQ(name_at(player.alpha_images, 0), "3");
  EXPECT_TRUE(player.loop);
  EXPECT_FALSE(player.ping_pong);
  EXPECT_EQ(player.frame_duration, 0.1);
  EXPECT_EQ(player.max_right, 1.0f);
  EXPECT_EQ(player.min_bottom, -1.0f);
  EXPECT_EQ(player.package, &pack);
  EXPECT_EQ(player.description_id, 1);
  // A 200 x 300 surface selected into a memory DC, and two DevIL images.
  ASSERT_NE(player.pixels, nullptr);
  EXPECT_EQ(headless_calls_named("create_dib_section").at(0).args, "dc#1, 200, 300");
  EXPECT_EQ(headless_calls_named("select_object").at(0).result, "stock_bitmap");
  EXPECT_NE(player.color_image, player.alpha_image);
  EXPECT_EQ(live_image_names(), base_image_names + 2);
}

TEST_F(PlayerTest, VersionsAndFlagBytes) {
  load(two_frames("ks01"));  // no loop, ping-pong or duration: they keep their released values
  EXPECT_EQ(frame_count(player), 2);
  EXPECT_FALSE(player.loop);
  EXPECT_FALSE(player.ping_pong);
  EXPECT_EQ(player.frame_duration, 0.0);
  EXPECT_EQ(player.canvas_width, 40);

  TestDescription d = two_frames("ks03");  // the extra integer list is read past, to no effect
  d.extra_flag = 1;
  d.extra = {7, 8, 9};
  load(d);
  EXPECT_TRUE(player.ping_pong);
  EXPECT_EQ(player.frame_duration, 0.25);
  EXPECT_EQ(player.frame_rects.data[7], -0.75f);
  EXPECT_EQ(name_at(player.alpha_images, 1), "5");

  d.loop = 2;  // true only for the byte 1
  d.ping_pong = 255;
  d.extra_flag = 2;
  load(d);
  EXPECT_EQ(frame_count(player), 2);
  EXPECT_FALSE(player.loop);
  EXPECT_FALSE(player.ping_pong);

  d.magic = std::string("ks02\0tail", 9);  // the magic is its text up to the first zero byte
  load(d);
  EXPECT_EQ(frame_count(player), 2);
}

TEST_F(PlayerTest, UnrecognisedMagicsAndMissingEntriesLeaveThePlayerEmpty) {
  for (const char* magic : {"KS02", "Ks01", "ks04", "ks0", "ks020", ""}) {
    SCOPED_TRACE(magic);
    load(two_frames(magic));
    EXPECT_EQ(frame_count(player), 0);
    EXPECT_EQ(player.package, &pack);  // recorded, as after any failed load
    EXPECT_EQ(player.pixels, nullptr);
    EXPECT_EQ(headless_live_objects().bitmaps, 0);
    EXPECT_EQ(live_image_names(), base_image_names);
    present_frame(player);
    tick(player);
    EXPECT_EQ(update_count(), 0u);
  }
  load(two_frames("ks02"));
  load_from_package(player, &pack, 5);
  EXPECT_EQ(frame_count(player), 0);
  EXPECT_EQ(player.description_id, 5);
  load_from_package(player, nullptr, 1);
  EXPECT_EQ(frame_count(player), 0);
  EXPECT_EQ(headless_live_objects().bitmaps, 0);
}

TEST_F(PlayerTest, ExtentsAreTheOuterRightAndBottomEdges) {
  TestDescription d = two_frames("ks02");
  d.color_names.clear();
  load(d);
  EXPECT_EQ(player.max_right, -1.0f);
  EXPECT_EQ(player.min_bottom, 1.0f);

  d.rects = {-1.0f, 1.0f, 0.25f, -0.8f};
  d.color_names = {"2"};
  load(d);
  EXPECT_EQ(player.max_right, 0.25f);
  EXPECT_EQ(player.min_bottom, -0.8f);

  // A frame that cannot be placed still counts with its finite right and bottom edges; a NaN or
  // infinite edge, or a frame without a whole rectangle, takes no part.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  d.rects = {-1.0f, 1.0f, 0.5f,  -0.25f, -1.0f, 0.5f, 0.75f, -0.5f, -1.0f, 1.0f, nan, -0.9f,
             -1.0f, 1.0f, inf,   -inf,   0.8f,  1.0f, 0.8f,  0.0f,  -1.0f, 1.0f};
  d.color_names = {"2", "4", "6", "8", "10", "12"};
  load(d);
  EXPECT_EQ(player.max_right, 0.8f);
  EXPECT_EQ(player.min_bottom, -0.9f);
}

TEST_F(PlayerTest, LoadingTwiceHoldsOneSurfaceAndTwoImages) {
  player.anchor_x = 11;
  player.alpha = 99;
  player.fade_direction = -1;
  load(two_frames("ks02"));
  load(two_frames("ks03"));
  EXPECT_EQ(headless_live_objects().bitmaps, 1);
  EXPECT_EQ(headless_live_objects().device_contexts, 1);
  EXPECT_EQ(live_image_names(), base_image_names + 2);

  player.frame_index = 1;
  player.reverse = true;
  player.playing = false;
  player_release(player);
  EXPECT_EQ(headless_live_objects().bitmaps, 0);
  EXPECT_EQ(headless_live_objects().device_contexts, 0);
  EXPECT_EQ(live_image_names(), base_image_names);
  EXPECT_EQ(frame_count(player), 0);
  EXPECT_EQ(player.frame_index, 0);
  EXPECT_FALSE(player.reverse);
  EXPECT_TRUE(player.playing);
  EXPECT_EQ(player.package, nullptr);
  // What the shell and the fade own stays.
  EXPECT_EQ(player.description_id, 1);
  EXPECT_EQ(player.anchor_x, 11);
  EXPECT_EQ(player.alpha, 99);
  EXPECT_EQ(player.fade_direction, -1);
}

TEST_F(PlayerTest, CanvasOutsideItsBoundsRefusesTheLoad) {
  const int32_t sizes[][2] = {{0, 10}, {10, 0}, {-5, 10}, {kMaxCanvasSide + 1, 1}, {1, kMaxCanvasSide + 1},
                              {std::numeric_limits<int32_t>::min(), 4}, {kMaxCanvasSide, 1}};
  for (const auto& size : sizes) {
    SCOPED_TRACE(::testing::Message() << size[0] << " x " << size[1]);
    TestDescription d = two_frames("ks02");
    d.canvas_width = size[0];
    d.canvas_height = size[1];
    headless_clear_calls();
    load(d);
    const bool fits = size[0] == kMaxCanvasSide;
    EXPECT_EQ(frame_count(player), fits ? 2 : 0);
    EXPECT_EQ(player.package, &pack);
    EXPECT_EQ(headless_calls_named("create_dib_section").size(), fits ? 1u : 0u);
    EXPECT_EQ(live_image_names(), base_image_names + (fits ? 2 : 0));
  }
}

// ---- The file form ----

class DescriptionFileTest : public PlayerTest {
 protected:
  void load_file(const Bytes& bytes) {
    write_bytes(dir.file("description.bin"), bytes);
    load_from_file(player, dir.file("description.bin").c_str());
  }
};

TEST_F(DescriptionFileTest, ReadsThePackageFormExceptForTheExtraFlag) {
  player.description_id = 42;
  load_file(description_bytes(two_frames("ks02")));
  EXPECT_EQ(frame_count(player), 2);
  EXPECT_TRUE(player.ping_pong);
  EXPECT_EQ(player.frame_duration, 0.25);
  EXPECT_EQ(player.frame_rects.data[6], 0.25f);
  EXPECT_EQ(name_at(player.color_images, 1), "4");
  EXPECT_EQ(player.min_bottom, -0.75f);
  EXPECT_EQ(player.package, nullptr);
  EXPECT_EQ(player.description_id, 42);
  EXPECT_EQ(live_image_names(), base_image_names + 2);

  // A flag byte of 2 is false in fields 2 and 3, true in field 10 (its integer list is read past).
  TestDescription d = two_frames("ks03");
  d.loop = 2;
  d.extra_flag = 2;
  d.extra = {5, 6};
  load_file(description_bytes(d));
  EXPECT_EQ(frame_count(player), 2);
  EXPECT_FALSE(player.loop);
  EXPECT_EQ(name_at(player.alpha_images, 1), "5");
}

TEST_F(DescriptionFileTest, MagicLengthOutsideTheBufferIsUnrecognised) {
  const Bytes whole = description_bytes(two_frames("ks02"));
  const Bytes body(whole.begin() + 8, whole.end());  // all after the magic record
  const struct {
    Bytes magic;
    int32_t frames;
  } cases[] = {
      {le32(-1) + str("ks02"), 0},
      {le32(1000) + str("ks02") + Bytes(996, 0), 0},
      {le32(17) + str("ks02") + Bytes(13, 0), 0},
      {le32(16) + str("ks02") + Bytes(12, 0), 2},  // sixteen bytes still fit
  };
  for (const auto& c : cases) {
    load_file(c.magic + body);
    EXPECT_EQ(frame_count(player), c.frames) << c.magic.size();
  }
  load_from_file(player, dir.file("no-such-file").c_str());
  EXPECT_EQ(frame_count(player), 0);
}

TEST_F(DescriptionFileTest, DescriptionsCutAnywhereLoadSafelyInBothForms) {
  TestDescription d = two_frames("ks03");
  d.extra_flag = 1;
  d.extra = {1, 2};
  const Bytes whole = description_bytes(d);
  for (size_t length = 0; length <= whole.size(); ++length) {
    const Bytes cut(whole.begin(), whole.begin() + static_cast<long>(length));
    // Lists run short with zero or null elements; a frame without its data is skipped, never read past.
    PackBuilder builder;
    add_entry(builder, 1, cut);
    load(builder);
    EXPECT_LE(frame_count(player), 2);
    present_frame(player);
    tick(player);
    load_file(cut);
    EXPECT_LE(frame_count(player), 2);
    present_frame(player);
  }
  EXPECT_EQ(frame_count(player), 2);
}
