// Playback on the scripted clock: which frame is presented when, looping, ping-pong, stopping,
// lateness, the clock's wrap, and the fade's opacity.
#include <limits>

#include "player_fixture.h"

namespace {

using Presents = std::vector<std::pair<uint32_t, int32_t>>;

TestAnimation three_frames(bool loop, bool ping_pong) {
  TestAnimation animation = coloured_frames(3);
  animation.loop = loop;
  animation.ping_pong = ping_pong;
  animation.frame_duration = 0.1;
  return animation;
}

}  // namespace

TEST_F(PlayerTest, LoopingStepsForwardAndStartsAgain) {
  load(three_frames(true, false));
  EXPECT_EQ(run_until(299), (Presents{{0, 0}, {100, 1}, {200, 2}}));
  EXPECT_FALSE(player.played_through);
  EXPECT_EQ(run_until(600), (Presents{{300, 0}, {400, 1}, {500, 2}, {600, 0}}));
  EXPECT_TRUE(player.played_through);
  EXPECT_TRUE(player.playing);

  // Each present shows its own frame.
  const HeadlessPresentation shown = headless_last_presentation(window);
  EXPECT_NEAR(shown.pixels[2], 40, 3);  // frame 0's red
}

TEST_F(PlayerTest, PingPongDoublesTheEndFramesWithoutPresentingThem) {
  load(three_frames(true, true));
  EXPECT_EQ(run_until(900),
            (Presents{{0, 0}, {100, 1}, {200, 2}, {400, 1}, {500, 0}, {700, 1}, {800, 2}}));
  EXPECT_TRUE(player.played_through);
}

TEST_F(PlayerTest, WithoutLoopPlaybackStopsOnTheLastFrame) {
  load(three_frames(false, true));
  EXPECT_EQ(run_until(1000), (Presents{{0, 0}, {100, 1}, {200, 2}}));
  EXPECT_FALSE(player.playing);
  EXPECT_TRUE(player.played_through);
  EXPECT_EQ(player.frame_index, 2);

  // Stopped, a running fade is presented at every tick, and only while it runs.
  start_fade(player, -1);
  const Presents fading = run_until(2100);
  ASSERT_EQ(fading.size(), 1000u);
  EXPECT_EQ(fading.front().first, 1000u);
  EXPECT_EQ(fading.back().first, 1999u);
  EXPECT_EQ(headless_last_presentation(window).opacity, 1);
  EXPECT_EQ(player.fade_direction, 0);
}

TEST_F(PlayerTest, StepsAreTimedFromTheTickThatTookThemAcrossTheClockWrap) {
  headless_set_time(0xFFFFFFC0u);
  load(three_frames(true, false));
  tick(player);  // the first present starts the step clock
  headless_set_time(36);  // 100 ms later: one step
  tick(player);
  EXPECT_EQ(player.frame_index, 1);
  headless_set_time(186);  // late: still one step, and the next one is timed from here
  tick(player);
  EXPECT_EQ(player.frame_index, 2);
  headless_set_time(285);
  tick(player);
  EXPECT_EQ(player.frame_index, 2);
  headless_set_time(286);
  tick(player);
  EXPECT_EQ(player.frame_index, 0);
}

TEST_F(PlayerTest, DurationsOfZeroOrLessStepEveryTickAndNaNNever) {
  TestAnimation animation = three_frames(true, false);
  animation.frame_duration = 0.0;  // as in every ks01 description
  load(animation);
  EXPECT_EQ(run_until(3), (Presents{{0, 0}, {1, 1}, {2, 2}, {3, 0}}));
  player.frame_duration = -1.0;
  EXPECT_EQ(run_until(5).size(), 3u);  // ticks at 3, 4 and 5
  player.frame_duration = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(run_until(1000).empty());
}

TEST_F(PlayerTest, SingleFrameIsPresentedOnceAfterTheLoadAndOnceByTheFirstTick) {
  tick(player);  // an empty player: played through at its first step, nothing drawn
  headless_advance_time(1);
  tick(player);
  EXPECT_TRUE(player.played_through);
  EXPECT_TRUE(headless_calls_named("set_window_pos").empty());

  load(coloured_frames(1));
  present_frame(player);  // as the shell does after a load
  EXPECT_EQ(run_until(100).size(), 1u);
  start_fade(player, -1);  // not seen: nothing changes, nothing is presented
  EXPECT_TRUE(run_until(3000).empty());
  EXPECT_TRUE(player.played_through);
  EXPECT_EQ(update_count(), 2u);
  EXPECT_EQ(headless_last_presentation(window).opacity, 255);
}

TEST_F(PlayerTest, FadeOpacityReachesTheScreenOnlyWithAPresent) {
  load(three_frames(true, false));
  start_fade(player, 1);
  EXPECT_EQ(player.alpha, 0);
  run_until(500);
  HeadlessPresentation shown = headless_last_presentation(window);
  EXPECT_EQ(shown.opacity, 127);  // presented at 500 with the fade's value then
  run_until(1099);
  EXPECT_EQ(headless_last_presentation(window).opacity, 255);
  EXPECT_EQ(player.fade_direction, 0);
}

// ---- The fade alone ----

TEST(Fade, InRisesToTwoHundredFiftyFourThenEnds) {
  headless_reset();
  AnimationPlayer player;
  player_init(player);
  headless_set_time(5000);
  start_fade(player, 1);
  EXPECT_EQ(player.alpha, 0);
  EXPECT_EQ(player.fade_direction, 1);
  const std::pair<uint32_t, int> expected[] = {{0, 0}, {4, 1}, {500, 127}, {999, 254}};
  for (const auto& at : expected) {
    headless_set_time(5000 + at.first);
    update_fade(player);
    EXPECT_EQ(player.alpha, at.second) << at.first << " ms";
  }
  headless_set_time(6000);
  update_fade(player);
  EXPECT_EQ(player.alpha, 255);
  EXPECT_EQ(player.fade_direction, 0);
}

TEST(Fade, OutFallsToOneThenZeroThenOpaqueAgain) {
  headless_reset();
  AnimationPlayer player;
  player_init(player);
  headless_set_time(0xFFFFFE00u);  // the fade runs across the clock's wrap
  start_fade(player, -7);          // only the sign counts
  EXPECT_EQ(player.alpha, 255);
  headless_advance_time(500);
  update_fade(player);
  EXPECT_EQ(player.alpha, 128);
  headless_advance_time(499);
  update_fade(player);
  EXPECT_EQ(player.alpha, 1);
  headless_advance_time(1);
  update_fade(player);
  EXPECT_EQ(player.alpha, 0);
  EXPECT_EQ(player.fade_direction, 0);
  update_fade(player);
  EXPECT_EQ(player.alpha, 255);

  start_fade(player, -1);
  start_fade(player, 0);  // cancels
  update_fade(player);
  EXPECT_EQ(player.alpha, 255);
  EXPECT_EQ(player.fade_direction, 0);

  player.fade_length_ms = 0;  // never divides by it
  start_fade(player, 1);
  update_fade(player);
  EXPECT_EQ(player.alpha, 255);
  EXPECT_EQ(player.fade_direction, 0);
}
