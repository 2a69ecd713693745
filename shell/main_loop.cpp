// The main loop and the rotation between animations: which row comes next, starting it, and the hand-over
// from a fade-out to the next animation's fade-in.
#include <algorithm>
#include <cmath>

#include "shell/shell_state.h"

int32_t clamp_to_int32(int64_t value) {
  return value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : static_cast<int32_t>(value);
}

void choose_next_animation() {
  ShellState& shell = the_shell();
  const int32_t n = shell.menu_ids.count;
  if (n <= 1) {
    shell.next_index = 0;
    return;
  }
  int32_t k = 0;
  do {
    k = static_cast<int32_t>(platform_rand() / 32767.0 * n);  // the cast cuts toward zero
    if (k >= n) k = n - 1;
    if (k < 0) k = 0;
  } while (k == shell.current_index);
  shell.next_index = k;
}

void start_animation(int32_t row) {
  ShellState& shell = the_shell();
  AnimationPlayer& player = the_player();
  // A row outside the table plays nothing at the corner, like an empty row.
  const CatalogueEntry* entry = row >= 0 && row < kCatalogueRows ? &the_catalogue().rows[row] : nullptr;
  shell.row_offset = entry != nullptr ? PlatformPoint{entry->x, entry->y} : PlatformPoint{0, 0};
  place_at_corner();
  load_from_package(player, entry != nullptr ? entry->package : nullptr, 1);
  player.loop = true;
  present_frame(player);
  update_fade(player);
  platform_bring_window_to_top(shell.character_window);
  shell.current_index = row;
  shell.start_time = now_seconds();
  const IntArray& ids = shell.menu_ids;
  if (ids.count > 0 && row >= 0 && row < ids.count)
    platform_check_menu_radio_item(shell.menu, first(ids), last(ids), ids.data[row], MF_BYCOMMAND);
}

void place_at_corner() {
  ShellState& shell = the_shell();
  AnimationPlayer& player = the_player();
  shell.window_pos.x = clamp_to_int32(int64_t{shell.row_offset.x} + shell.work_area.right + shell.drag_offset.x);
  shell.window_pos.y = clamp_to_int32(int64_t{shell.row_offset.y} + shell.work_area.bottom + shell.drag_offset.y);
  player.anchor_x = shell.window_pos.x;
  player.anchor_y = shell.window_pos.y;
}

void play_animation(int32_t row) {
  ShellState& shell = the_shell();
  AnimationPlayer& player = the_player();
  platform_lock(&shell.shell_lock);
  if (shell.started) {
    shell.switching = true;
    start_fade(player, -1);
    shell.next_index = row;
  } else {
    shell.switching = false;
    start_fade(player, +1);
    start_animation(row);
    // Hidden meanwhile (the hot key inside a drop's message box), or giving way to a full-screen
    // program: it stays hidden until it may show again.
    if (character_may_show(shell)) platform_show_window(shell.character_window, SW_SHOW);
    shell.started = true;
  }
  platform_unlock(&shell.shell_lock);
}

namespace {

// start_time holds a millisecond clock value in seconds, so it converts back exactly.
uint32_t start_ms(const ShellState& shell) {
  return static_cast<uint32_t>(std::llround(shell.start_time * 1000.0));
}

}  // namespace

double seconds_since_start(const ShellState& shell) {
  return static_cast<uint32_t>(platform_time_ms() - start_ms(shell)) / 1000.0;
}

uint32_t main_loop_timeout(const ShellState& shell, const AnimationPlayer& player, uint32_t now) {
  if (!shell.started || shell.dragging || !character_may_show(shell)) return INFINITE;
  uint32_t due = tick_due_in(player, now);
  // Only a step sets played_through, and a step is a wake-up of its own: until then the rotation
  // cannot come due.
  const int32_t interval = shell.repeat_intervals[shell.repeat_choice];
  if (!shell.switching && shell.menu_ids.count > 1 && player.played_through && interval > 0 &&
      int64_t{interval} * 1000 <= int64_t{UINT32_MAX}) {
    const uint32_t interval_ms = static_cast<uint32_t>(interval) * 1000u;
    const uint32_t elapsed = now - start_ms(shell);
    due = std::min(due, elapsed >= interval_ms ? 0u : interval_ms - elapsed);
  }
  return std::max(due, 1u);  // a duration of 0 steps once a millisecond, as it always has
}

void main_loop_work(MainLoop& loop) {
  ShellState& shell = the_shell();
  AnimationPlayer& player = the_player();
  if (shell.started && !shell.dragging && platform_try_lock(&shell.shell_lock)) {
    const int32_t interval = shell.repeat_intervals[shell.repeat_choice];
    if (!shell.dragging && character_may_show(shell)) {
      if (shell.switching) {
        tick(player);
        if (player.fade_direction == 0) {  // the fade-out has ended
          shell.switching = false;
          start_fade(player, +1);
          start_animation(shell.next_index);
        }
      } else {
        tick(player);
        if (shell.menu_ids.count > 1 && player.played_through && interval > 0 &&
            seconds_since_start(shell) >= interval) {
          shell.switching = true;
          start_fade(player, -1);
          choose_next_animation();
        }
      }
    }
    platform_unlock(&shell.shell_lock);
  }

  PlatformMessage message;
  if (platform_peek_message(&message, PM_NOREMOVE)) {
    while (platform_peek_message(&message, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        loop.quit = true;
        loop.exit_code = static_cast<int32_t>(message.wparam);
      }
      platform_translate_message(&message);
      platform_dispatch_message(&message);
    }
  }
}

bool main_loop_pass(MainLoop& loop) {
  main_loop_work(loop);
  // After WM_QUIT the state may be one that only a message would end (hidden, say): one short wait.
  platform_wait_message(loop.quit ? 1 : main_loop_timeout(the_shell(), the_player(), platform_time_ms()));
  return !loop.quit;
}
