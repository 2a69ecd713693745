// Playback: frame steps timed by the millisecond clock, and the whole-window fade.
#include "animation/animation_player.h"

#include <algorithm>
#include <cmath>

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

namespace {

// The first elapsed time at which tick's test (elapsed * 0.001 >= duration) passes, computed with
// that very test so that no rounding can put it a millisecond off; INFINITE when none does.
uint32_t step_after_ms(double duration) {
  if (!(duration > 0.0)) return duration <= 0.0 ? 0 : INFINITE;  // NaN never steps
  if (!(4294967295.0 * 0.001 >= duration)) return INFINITE;
  auto passes = [duration](uint32_t elapsed) { return elapsed * 0.001 >= duration; };
  uint32_t elapsed = static_cast<uint32_t>(std::min(std::ceil(duration * 1000.0), 4294967295.0));
  while (elapsed > 0 && passes(elapsed - 1)) --elapsed;
  while (!passes(elapsed)) ++elapsed;
  return elapsed;
}

// Milliseconds from now until elapsed_wanted has passed since since_ms (0 once it has).
uint32_t remaining_ms(uint32_t now, uint32_t since_ms, uint32_t elapsed_wanted) {
  const uint32_t elapsed = now - since_ms;
  return elapsed >= elapsed_wanted ? 0 : elapsed_wanted - elapsed;
}

}  // namespace

uint32_t tick_due_in(const AnimationPlayer& player, uint32_t now) {
  if (player.first_present_pending) return 0;
  uint32_t due = INFINITE;
  if (player.fade_direction != 0) {
    if (!player.playing) return 0;  // a stopped animation shows its fade at every tick
    due = remaining_ms(now, player.fade_start_ms, player.fade_length_ms);
  }
  // With at most one frame a step changes nothing once it has marked the animation played through.
  const bool steps_matter = frame_count(player) > 1 || !player.played_through;
  if (player.playing && steps_matter) {
    const uint32_t step = step_after_ms(player.frame_duration);
    if (step != INFINITE) due = std::min(due, remaining_ms(now, player.last_step_ms, step));
  }
  return due;
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
