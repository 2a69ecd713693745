// Presenting frames: entry names, decoding and merging, placement against the anchor, the window
// calls in order, the error line, and every frame that must be skipped without touching a buffer.
#include <cmath>
#include <cstdlib>
#include <limits>

#include "player_fixture.h"

namespace {

// The calls recorded since the log was last cleared, all of them or those of one name.
std::vector<std::string> call_texts(const char* name = nullptr) {
  std::vector<std::string> texts;
  for (const HeadlessCall& call : headless_calls()) {
    if (name == nullptr || call.name == name) texts.push_back(headless_call_text(call));
  }
  return texts;
}

TestAnimation one_frame(int32_t width, int32_t height, FrameRectangle rect, int32_t canvas) {
  TestAnimation animation;
  animation.canvas_width = animation.canvas_height = canvas;
  animation.frames.push_back({width, height, 0, 0, 0, 255, rect.left, rect.top, rect.right, rect.bottom});
  return animation;
}

}  // namespace

TEST(EntryIds, ParseAsPercentD) {
  const struct {
    const char* name;
    bool found;
    int32_t id;
  } cases[] = {
      {"2", true, 2},          {" 12abc", true, 12},     {"\t\n\v\f\r 7", true, 7},
      {"+3", true, 3},         {"-4", true, -4},         {"-0", true, 0},
      {"0x10", true, 0},       {"007", true, 7},         {"2147483647", true, 2147483647},
      {"-2147483648", true, std::numeric_limits<int32_t>::min()},
      {"2147483648", false, 0}, {"99999999999999999999", false, 0},
      {"abc", false, 0},       {"", false, 0},           {" ", false, 0},
      {"- 3", false, 0},       {"+-3", false, 0},        {"x2", false, 0},
  };
  for (const auto& c : cases) {
    int32_t id = -99;
    EXPECT_EQ(parse_entry_id(c.name, &id), c.found) << '"' << c.name << '"';
    if (c.found) {
      EXPECT_EQ(id, c.id) << '"' << c.name << '"';
    }
  }
  int32_t id = 0;
  EXPECT_FALSE(parse_entry_id(nullptr, &id));
}

TEST(MergeFramePixels, StoresBlueGreenRedAlphaAsDecoded) {
  // Red 10, green 20, blue 30 with alpha 0 stays as it is: not cleared to black.
  const uint8_t rgb[] = {10, 20, 30, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  const uint8_t grey[] = {0, 128, 255, 77};
  std::vector<uint8_t> surface(3 * 2 * 4, 0xEE);  // 3 pixels wide: the third column is not the frame's
  merge_frame_pixels(rgb, grey, 2, 2, surface.data(), 3 * 4);
  const std::vector<uint8_t> expected = {30, 20, 10, 0,   3, 2, 1, 128, 0xEE, 0xEE, 0xEE, 0xEE,
                                         6,  5,  4,  255, 9, 8, 7, 77,  0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(surface, expected);
}

TEST_F(PlayerTest, FullAreaFrameEndsAtTheAnchor) {
  TestAnimation animation = one_frame(200, 300, {-1.0f, 1.0f, 1.0f, -1.0f}, 300);
  animation.frames.push_back(animation.frames[0]);
  load(animation);
  player.anchor_x = 1000;
  player.anchor_y = 800;
  headless_clear_calls();
  present_frame(player);
  EXPECT_EQ(player.offset_x, -200);
  EXPECT_EQ(player.offset_y, -300);
  EXPECT_EQ(player.margin_x, 0);
  EXPECT_EQ(player.margin_y, 0);
  EXPECT_TRUE(player.margins_known);
  EXPECT_EQ(call_texts(), (std::vector<std::string>{
                                 "set_window_pos(window#1, null, 800, 500, 200, 300, 0x204) -> true",
                                 "update_layered_window(window#1, 200, 300, dc#1, 255, 0x1, 0x2) -> true",
                                 "set_thread_priority(2) -> true",
                                 "set_priority_class(0x80) -> true",
                             }));
  const HeadlessWindowInfo info = headless_window_info(window);
  EXPECT_EQ(info.x + info.width, 1000);
  EXPECT_EQ(info.y + info.height, 800);

  // Later presents only move the window, frame 0 included once it comes round again.
  tick(player);  // still the first present after the load
  headless_clear_calls();
  headless_advance_time(100);
  tick(player);
  EXPECT_EQ(player.frame_index, 1);
  headless_advance_time(100);
  tick(player);
  EXPECT_EQ(player.frame_index, 0);
  const std::string move = "set_window_pos(window#1, null, 800, 500, 0, 0, 0x205) -> true";
  EXPECT_EQ(call_texts("set_window_pos"), (std::vector<std::string>{move, move}));
}

TEST_F(PlayerTest, HalfAreaFrameEndsAtTheAnchorAndItsMarginsStay) {
  // Frame 0 covers the middle half of the area; frame 1 has twice its scale (an area 400 pixels wide).
  TestAnimation animation = one_frame(100, 100, {-0.5f, 0.5f, 0.5f, -0.5f}, 100);
  animation.frames.push_back(animation.frames[0]);
  animation.frames[1].right = 0.0f;
  animation.frames[1].bottom = 0.0f;
  load(animation);
  player.anchor_x = 1000;
  player.anchor_y = 800;
  player.alpha = 77;
  present_frame(player);
  EXPECT_EQ(player.margin_x, 50);
  EXPECT_EQ(player.margin_y, 50);
  EXPECT_EQ(player.offset_x, -100);
  EXPECT_EQ(player.offset_y, -100);
  const HeadlessPresentation shown = headless_last_presentation(window);
  EXPECT_EQ(shown.x, 900);
  EXPECT_EQ(shown.y, 700);
  EXPECT_EQ(shown.width, 100);
  EXPECT_EQ(shown.opacity, 77);

  player.frame_index = 1;  // keeps the margins of frame 0's scale
  present_frame(player);
  EXPECT_EQ(player.margin_x, 50);
  EXPECT_EQ(player.offset_x, -300 + 50);
  EXPECT_EQ(player.offset_y, -300 + 50);

  load(animation);  // a new load forgets them: frame 1 first sets them at its own scale
  player.frame_index = 1;
  present_frame(player);
  EXPECT_EQ(player.margin_x, 100);
  EXPECT_EQ(player.offset_x, -200);

  // A frame of zero width is never shown, but its bottom edge still bounds the area: frame 0 ends
  // 50 pixels above the anchor.
  animation.frames[1].left = animation.frames[1].right = 0.0f;
  animation.frames[1].bottom = -1.0f;
  load(animation);
  present_frame(player);
  EXPECT_EQ(player.offset_x, -100);
  EXPECT_EQ(player.offset_y, -150);
}

TEST_F(PlayerTest, TinyAndTruncatedPlacementsStayDefined) {
  // A rectangle a hair wide makes the area astronomically large: positions saturate.
  load(one_frame(8, 8, {0.0f, 1.0f, 1e-30f, -1.0f}, 8));
  present_frame(player);
  EXPECT_EQ(player.margin_x, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(player.offset_x, -1);  // the smallest dx plus the largest margin
  EXPECT_EQ(update_count(), 1u);

  // Truncation toward zero, not down. A 5 x 3 image at (0, 1, 0.75, -0.75): the area is 13.33 x 3.43
  // pixels, dx = trunc(-6.67) = -6, dy = trunc(-3.43) = -3, margins trunc(1.67) = 1 and trunc(0.43) = 0.
  load(one_frame(5, 3, {0.0f, 1.0f, 0.75f, -0.75f}, 8));
  present_frame(player);
  EXPECT_EQ(player.margin_x, 1);
  EXPECT_EQ(player.margin_y, 0);
  EXPECT_EQ(player.offset_x, -5);
  EXPECT_EQ(player.offset_y, -3);
}

TEST_F(PlayerTest, MissingAlphaEntryLeavesThePreviousFrameOnScreen) {
  TestAnimation animation = coloured_frames(3);
  animation.frames[1].width = 4;  // a size of its own, to see what the failed present kept
  PackBuilder builder = test_package(animation);
  builder.ids[5] = 77;  // frame 1's alpha image (entry 5) is no longer found
  load(builder);
  present_frame(player);
  const HeadlessPresentation first = headless_last_presentation(window);
  tick(player);
  headless_advance_time(100);
  tick(player);
  EXPECT_EQ(player.frame_index, 1);
  const HeadlessPresentation kept = headless_last_presentation(window);
  EXPECT_EQ(kept.count, first.count + 1);  // the first tick's present, nothing since
  EXPECT_EQ(kept.pixels, first.pixels);
  EXPECT_EQ(player.image_width, 4);  // the colour image was decoded before the alpha failed
  EXPECT_EQ(draw_frame(player, 1), FRAME_ALPHA_MISSING);

  headless_advance_time(100);
  tick(player);
  EXPECT_EQ(player.frame_index, 2);
  EXPECT_EQ(headless_last_presentation(window).count, kept.count + 1);
}

TEST_F(PlayerTest, DecodedPixelsArriveAsBlueGreenRedAlphaTopRowFirst) {
  // Top half red, a little green, opaque; bottom half blue and clear: 8-pixel halves survive JPEG.
  std::vector<uint8_t> rgb(16 * 16 * 3, 0), grey(16 * 16, 0);
  for (int32_t i = 0; i < 16 * 16; ++i) {
    const bool top = i < 8 * 16;
    rgb[i * 3 + (top ? 0 : 2)] = 250;
    rgb[i * 3 + 1] = top ? 60 : 0;
    grey[i] = top ? 255 : 0;
  }
  PackBuilder builder;
  add_entry(builder, 2, encode_jpeg(rgb.data(), 16, 16, 3));
  add_entry(builder, 3, encode_jpeg(grey.data(), 16, 16, 1));
  TestDescription d;
  d.canvas_width = d.canvas_height = 16;
  d.rects = {-1.0f, 1.0f, 1.0f, -1.0f};
  d.color_names = {" 2 is the colour"};  // read as "%d" reads
  d.alpha_names = {"3"};
  load(d, builder);
  present_frame(player);
  const std::vector<uint8_t>& pixels = headless_last_presentation(window).pixels;
  ASSERT_EQ(pixels.size(), 16u * 16 * 4);
  const uint8_t* top = &pixels[0];
  const uint8_t* bottom = &pixels[15 * 16 * 4];
  EXPECT_NEAR(top[0], 0, 3);
  EXPECT_NEAR(top[1], 60, 3);
  EXPECT_NEAR(top[2], 250, 3);
  EXPECT_NEAR(top[3], 255, 3);
  EXPECT_NEAR(bottom[0], 250, 3);
  EXPECT_NEAR(bottom[2], 0, 3);
  EXPECT_NEAR(bottom[3], 0, 3);
}

TEST_F(PlayerTest, FailedUpdateWritesTheErrorLineAfterThePriorities) {
  load(coloured_frames(1));
  headless_fail_layered_updates(ERROR_ACCESS_DENIED);
  headless_clear_calls();
  ::testing::internal::CaptureStdout();
  present_frame(player);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Error(5): Access is denied.\n");
  const std::vector<std::string> calls = call_texts();
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_EQ(calls[1].rfind("update_layered_window(", 0), 0u);
  EXPECT_EQ(calls[2], "set_thread_priority(2) -> true");
  EXPECT_EQ(calls[3], "set_priority_class(0x80) -> true");
  EXPECT_EQ(calls[4], "get_last_error() -> 5");
  EXPECT_EQ(calls[5].rfind("error_text(5, ", 0), 0u);
  EXPECT_EQ(headless_thread_priority(), THREAD_PRIORITY_HIGHEST);
  EXPECT_EQ(headless_priority_class(), HIGH_PRIORITY_CLASS);
}

TEST_F(PlayerTest, FramesFromADescriptionFileAreImageFiles) {
  write_bytes(dir.file("c.jpg"), flat_color_jpeg(8, 8, 10, 20, 30));
  write_bytes(dir.file("a.jpg"), flat_alpha_jpeg(8, 8, 200));
  TestDescription d;
  d.canvas_width = d.canvas_height = 8;
  d.rects = {-1.0f, 1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, -1.0f};
  d.color_names = {dir.file("c.jpg"), dir.file("missing.jpg")};
  d.alpha_names = {dir.file("a.jpg"), dir.file("a.jpg")};
  write_bytes(dir.file("animation.bin"), description_bytes(d));
  load_from_file(player, dir.file("animation.bin").c_str());
  present_frame(player);
  const HeadlessPresentation shown = headless_last_presentation(window);
  ASSERT_EQ(shown.count, 1u);
  EXPECT_NEAR(shown.pixels[0], 30, 3);
  EXPECT_NEAR(shown.pixels[3], 200, 3);
  EXPECT_EQ(draw_frame(player, 1), FRAME_COLOR_UNDECODABLE);
}

// ---- Frames that must be skipped ----

TEST(JpegDeclaredSize, ReadsTheFrameHeaderWhereLibjpegFindsIt) {
  int32_t width = 0, height = 0;
  const Bytes encoded = flat_color_jpeg(16, 8, 1, 2, 3);
  ASSERT_TRUE(jpeg_declared_size(encoded.data(), static_cast<int32_t>(encoded.size()), &width, &height));
  EXPECT_EQ(width, 16);
  EXPECT_EQ(height, 8);

  const Bytes soi = {0xFF, 0xD8};
  const Bytes sof = {0xFF, 0xC0, 0, 11, 8, 0x01, 0x02, 0x03, 0x04, 1, 1, 0x11, 0};  // 0x0304 x 0x0102
  const Bytes app = {0xFF, 0xE1, 0, 11, 0xFF, 0xC0, 0, 11, 8, 0x7F, 0x7F, 0x7F, 0x7F};  // a false SOF inside
  const struct {
    Bytes bytes;
    bool found;
  } cases[] = {
      {soi + sof, true},
      {soi + Bytes{0xFF, 0xFF, 0xFF} + sof, true},                        // fill bytes
      {soi + str("junk") + Bytes{0xFF, 0x00, 0xFF, 0xD3, 0x01} + sof, true},  // garbage, FF 00, RST3
      {soi + app + sof, true},                                            // a segment is skipped whole
      {soi + Bytes{0xFF, 0xC2, 0, 11, 8, 0x01, 0x02, 0x03, 0x04, 1, 1, 0x11, 0}, true},  // progressive
      {Bytes{}, false},
      {soi, false},
      {Bytes{0xD8, 0xFF} + sof, false},
      {str("x") + soi + sof, false},                                      // SOI must come first
      {soi + Bytes{0xFF, 0xDA, 0, 2} + sof, false},                       // a scan before the frame
      {soi + Bytes{0xFF, 0xD9} + sof, false},
      {soi + Bytes{0xFF, 0xD8} + sof, false},
      {soi + Bytes{0xFF, 0xC4, 0, 2}, false},                             // the end before a frame header
      {soi + Bytes{0xFF, 0xE0, 0, 16, 1, 2}, false},                      // a length past the end
      {soi + Bytes{0xFF, 0xE0, 0, 1} + sof, false},                       // a length below its own two bytes
      {soi + Bytes(sof.begin(), sof.begin() + 8), false},                 // the header cut inside the width
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    width = height = -1;
    const Bytes& bytes = cases[i].bytes;
    EXPECT_EQ(jpeg_declared_size(bytes.data(), static_cast<int32_t>(bytes.size()), &width, &height), cases[i].found);
    if (cases[i].found) {
      EXPECT_EQ(width, 0x0304);
      EXPECT_EQ(height, 0x0102);
    }
  }
  EXPECT_FALSE(jpeg_declared_size(nullptr, 10, &width, &height));
}

namespace {

// The JPEG with its frame header's size replaced. A colour image declaring 65000 x 65000 pixels made
// DevIL allocate 65000 * 65000 * 3 bytes counted in 32 bits (4085065408) and then decode 12.7 GB of rows
// into them (the package fuzz target reports it as out of memory on malloc(4085065408)).
Bytes with_declared_size(Bytes jpeg, uint16_t width, uint16_t height) {
  for (size_t i = 0; i + 9 <= jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      jpeg[i + 5] = static_cast<uint8_t>(height >> 8);
      jpeg[i + 6] = static_cast<uint8_t>(height);
      jpeg[i + 7] = static_cast<uint8_t>(width >> 8);
      jpeg[i + 8] = static_cast<uint8_t>(width);
      return jpeg;
    }
  }
  ADD_FAILURE() << "no baseline frame header";
  return jpeg;
}

}  // namespace

TEST_F(PlayerTest, ImagesDeclaringAnotherSizeAreRefusedBeforeDecoding) {
  PackBuilder builder;
  add_entry(builder, 2, flat_color_jpeg(8, 8, 1, 2, 3));
  add_entry(builder, 3, flat_alpha_jpeg(8, 8, 255));
  add_entry(builder, 4, with_declared_size(flat_color_jpeg(8, 8, 1, 2, 3), 65000, 65000));
  add_entry(builder, 5, with_declared_size(flat_alpha_jpeg(8, 8, 255), 65000, 65000));
  add_entry(builder, 6, with_declared_size(flat_alpha_jpeg(8, 8, 255), 9, 8));
  TestDescription d;
  d.canvas_width = d.canvas_height = 8;
  d.rects = {-1.0f, 1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, -1.0f};
  d.color_names = {"4", "2", "2", "2"};
  d.alpha_names = {"3", "5", "6", "3"};
  load(d, builder);
  EXPECT_EQ(draw_frame(player, 0), FRAME_TOO_LARGE);
  EXPECT_EQ(draw_frame(player, 1), FRAME_ALPHA_SIZE_DIFFERS);
  EXPECT_EQ(draw_frame(player, 2), FRAME_ALPHA_SIZE_DIFFERS);
  EXPECT_EQ(draw_frame(player, 3), FRAME_DRAWN);
}

// A comment segment after the image data whose length runs past the end of the entry: DevIL's memory
// source looped for ever skipping it (found by the package fuzz target as a timeout).
TEST_F(PlayerTest, SegmentRunningPastTheEndDoesNotHangTheDecoder) {
  Bytes colour = flat_color_jpeg(8, 8, 1, 2, 3);
  ASSERT_GE(colour.size(), 2u);
  colour.resize(colour.size() - 2);  // drop the end-of-image marker
  colour.insert(colour.end(), {0xFF, 0xFE, 0xFF, 0xFF});  // the entry ends right after the length
  PackBuilder builder;
  add_entry(builder, 2, colour);
  add_entry(builder, 3, flat_alpha_jpeg(8, 8, 255));
  TestDescription d;
  d.canvas_width = d.canvas_height = 8;
  d.rects = {-1.0f, 1.0f, 1.0f, -1.0f};
  d.color_names = {"2"};
  d.alpha_names = {"3"};
  load(d, builder);
  // What counts is that it returns: DevIL draws the frame, other decoders may refuse the stray segment.
  const FrameResult result = draw_frame(player, 0);
  EXPECT_TRUE(result == FRAME_DRAWN || result == FRAME_COLOR_UNDECODABLE) << frame_result_text(result);
}

TEST_F(PlayerTest, UnusableFramesAreSkippedWithoutTouchingTheSurface) {
  const Bytes grey8 = flat_alpha_jpeg(8, 8, 255);
  const Bytes colour8 = flat_color_jpeg(8, 8, 1, 2, 3);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  PackBuilder builder;
  add_entry(builder, 2, colour8);
  add_entry(builder, 3, grey8);
  add_entry(builder, 4, flat_color_jpeg(16, 8, 1, 2, 3));  // wider than the canvas
  add_entry(builder, 5, flat_color_jpeg(8, 16, 1, 2, 3));  // taller
  add_entry(builder, 6, flat_alpha_jpeg(4, 8, 255));       // alpha narrower than its colour
  add_entry(builder, 7, flat_alpha_jpeg(8, 4, 255));       // and shorter
  add_entry(builder, 8, "not a jpeg at all", 17);
  add_entry(builder, 9, colour8.data(), static_cast<int32_t>(colour8.size() / 2));  // cut short
  add_entry(builder, 10, "", 0);
  struct Case {
    const char* colour;
    const char* alpha;
    FrameRectangle rect;
    FrameResult drawn;  // what draw_frame says; FRAME_DRAWN marks the frames skipped for their rectangle
  };
  const FrameRectangle whole{-1.0f, 1.0f, 1.0f, -1.0f};
  const Case cases[] = {
      {"2", "3", whole, FRAME_DRAWN},
      {"4", "3", whole, FRAME_TOO_LARGE},
      {"5", "3", whole, FRAME_TOO_LARGE},
      {"2", "6", whole, FRAME_ALPHA_SIZE_DIFFERS},
      {"2", "7", whole, FRAME_ALPHA_SIZE_DIFFERS},
      {"3", "3", whole, FRAME_COLOR_NOT_RGB},
      {"2", "2", whole, FRAME_ALPHA_NOT_GREY},
      {"8", "3", whole, FRAME_COLOR_UNDECODABLE},
      {"9", "3", whole, FRAME_COLOR_UNDECODABLE},
      {"10", "3", whole, FRAME_COLOR_UNDECODABLE},
      {"2", "8", whole, FRAME_ALPHA_UNDECODABLE},
      {"abc", "3", whole, FRAME_COLOR_MISSING},
      {"", "3", whole, FRAME_COLOR_MISSING},
      {"11", "3", whole, FRAME_COLOR_MISSING},
      {"2", "", whole, FRAME_ALPHA_MISSING},
      {"2", "-3", whole, FRAME_ALPHA_MISSING},
      {"2", "3", {0.5f, 1.0f, 0.5f, -1.0f}, FRAME_DRAWN},  // zero width
      {"2", "3", {-1.0f, 0.0f, 1.0f, 0.0f}, FRAME_DRAWN},  // zero height
      {"2", "3", {nan, 1.0f, 1.0f, -1.0f}, FRAME_DRAWN},
      {"2", "3", {-1.0f, inf, 1.0f, -1.0f}, FRAME_DRAWN},
      {"2", "3", {-1.0f, 1.0f, 1.0f, -inf}, FRAME_DRAWN},
  };
  TestDescription d;
  d.canvas_width = d.canvas_height = 8;
  for (const Case& c : cases) {
    d.rects.insert(d.rects.end(), {c.rect.left, c.rect.top, c.rect.right, c.rect.bottom});
    d.color_names.push_back(c.colour);
    d.alpha_names.push_back(c.alpha);
  }
  d.color_names.push_back("2");  // one frame more: without an alpha name and without a rectangle
  load(d, builder);
  const int32_t frames = frame_count(player);
  ASSERT_EQ(frames, static_cast<int32_t>(std::size(cases)) + 1);

  present_frame(player);  // frame 0 is good: the window shows it
  const HeadlessWindowInfo placed = headless_window_info(window);
  ASSERT_EQ(update_count(), 1u);
  std::fill(player.pixels, player.pixels + 8 * 8 * 4, 0x5A);
  const std::vector<uint8_t> surface(player.pixels, player.pixels + 8 * 8 * 4);
  for (int32_t i = 1; i < frames; ++i) {
    SCOPED_TRACE(i);
    player.frame_index = i;
    headless_clear_calls();
    present_frame(player);
    EXPECT_TRUE(headless_calls().empty());
    const bool has_rect = i < static_cast<int32_t>(std::size(cases));
    EXPECT_EQ(frame_rectangle(player, i, nullptr), has_rect && cases[i].drawn != FRAME_DRAWN);
    if (has_rect && cases[i].drawn != FRAME_DRAWN) {
      EXPECT_EQ(draw_frame(player, i), cases[i].drawn) << frame_result_text(cases[i].drawn);
    }
    EXPECT_EQ(std::vector<uint8_t>(player.pixels, player.pixels + 8 * 8 * 4), surface);
  }
  EXPECT_EQ(draw_frame(player, frames - 1), FRAME_ALPHA_MISSING);
  EXPECT_EQ(draw_frame(player, frames), FRAME_NOT_LOADED);
  EXPECT_EQ(draw_frame(player, -1), FRAME_NOT_LOADED);
  player.frame_index = frames + 5;
  present_frame(player);
  EXPECT_EQ(update_count(), 0u);
  const HeadlessWindowInfo after = headless_window_info(window);
  EXPECT_EQ(after.x, placed.x);
  EXPECT_EQ(after.width, placed.width);
  EXPECT_EQ(headless_last_presentation(window).count, 1u);
  // Only complete, usable rectangles count in the extents.
  EXPECT_EQ(player.max_right, 1.0f);
  EXPECT_EQ(player.min_bottom, -1.0f);
}
