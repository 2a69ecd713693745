// Start-up, from the install path to the first animation, and the orderly tear-down after the main loop.
#include <cstdio>
#include <cstring>

#include "catalogue/installer.h"
#include "package/trace_log.h"
#include "shell/shell_state.h"
#include "shell/window_procedure.h"

namespace {

constexpr uint32_t kTrayIconId = 101;
constexpr int32_t kHotKeyId = 0;

const char kHotKeyTakenNotice[] =
    "Ctrl+F1 is in use by another program, so it cannot hide and show the character.\n\n"
    "The tray icon stays when the character is hidden: choose \"Quick Hide/Show (ctrl-F1)\" in its menu "
    "to show the character again.";

// Seeds from the calendar time, then seeds again while a draw is large against the number of seeds so
// far, which spreads the first draws of programs started in the same second.
void seed_random_numbers() {
  platform_srand(static_cast<uint32_t>(platform_calendar_time()));
  platform_rand();
  platform_rand();
  int32_t reseeds = 0;
  int32_t draw = platform_rand();
  while (draw * 10 / 32767 > reseeds) {
    platform_srand(static_cast<uint32_t>(platform_calendar_time()));
    ++reseeds;
    draw = platform_rand();
  }
}

void add_tray_icon(ShellState& shell) {
  shell.tray_icon = platform_load_icon(shell.instance, APP_ICON_RESOURCE_ID, 16, 16);
  TrayIconData& tray = shell.tray_data;
  tray = TrayIconData{};
  tray.window = shell.owner_window;
  tray.id = kTrayIconId;
  tray.flags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  tray.callback_message = TRAY_CALLBACK_MESSAGE;
  tray.icon = shell.tray_icon;
  std::strncpy(tray.tip, kProgramTitle, sizeof tray.tip - 1);
  tray.menu = shell.menu;
  platform_notify_icon(NIM_ADD, &tray);
}

const char kHotKeyUnsupportedNotice[] =
    "This desktop lets VelissaDesk take no keys of its own, so Ctrl+F1 cannot hide and show the "
    "character.\n\n"
    "Bind a key to the command \"velissadesk --toggle\" in your desktop's keyboard settings: it hides "
    "and shows the character as Ctrl+F1 does.\n\n"
    "The tray icon stays when the character is hidden: choose \"Quick Hide/Show (ctrl-F1)\" in its menu "
    "to show the character again.";

// Another program (or another copy of this one) holds Ctrl+F1, or the session gives keys to no
// program: hiding would otherwise be for good.
void register_hot_key(ShellState& shell) {
  shell.hot_key_registered =
      platform_register_hot_key(shell.owner_window, kHotKeyId, MOD_CONTROL | MOD_NOREPEAT, VK_F1);
  if (shell.hot_key_registered) return;
  const bool unsupported = platform_get_last_error() == ERROR_NOT_SUPPORTED;
  platform_message_box(nullptr, unsupported ? kHotKeyUnsupportedNotice : kHotKeyTakenNotice, "Warning",
                       MB_ICONWARNING);
}

// With nothing installed the character cannot show, so nothing could be dropped on it: the user is
// told where animations go. The program stays in the tray, whose menu still offers the guides and Exit.
void show_empty_catalogue_notice(const ShellState& shell) {
  FixedString text;
  empty_catalogue_notice(shell.base_directory, text);
  platform_message_box(nullptr, text.text, "Velissa", MB_ICONINFORMATION);
}

// A configured install path that names no folder would otherwise leave the user wondering why their
// animations are missing and where drops go: say what was passed over and what is used instead.
void warn_of_passed_over_install_path(const ShellState& shell) {
  char path[kInstallPathBufferSize];
  char setting[kInstallPathBufferSize];
  if (!platform_passed_over_install_path(path, sizeof path, setting, sizeof setting)) return;
  FixedString text;
  format(text,
         "The install folder\n%s\nset in %s does not exist.\n\n"
         "VelissaDesk uses this folder instead:\n%s",
         path, setting, shell.base_directory);
  platform_message_box(nullptr, text.text, "Warning", MB_ICONWARNING);
}

// The install path (or, with none, the folder the program started in) does not fit the base directory.
void refuse_install_path(const ShellState& shell) {
  char current[PLATFORM_MAX_PATH] = "";
  const uint32_t length = platform_get_current_directory(current, sizeof current);
  if (length == 0 || length >= sizeof current) current[0] = '\0';
  FixedString text;
  format(text, "The install path \"%s\" is too long: VelissaDesk needs a folder whose full path has at most %d characters.\n",
         shell.install_path[0] != '\0' ? shell.install_path : current, kBaseDirectorySize - 1);
  show_warning(text);
}

}  // namespace

void empty_catalogue_notice(const char* base_directory, FixedString& text) {
  char animation_directory[FixedString::kCapacity];
  if (!platform_join_path(animation_directory, sizeof animation_directory, base_directory, "anim"))
    std::strcpy(animation_directory, "anim");
  format(text,
         "No animations are installed yet.\n\n"
         "VelissaDesk plays the animation packages (.dat files) in this folder:\n%s\n\n"
         "Copy .dat packages into that folder, or unpack .kar archives there, and start VelissaDesk "
         "again. While a character is showing, you can also drop .dat and .kar files on it to install "
         "them.\n\n"
         "VelissaDesk keeps running in the tray: click its icon for the menu, with the User Guide and "
         "Exit.",
         animation_directory);
}

bool command_line_asks_toggle(const char* command_line) {
  if (command_line == nullptr) return false;
  const char* word = command_line;
  while (*word != '\0') {
    while (*word == ' ' || *word == '\t') ++word;
    const char* end = word;
    while (*end != '\0' && *end != ' ' && *end != '\t') ++end;
    if (end - word == 8 && std::strncmp(word, "--toggle", 8) == 0) return true;
    word = end;
  }
  return false;
}

StartUpResult shell_start_up(InstanceHandle instance, HandOverRequest request) {
  ShellState& shell = the_shell();
  AnimationPlayer& player = the_player();
  platform_start_up();
  shell.instance = instance;
  platform_read_install_path(shell.install_path, sizeof shell.install_path);
  // Also with no install path: the call then fails and the directory stays as it is.
  platform_set_current_directory(shell.install_path);
  // shell_lock was made with the shell state.
  animation_library_init();
  platform_get_work_area(&shell.work_area);
  const uint32_t base_length = platform_get_current_directory(shell.base_directory, sizeof shell.base_directory);
  if (base_length == 0 || base_length >= sizeof shell.base_directory) {
    // An empty base would put every install in the wrong place: the program does not start.
    shell.base_directory[0] = '\0';
    refuse_install_path(shell);
    return kStartUpFailed;
  }
  trace("current dir: %s\n", shell.base_directory);
  // Package file names are relative to the animation directory from here on.
  platform_set_current_directory("anim");

  if (!platform_register_class(instance, kWindowClassName, CS_DBLCLKS, window_procedure)) return kStartUpFailed;
  shell.owner_window = platform_create_window_ex(0, kWindowClassName, kProgramTitle, WS_POPUP, CW_USEDEFAULT,
                                                 CW_USEDEFAULT, kWindowWidth, kWindowHeight, nullptr, instance);
  if (shell.owner_window == nullptr) return kStartUpFailed;
  platform_show_window(shell.owner_window, SW_HIDE);
  // Two copies on one folder would fight over its tmp/, the hot key and the tray: a second start hands
  // over to the copy already running there, before anything shows.
  if (!platform_claim_install_path(shell.base_directory, shell.owner_window, request)) return kStartUpHandedOver;
  shell.character_window = platform_create_window_ex(
      WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kWindowClassName, kProgramTitle, WS_POPUP, CW_USEDEFAULT,
      CW_USEDEFAULT, kWindowWidth, kWindowHeight, shell.owner_window, instance);
  if (shell.character_window == nullptr) return kStartUpFailed;
  player.window = shell.character_window;
  // Full-screen programs (games, videos, presentations) are told to it, so that it can give way.
  platform_register_app_bar(shell.character_window, APP_BAR_CALLBACK_MESSAGE);
  platform_sleep(2);
  warn_of_passed_over_install_path(shell);

  seed_random_numbers();
  // What installs that could not finish left behind (copies, unpacking folders), before the scan.
  remove_install_leftovers(shell.base_directory);
  scan_catalogue(the_catalogue(), shell.menu_ids, shell.installed_name, shell.install_match);
  shell.menu = platform_create_popup_menu();
  build_menu();
  shell.taskbar_created_message = platform_register_window_message("TaskbarCreated");
  add_tray_icon(shell);
  if (row_count(the_catalogue()) == 0) show_empty_catalogue_notice(shell);

  choose_next_animation();
  play_animation(shell.next_index);
  platform_drag_accept_files(shell.character_window, true);
  platform_drag_accept_files(shell.owner_window, true);
  register_hot_key(shell);
  // The loop blocks until a frame is due, and the timer's resolution, not the priority, decides how
  // punctually it wakes. The real-time class (granted when run as administrator) would let every
  // present outrank the system's input and audio threads, so the program runs from the start at the
  // high class and the highest thread priority that each present asks for anyway.
  platform_set_priority_class(HIGH_PRIORITY_CLASS);
  platform_set_thread_priority(THREAD_PRIORITY_HIGHEST);
  return kStartUpRunning;
}

int32_t shell_tear_down(bool windows_made, int32_t exit_code) {
  ShellState& shell = the_shell();
  if (windows_made) {
    platform_unregister_hot_key(shell.owner_window, kHotKeyId);
    platform_remove_app_bar(shell.character_window);
    platform_drag_accept_files(shell.character_window, false);
    platform_drag_accept_files(shell.owner_window, false);
    platform_notify_icon(NIM_DELETE, &shell.tray_data);
    platform_destroy_icon(shell.tray_icon);
    platform_destroy_menu(shell.menu);
  }
  // The early failures of start-up continue here. shell_lock goes with the shell state.
  player_release(the_player());
  trace_close();
  animation_library_shutdown();
  platform_tear_down();
  return exit_code;
}

int32_t shell_main(InstanceHandle instance, HandOverRequest request) {
  switch (shell_start_up(instance, request)) {
    case kStartUpRunning: break;
    case kStartUpHandedOver: return shell_tear_down(false, 0);
    case kStartUpFailed: {
      // Without its windows the program has nothing to show: say why in one line, for a terminal or a
      // session log, rather than end in silence.
      char reason[512];
      if (platform_no_display_reason(reason, sizeof reason))
        fprintf(stderr, "VelissaDesk: cannot open its windows: %s\n", reason);
      else
        fprintf(stderr, "VelissaDesk: cannot open its windows (no display? it needs X11 or XWayland)\n");
      return shell_tear_down(false, 1);
    }
  }
  MainLoop loop;
  while (main_loop_pass(loop)) {
  }
  return shell_tear_down(true, loop.exit_code);
}
