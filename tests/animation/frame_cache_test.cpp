// The cache of presented frames: what is presented is byte for byte what decoding gives, whatever the
// budget, the budget is never exceeded, and the least recently used picture goes first, once it has not
// been found for a while.
#include <filesystem>

#include "player_fixture.h"

namespace {

// Presents every frame forwards twice, then backwards, as a looping or ping-pong animation shows
// them; returns each presentation.
std::vector<HeadlessPresentation> play_through(AnimationPlayer& player, WindowHandle window) {
  std::vector<HeadlessPresentation> shown;
  std::vector<int32_t> order;
  for (int32_t pass = 0; pass < 2; ++pass)
    for (int32_t frame = 0; frame < frame_count(player); ++frame) order.push_back(frame);
  for (int32_t frame = frame_count(player) - 1; frame >= 0; --frame) order.push_back(frame);
  for (const int32_t frame : order) {
    player.frame_index = frame;
    present_frame(player);
    shown.push_back(headless_last_presentation(window));
    EXPECT_LE(player.frame_cache.bytes, player.frame_cache.budget);
  }
  return shown;
}

}  // namespace

TEST_F(PlayerTest, CachedFramesArePresentedAsDecodedWhateverTheBudget) {
  std::vector<std::string> samples;
  std::error_code missing;  // the Windows build makes no samples of its own
  for (const auto& file : std::filesystem::directory_iterator(VELISSA_SAMPLES_DIR "/anim", missing))
    samples.push_back(file.path().string());
  // Besides the samples, three pictures shown as four frames: the repeated one shares its entry.
  const TestAnimation three = coloured_frames(3);
  TestDescription repeating = test_description(three);
  repeating.rects.insert(repeating.rects.end(), {-1.0f, 1.0f, 1.0f, -1.0f});
  repeating.color_names.push_back("2");
  repeating.alpha_names.push_back("3");
  PackBuilder images;
  for (int32_t i = 0; i < 3; ++i) {
    const TestFrame& f = three.frames[i];
    add_entry(images, 2 + 2 * i, flat_color_jpeg(f.width, f.height, f.red, f.green, f.blue));
    add_entry(images, 3 + 2 * i, flat_alpha_jpeg(f.width, f.height, f.alpha));
  }

  for (size_t source = 0; source <= samples.size(); ++source) {
    PackFile package;
    if (source < samples.size()) {
      ASSERT_TRUE(open(package, samples[source].c_str())) << samples[source];
      load_from_package(player, &package, 1);
    } else {
      load(repeating, images);
    }
    PackFile* loaded = player.package;
    ASSERT_GT(frame_count(player), 1);
    const size_t picture = size_t{4} * player.canvas_width * player.canvas_height;
    // No cache at all (the reference), room for two of the largest pictures, the default budget, and
    // that with the window keeping the pictures it is shown (as on X11).
    std::vector<HeadlessPresentation> reference;
    for (const auto& [budget, keeps] : std::vector<std::pair<size_t, bool>>{
             {0, false}, {2 * picture, false}, {kFrameCacheBudget, false}, {kFrameCacheBudget, true}}) {
      load_from_package(player, loaded, 1);
      player.frame_cache.budget = budget;
      headless_keep_pictures(keeps);
      headless_clear_calls();
      const std::vector<HeadlessPresentation> shown = play_through(player, window);
      // Every picture but the first showing of each goes by its number, once the window keeps it; the
      // cache then holds no pixels of its own, and decodes them again once the window lets go of them.
      EXPECT_EQ(headless_calls_named("update_layered_window").size(),
                keeps ? static_cast<size_t>(player.frame_cache.count) : shown.size());
      if (keeps) {
        EXPECT_EQ(player.frame_cache.bytes, 0u);
        platform_forget_kept_pictures(window);
        const std::vector<HeadlessPresentation> again = play_through(player, window);
        EXPECT_EQ(headless_calls_named("update_layered_window").size(), 2u * player.frame_cache.count);
        for (size_t i = 0; i < again.size(); ++i) EXPECT_EQ(again[i].pixels, shown[i].pixels) << i;
      }
      headless_keep_pictures(false);
      if (budget == 0) {
        EXPECT_EQ(player.frame_cache.count, 0);
        reference = shown;
        continue;
      }
      ASSERT_EQ(shown.size(), reference.size());
      for (size_t i = 0; i < shown.size(); ++i) {
        SCOPED_TRACE("source " + std::to_string(source) + ", budget " + std::to_string(budget) +
                     (keeps ? " kept" : "") + ", present " + std::to_string(i));
        EXPECT_EQ(shown[i].pixels, reference[i].pixels);
        EXPECT_EQ(shown[i].x, reference[i].x);
        EXPECT_EQ(shown[i].y, reference[i].y);
      }
      if (budget == kFrameCacheBudget && source == samples.size()) {
        EXPECT_EQ(player.frame_cache.count, 3);
      }
    }
    player_release(player);
    EXPECT_EQ(player.frame_cache.count, 0);
    EXPECT_EQ(player.frame_cache.bytes, 0u);
  }
}

TEST(FrameCache, TheLeastRecentlyUsedPictureGoesFirstAndLendsItsBlock) {
  FrameCache cache;
  cache.budget = 2 * 4 * 4 * 4;  // two 4 x 4 pictures
  const PackFile* package = nullptr;
  auto key = [package](int32_t id) { return FrameCacheKey{package, id, id + 100}; };
  ASSERT_NE(frame_cache_store(cache, key(1), 4, 4), nullptr);
  uint8_t* second = frame_cache_store(cache, key(2), 4, 4)->pixels;
  ASSERT_NE(frame_cache_find(cache, key(1)), nullptr);
  EXPECT_EQ(frame_cache_store(cache, key(3), 4, 4), nullptr);  // 2 was found too recently to go
  for (int32_t i = 0; i < 3; ++i) ASSERT_NE(frame_cache_find(cache, key(1)), nullptr);  // now 2 may go
  const CachedFrame* third = frame_cache_store(cache, key(3), 4, 4);
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(third->pixels, second);
  EXPECT_EQ(frame_cache_find(cache, key(2)), nullptr);
  EXPECT_NE(frame_cache_find(cache, key(1)), nullptr);
  EXPECT_EQ(frame_cache_find(cache, FrameCacheKey{package, 1, 999}), nullptr);  // the alpha counts too
  EXPECT_EQ(frame_cache_store(cache, key(4), 8, 8), nullptr);  // larger than the whole budget
  EXPECT_EQ(cache.count, 2);
  EXPECT_EQ(cache.bytes, cache.budget);
  // A picture lent to the window holds no bytes, also when it goes.
  frame_cache_lend(cache, *frame_cache_find(cache, key(1)));
  EXPECT_EQ(cache.bytes, cache.budget / 2);
  frame_cache_drop(cache, *frame_cache_find(cache, key(1)));
  EXPECT_EQ(cache.count, 1);
  EXPECT_EQ(cache.bytes, cache.budget / 2);
  frame_cache_release(cache);
}
