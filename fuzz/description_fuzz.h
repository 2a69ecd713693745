// The two description targets share this: after a load, every frame is presented on the headless
// character window and the animation is ticked through a few steps and a fade; then the load is
// released and must leave no surface, device context or library image behind.
#pragma once

#include <IL/il.h>

#include "animation/animation_player.h"
#include "fuzz_support.h"
#include "platform/headless/headless.h"

// The player, made once with the library initialised before the first load, and a fresh character
// window for every input: the headless backend keeps a record of every handle it gave out until reset.
inline AnimationPlayer& fuzz_player() {
  static AnimationPlayer player;
  static const bool initialised = (animation_library_init(), player_init(player), true);
  (void)initialised;
  headless_reset();
  player.window = make_character_window();
  FUZZ_CHECK(player.window != nullptr);
  player.anchor_x = 1920;
  player.anchor_y = 1040;
  return player;
}

inline void present_every_frame(AnimationPlayer& player) {
  const int32_t frames = frame_count(player);
  FUZZ_CHECK(frames == 0 || player.pixels != nullptr);
  for (int32_t i = 0; i < frames; ++i) {
    player.frame_index = i;
    present_frame(player);
  }
  // Playback from the start: the first present, steps, a fade in and one out.
  player.frame_index = 0;
  player.first_present_pending = true;
  headless_set_time(0);
  start_fade(player, 1);
  for (int32_t step = 0; step < 8; ++step) {
    tick(player);
    headless_advance_time(250);
    if (step == 4) start_fade(player, -1);
  }
  FUZZ_CHECK(frames == 0 || (player.frame_index >= 0 && player.frame_index < frames));
}

inline void release_and_check(AnimationPlayer& player) {
  const uint32_t colour = player.color_image;
  const uint32_t alpha = player.alpha_image;
  player_release(player);
  const HeadlessObjectCounts live = headless_live_objects();
  FUZZ_CHECK(live.bitmaps == 0 && live.device_contexts == 0);
  FUZZ_CHECK((colour == 0 || !ilIsImage(colour)) && (alpha == 0 || !ilIsImage(alpha)));
}
