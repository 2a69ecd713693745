// The character at home while the desktop changes: it gives way to full-screen programs and keeps its
// place against the work area's corner when panels, the resolution or the monitors change.
#include "shell/shell_state.h"
#include "shell/window_procedure.h"

namespace {

// Where the playing frame lies on the screen once the anchor is window_pos.
PlatformRect character_rect(const ShellState& shell, const AnimationPlayer& player) {
  const int32_t left = clamp_to_int32(int64_t{shell.window_pos.x} + player.offset_x);
  const int32_t top = clamp_to_int32(int64_t{shell.window_pos.y} + player.offset_y);
  return PlatformRect{left, top, clamp_to_int32(int64_t{left} + player.image_width),
                      clamp_to_int32(int64_t{top} + player.image_height)};
}

void end_drag(ShellState& shell) {
  if (!shell.dragging) return;
  shell.dragging = false;
  platform_release_capture();
}

}  // namespace

void follow_work_area() {
  ShellState& shell = the_shell();
  AnimationPlayer& player = the_player();
  // Moving the window under the pointer would fight the user's hand: this waits for the release.
  if (shell.dragging) {
    shell.work_area_pending = true;
    return;
  }
  shell.work_area_pending = false;
  // Never inside a present: the lock is held (by this thread, re-entrantly) around every frame.
  platform_lock(&shell.shell_lock);
  PlatformRect area;
  if (platform_get_work_area(&area)) shell.work_area = area;
  if (shell.started) {
    place_at_corner();
    // Dragged onto a monitor that has gone: there is no way to reach it, so it comes back to its corner.
    const PlatformRect rect = character_rect(shell, player);
    if (!platform_rect_on_a_monitor(&rect) && (shell.drag_offset.x != 0 || shell.drag_offset.y != 0)) {
      shell.drag_offset = {0, 0};
      place_at_corner();
    }
    platform_set_window_pos(shell.character_window, nullptr,
                            clamp_to_int32(int64_t{shell.window_pos.x} + player.offset_x),
                            clamp_to_int32(int64_t{shell.window_pos.y} + player.offset_y), 0, 0,
                            SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  platform_unlock(&shell.shell_lock);
}

void step_aside(bool full_screen) {
  ShellState& shell = the_shell();
  if (shell.stepped_aside == full_screen) return;
  shell.stepped_aside = full_screen;
  // The window goes away under the pointer: a drag cannot go on without it.
  if (full_screen) end_drag(shell);
  // The tray icon stays either way: only the user hides it.
  if (shell.started && !shell.hidden)
    platform_show_window(shell.character_window, full_screen ? SW_HIDE : SW_SHOW);
}
