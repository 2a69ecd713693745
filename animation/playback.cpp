// Playback: frame steps timed by the millisecond clock, and the whole-window fade.
#include "animation/animation_player.h"

void tick(AnimationPlayer& player) {
  const uint32_t now = platform_time_ms();
  if (player.first_present_pending) {
    player.last_step_ms = now;
    update_fade(player);
    present_frame(player);
    player.first_present_pending = false;
    return;
  }
  update_fade(player);
  if (!player.playing) {
    // A stopped animation still shows its fade.
    if (player.fade_direction != 0) present_frame(player);
    return;
  }
  // Unsigned difference: right across the clock's wrap. Written so that a NaN duration never steps.
  const uint32_t elapsed = now - player.last_step_ms;
  if (!(elapsed * 0.001 >= player.frame_duration)) return;

  // The next step is timed from now, so lateness is not made up.
  player.last_step_ms = now;
  const int32_t old = player.frame_index;
  const int32_t count = frame_count(player);
  if (!player.reverse) {
    if (int64_t{old} + 1 < count) {
      player.frame_index = old + 1;
    } else {
      player.played_through = true;
      if (!player.loop) {
        player.frame_index = count - 1;
        player.playing = false;
      } else if (player.ping_pong) {
        player.reverse = true;
        player.frame_index = count - 1;
      } else {
        player.frame_index = 0;
      }
    }
  } else if (int64_t{old} - 1 >= 0) {
    player.frame_index = old - 1;
  } else {
    player.frame_index = 0;
    player.reverse = false;
  }
  if (player.frame_index != old) present_frame(player);
}

void start_fade(AnimationPlayer& player, int32_t direction) {
  player.fade_start_ms = platform_time_ms();
  player.fade_direction = direction;
  player.alpha = direction > 0 ? 0 : 255;
}

void update_fade(AnimationPlayer& player) {
  player.alpha = 255;
  if (player.fade_direction == 0) return;
  const uint32_t elapsed = platform_time_ms() - player.fade_start_ms;
  // The quotient is only formed inside the fade, so a fade length of 0 never divides.
  const bool running = elapsed < player.fade_length_ms;
  const uint32_t step = running ? 255u * elapsed / player.fade_length_ms : 0;
  if (player.fade_direction > 0) {
    if (running) {
      player.alpha = static_cast<uint8_t>(step);
    } else {
      player.fade_direction = 0;
    }
  } else if (running) {
    player.alpha = static_cast<uint8_t>(255u - step);
  } else {
    player.alpha = 0;
    player.fade_direction = 0;
  }
}

double now_seconds() { return platform_time_ms() / 1000.0; }
