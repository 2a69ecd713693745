// What the user does with the mouse, the menu, the hot key and dropped files, for both windows.
#include "shell/window_procedure.h"

#include <cstring>
#include <new>

#include "catalogue/installer.h"
#include "package/trace_log.h"
#include "shell/shell_state.h"

namespace {

// Mouse points arrive in lparam as signed 16-bit words: left of or above a window that holds the
// capture they are negative.
PlatformPoint screen_point(WindowHandle window, LPARAM lparam) {
  PlatformPoint point{platform_lparam_x(lparam), platform_lparam_y(lparam)};
  platform_client_to_screen(window, &point);
  return point;
}

void start_drag(WindowHandle window, LPARAM lparam) {
  ShellState& shell = the_shell();
  platform_lock(&shell.shell_lock);
  platform_set_capture(window);
  shell.dragging = true;
  shell.last_cursor = screen_point(window, lparam);
  platform_unlock(&shell.shell_lock);
}

// Moves the character with the mouse; the main loop leaves the player alone meanwhile.
void drag_step(WindowHandle window, LPARAM lparam) {
  ShellState& shell = the_shell();
  AnimationPlayer& player = the_player();
  const PlatformPoint point = screen_point(window, lparam);
  const int64_t dx = int64_t{point.x} - shell.last_cursor.x;
  const int64_t dy = int64_t{point.y} - shell.last_cursor.y;
  shell.last_cursor = point;
  shell.drag_offset = {clamp_to_int32(shell.drag_offset.x + dx), clamp_to_int32(shell.drag_offset.y + dy)};
  shell.window_pos = {clamp_to_int32(shell.window_pos.x + dx), clamp_to_int32(shell.window_pos.y + dy)};
  // The position relative to the work area's corner, as a catalogue entry's fourth line gives it.
  trace("#pos: %d, %d\n", clamp_to_int32(int64_t{shell.drag_offset.x} + shell.row_offset.x),
        clamp_to_int32(int64_t{shell.drag_offset.y} + shell.row_offset.y));
  player.anchor_x = shell.window_pos.x;
  player.anchor_y = shell.window_pos.y;
  platform_set_window_pos(window, nullptr, clamp_to_int32(int64_t{shell.window_pos.x} + player.offset_x),
                          clamp_to_int32(int64_t{shell.window_pos.y} + player.offset_y), 0, 0, SWP_NOSIZE);
}

void show_menu(uint32_t flags, PlatformPoint at, WindowHandle owner) {
  platform_track_popup_menu(the_shell().menu, flags, at.x, at.y, owner);
}

// A tray icon's menu closes on a click elsewhere only while its owner is the foreground window, and
// opens again on the next click only after the owner has handled a message since.
void show_tray_menu() {
  const ShellState& shell = the_shell();
  PlatformPoint cursor{0, 0};
  platform_get_cursor_pos(&cursor);
  platform_set_foreground_window(shell.owner_window);
  show_menu(TPM_RIGHTALIGN | TPM_BOTTOMALIGN, cursor, shell.owner_window);
  platform_post_message(shell.owner_window, WM_NULL, 0, 0);
}

// Without the hot key the tray icon is the only way back to a hidden character, so it stays.
void set_hidden(bool hidden) {
  ShellState& shell = the_shell();
  shell.hidden = hidden;
  if (shell.hot_key_registered) platform_notify_icon(hidden ? NIM_DELETE : NIM_ADD, &shell.tray_data);
  platform_show_window(shell.character_window, character_may_show(shell) ? SW_SHOW : SW_HIDE);
}

// The tray starts again (Explorer restarted, or started after this program) without the icon it had:
// the icon's own window adds it again, unless the user hid it along with the character.
void add_tray_icon_again(WindowHandle window) {
  const ShellState& shell = the_shell();
  const bool shown = !shell.hidden || !shell.hot_key_registered;
  if (window == shell.owner_window && shown) platform_notify_icon(NIM_ADD, &shell.tray_data);
}

void open_link(int32_t link) {
  FixedString address;
  if (link_address(the_shell().base_directory, link, address))
    platform_shell_execute(nullptr, "open", address.text, "", "", SW_SHOW);
}

// Position of id in ids, or -1.
int32_t position_of(const int32_t* ids, int32_t count, WPARAM id) {
  for (int32_t i = 0; i < count; ++i) {
    if (static_cast<WPARAM>(ids[i]) == id) return i;
  }
  return -1;
}

}  // namespace

void hide_character() { set_hidden(true); }

void toggle_hidden() { set_hidden(!the_shell().hidden); }

void run_menu_command(WPARAM command) {
  ShellState& shell = the_shell();
  // No item has identifier 0; the identifiers are 0 until the first menu is built.
  if (command == 0) return;
  if (command == static_cast<WPARAM>(shell.hide_show_id)) {
    // Hides; the item can be chosen while the character is hidden only when the tray icon stayed
    // for want of the hot key, and then it shows the character again.
    toggle_hidden();
  } else if (command == static_cast<WPARAM>(shell.exit_id)) {
    platform_post_message(shell.owner_window, WM_CLOSE, 0, 0);
  } else if (const int32_t link = position_of(shell.link_ids, kLinkItems, command); link >= 0) {
    open_link(link);
  } else if (const int32_t choice = position_of(shell.repeat_ids, kRepeatChoices, command); choice >= 0) {
    shell.repeat_choice = choice;
    platform_check_menu_radio_item(shell.menu, shell.repeat_ids[0], shell.repeat_ids[kRepeatChoices - 1],
                                   shell.repeat_ids[choice], MF_BYCOMMAND);
  } else if (const int32_t row = position_of(shell.menu_ids.data, shell.menu_ids.count, command); row >= 0) {
    play_animation(row);
  }
}

namespace {

// A dropped path longer than the system takes cannot be copied: the user is told so, with its title.
void refuse_long_path(DropHandle drop, uint32_t i, uint32_t length) {
  char* path = new (std::nothrow) char[static_cast<size_t>(length) + 1];
  if (path == nullptr || platform_drag_query_file(drop, i, path, length + 1) == 0) {
    delete[] path;
    return;
  }
  const char* slash = std::strrchr(path, PLATFORM_PATH_SEPARATOR);
  FixedString message;
  format(message, "Animation file \"%s\" cannot be copied !\n", slash != nullptr ? slash + 1 : path);
  delete[] path;
  show_warning(message);
}

int32_t install_one_drop(DropHandle drop) {
  ShellState& shell = the_shell();
  int32_t installed = 0;
  const InstallContext context{shell.base_directory, shell.character_window, &shell.closing};
  const uint32_t count = platform_drag_query_file(drop, DROP_QUERY_COUNT, nullptr, 0);
  for (uint32_t i = 0; i < count && !shell.closing; ++i) {
    char path[PLATFORM_MAX_PATH];
    const uint32_t length = platform_drag_query_file(drop, i, nullptr, 0);
    if (length >= sizeof path) {
      refuse_long_path(drop, i, length);
      continue;
    }
    if (length == 0 || platform_drag_query_file(drop, i, path, sizeof path) == 0) continue;
    char name[kInstallNameSize] = {};
    const int32_t result = install_file(context, path, name);
    if (result == 0) continue;
    if (installed == 0) {
      // Cut to the buffer: a longer name then matches no row, which the restart below handles.
      const size_t length = strnlen(name, sizeof shell.installed_name - 1);
      std::memcpy(shell.installed_name, name, length);
      shell.installed_name[length] = '\0';
    }
    installed += result;
  }
  platform_drag_finish(drop);

  shell.install_match = -1;
  if (installed == 0 || shell.closing) return installed;
  scan_catalogue(the_catalogue(), shell.menu_ids, shell.installed_name, shell.install_match);
  build_menu();
  FixedString text;
  format(text, "%d New Animations Installed.", installed);
  if (!shell.closing) platform_message_box(nullptr, text.text, "Velissa", MB_ICONINFORMATION);
  // The rescan released every package, the one the player shows included, so the player starts
  // again from the new catalogue: with the first new animation, or, when the scan does not list it
  // (a file it passes over, a name longer than the buffer), with a row drawn at random. Not once the
  // windows are gone (Exit was chosen meanwhile): the player is only released.
  player_release(the_player());
  shell.started = false;
  if (shell.closing) return installed;
  if (shell.install_match == -1) choose_next_animation();
  play_animation(shell.install_match != -1 ? shell.install_match : shell.next_index);
  return installed;
}

}  // namespace

int32_t install_dropped_files(DropHandle drop) {
  ShellState& shell = the_shell();
  if (shell.installing) {
    // Inside another drop's message box: this one waits its turn.
    if (shell.waiting_drop_count < kWaitingDrops)
      shell.waiting_drops[shell.waiting_drop_count++] = drop;
    else
      platform_drag_finish(drop);
    return 0;
  }
  platform_lock(&shell.shell_lock);
  shell.installing = true;
  int32_t installed = install_one_drop(drop);
  while (shell.waiting_drop_count > 0) {
    const DropHandle next = shell.waiting_drops[0];
    --shell.waiting_drop_count;
    std::memmove(shell.waiting_drops, shell.waiting_drops + 1, sizeof(DropHandle) * shell.waiting_drop_count);
    if (shell.closing)
      platform_drag_finish(next);
    else
      installed += install_one_drop(next);
  }
  shell.installing = false;
  platform_unlock(&shell.shell_lock);
  return installed;
}

LRESULT PLATFORM_CALLBACK window_procedure(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam) {
  ShellState& shell = the_shell();
  // A later start on this install path handed over: the user wants to see the character. Windows
  // broadcasts these to every top-level window, the character window too, so only the owner window
  // answers: two answers to one toggle would cancel out.
  if (message != 0 && message == platform_show_request_message()) {
    if (shell.hidden && window == shell.owner_window) toggle_hidden();
    return 0;
  }
  // "velissadesk --toggle", which a desktop binds to a key where the program cannot take one itself.
  if (message != 0 && message == platform_toggle_request_message()) {
    if (window == shell.owner_window) toggle_hidden();
    return 0;
  }
  switch (message) {
    case WM_COMMAND: run_menu_command(wparam); return 0;
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK: hide_character(); return 0;
    case WM_LBUTTONDOWN: start_drag(window, lparam); return 0;
    case WM_MOUSEMOVE:
      if (shell.dragging) drag_step(window, lparam);
      return 0;
    case WM_LBUTTONUP:
      shell.dragging = false;
      platform_release_capture();
      if (shell.work_area_pending) follow_work_area();
      return 0;
    case WM_CAPTURECHANGED:
      // The system took the mouse away (a locked screen, an elevation prompt, another window): the
      // button's release will not come here, so the drag ends now.
      if (reinterpret_cast<WindowHandle>(lparam) != window) shell.dragging = false;
      if (!shell.dragging && shell.work_area_pending) follow_work_area();
      return 0;
    case WM_RBUTTONUP: show_menu(0, screen_point(window, lparam), window); return 0;
    case TRAY_CALLBACK_MESSAGE:
      if (lparam == WM_LBUTTONUP || lparam == WM_RBUTTONUP) show_tray_menu();
      return 0;
    case WM_HOTKEY: toggle_hidden(); return 0;
    case HOT_KEY_LOST_MESSAGE:
      // Ctrl+F1 will not come: a hidden character gets its tray icon back, and keeps it from now on.
      if (shell.hot_key_registered && shell.hidden) platform_notify_icon(NIM_ADD, &shell.tray_data);
      shell.hot_key_registered = false;
      return 0;
    case WM_DROPFILES: install_dropped_files(platform_drop_from_wparam(wparam)); return 0;
    case WM_SETTINGCHANGE:
      if (wparam != SPI_SETWORKAREA) return platform_default_window_procedure(window, message, wparam, lparam);
      follow_work_area();
      return 0;
    case WM_DISPLAYCHANGE:
    case WM_DPICHANGED: follow_work_area(); return 0;
    case APP_BAR_CALLBACK_MESSAGE:
      if (wparam == ABN_FULLSCREENAPP) step_aside(lparam != 0);
      return 0;
    case WM_DESTROY:
      shell.closing = true;
      platform_post_quit_message(0);
      return 0;
    default:
      // A registered message has no fixed number; 0 means it could not be registered.
      if (message == shell.taskbar_created_message && message != 0) {
        add_tray_icon_again(window);
        return 0;
      }
      return platform_default_window_procedure(window, message, wparam, lparam);
  }
}
