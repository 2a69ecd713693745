// The shell: its global state, start-up, the main loop with the rotation between animations, the
// pop-up menu and tear-down. The window procedure that carries out the user's commands is in window_procedure.h.
#pragma once

#include <cstdint>

#include "animation/animation_player.h"
#include "catalogue/catalogue.h"
#include "foundation/arrays.h"
#include "foundation/fixed_string.h"
#include "platform/platform.h"

constexpr int32_t kInstallPathBufferSize = 520;
constexpr int32_t kBaseDirectorySize = 260;
constexpr int32_t kInstalledNameSize = 260;
constexpr int32_t kRepeatChoices = 4;
constexpr int32_t kLinkItems = 3;
constexpr int32_t kWaitingDrops = 64;
// Both windows are created this large; the first present sizes the character window to its frame.
constexpr int32_t kWindowWidth = 544;
constexpr int32_t kWindowHeight = 375;

constexpr const char* kWindowClassName = "VelissaDeskClass";
constexpr const char* kProgramTitle = "VelissaDesk";

// The global state of the shell. Every field starts as given here; the player, the catalogue and this
// state exist once, reached through the_player(), the_catalogue() and the_shell().
struct ShellState {
  char install_path[kInstallPathBufferSize] = {};
  char base_directory[kBaseDirectorySize] = {};  // the install path as a full path; anim/ and tmp/ are below it
  PlatformRect work_area = {0, 0, 0, 0};
  PlatformPoint row_offset = {0, 0};   // the playing animation's catalogue position
  PlatformPoint drag_offset = {0, 0};  // every drag movement since start-up; never reset
  PlatformPoint window_pos = {0, 0};   // work-area corner + row_offset + drag_offset: the player's anchor
  PlatformPoint last_cursor = {0, 0};  // screen point of the previous drag step
  double start_time = 0.0;             // now_seconds() when the playing animation started
  int32_t current_index = 0;
  int32_t next_index = 0;
  bool started = false;    // an animation has been started and the character window shown
  bool switching = false;  // a fade-out runs; next_index starts when it ends
  bool dragging = false;
  bool hidden = false;
  // A full-screen program covers the character's monitor: the character gives way to it, apart from
  // hidden, which stays the user's own choice.
  bool stepped_aside = false;
  // The work area changed during a drag: the character is placed again once the drag ends.
  bool work_area_pending = false;
  // Ctrl+F1 is ours. When it is not, hiding keeps the tray icon, whose menu is then the way back.
  bool hot_key_registered = false;
  int32_t repeat_choice = 0;
  int32_t repeat_intervals[kRepeatChoices] = {10, 30, 50, -1};  // seconds; 0 or less never rotates
  char installed_name[kInstalledNameSize] = {};  // the first animation the latest successful drop installed
  int32_t install_match = -1;                     // its catalogue row after the rescan, or -1
  InstanceHandle instance = nullptr;
  WindowHandle owner_window = nullptr;      // never shown: tray messages, the hot key, the close request
  WindowHandle character_window = nullptr;  // the layered window the character is drawn on
  MenuHandle menu = nullptr;
  TrayIconData tray_data = {};
  IconHandle tray_icon = nullptr;
  uint32_t taskbar_created_message = 0;  // the tray's "TaskbarCreated" broadcast: add the icon again
  IntArray menu_ids;  // command id of each animation item, in catalogue row order
  int32_t repeat_ids[kRepeatChoices] = {};
  int32_t link_ids[kLinkItems] = {};
  int32_t exit_id = 0;
  int32_t hide_show_id = 0;
  int32_t next_menu_id = 2;  // raised before each use, so the first item gets 3; never reset
  // Drops are handled one after the other: one that arrives while another is installed (inside its
  // message boxes) waits here, in order, until the first has finished.
  bool installing = false;
  DropHandle waiting_drops[kWaitingDrops] = {};
  int32_t waiting_drop_count = 0;
  bool closing = false;  // the windows are being destroyed: a drop in progress ends without them
  // Over the player, started, switching, next_index, current_index, start_time, and the start of a
  // drag. Re-entrant: the drop handler holds it while play_animation takes it again.
  PlatformLock shell_lock;
};

AnimationPlayer& the_player();
Catalogue& the_catalogue();
ShellState& the_shell();

// Releases the catalogue rows (and their packages), the menu identifiers and the player, in that
// order, and puts all three back to their state before start-up. Runs when the program exits; tests
// call it between runs of the program in one process.
void release_program_objects();

// Whether the character window may show: neither hidden by the user nor stepped aside.
inline bool character_may_show(const ShellState& shell) { return !shell.hidden && !shell.stepped_aside; }

// ---- The program's life ----
// Start-up, the main loop and tear-down: the program's main function. Returns the exit code. With a
// copy already running on the install path, request is what that copy is asked to do.
int32_t shell_main(InstanceHandle instance, HandOverRequest request = HAND_OVER_SHOW);
// The command line holds the word "--toggle": hide or show the running copy's character, as the hot
// key does (and start the program when none runs).
bool command_line_asks_toggle(const char* command_line);

enum StartUpResult {
  kStartUpFailed,      // the window class or a window could not be made (no display)
  kStartUpRunning,     // ready for the main loop
  kStartUpHandedOver,  // a copy already runs on this install path and was sent the request
};
// Start-up steps up to the main loop. Unless it reports kStartUpRunning, the caller goes on with
// shell_tear_down(false, ...): exit code 1 after a failure, 0 after a hand-over.
StartUpResult shell_start_up(InstanceHandle instance, HandOverRequest request = HAND_OVER_SHOW);

struct MainLoop {
  bool quit = false;       // WM_QUIT was seen
  int32_t exit_code = 0;   // the exit code it carried
};
// One pass of the main loop: main_loop_work, then a wait for a message of at most main_loop_timeout
// (1 ms once WM_QUIT has been seen). False once a WM_QUIT has been handled: the loop ends.
bool main_loop_pass(MainLoop& loop);
// A pass without its wait: steps the player and applies the rotation rule (when the lock is free and
// the character is started, shown and not dragged), then hands every waiting message to its window
// procedure.
void main_loop_work(MainLoop& loop);
// How long the pass may wait before the next one has something to do: until the player's tick is
// due, or the rotation's moment once the animation has played through; at least 1 ms. INFINITE when
// only a message can bring work: not started, hidden, stepped aside or dragged.
uint32_t main_loop_timeout(const ShellState& shell, const AnimationPlayer& player, uint32_t now);

// Tear-down: with windows_made, removes the hot key, the drop registrations, the tray icon, its icon and
// the menu first; then releases the player, closes the trace log and shuts the image library down.
// Returns exit_code.
int32_t shell_tear_down(bool windows_made, int32_t exit_code);

// ---- Animations ----
// next_index = a random catalogue row other than current_index (0 with fewer than two animations).
void choose_next_animation();
// Loads the row's animation and shows it at once. Only with shell_lock held.
void start_animation(int32_t row);
// Where a new animation goes, and where the playing one goes again when the desktop changes: the work
// area's bottom-right corner plus row_offset plus drag_offset, into window_pos and the player's anchor.
void place_at_corner();
// The way in for the menu, the drop handler and start-up: fades the playing animation out and leaves
// row to the main loop, or starts it at once when nothing has been started.
void play_animation(int32_t row);
// Positions come from package files and from the mouse: their sums, taken in 64 bits, stay at the
// ends of the 32-bit range instead of overflowing.
int32_t clamp_to_int32(int64_t value);
// Seconds since start_time, taken on the millisecond clock as an unsigned difference so that the
// rotation keeps working across the clock's wrap.
double seconds_since_start(const ShellState& shell);

// ---- Menu ----
// Empties the menu and fills it from the catalogue: the animations, the repeat choices (marked), the
// links, Exit and Quick Hide/Show. Fills menu_ids, one identifier per catalogue row.
void build_menu();
// Appends a string item with the next command identifier, which it returns.
int32_t append_menu_item(const char* caption);

// The menu's link items open documents shipped with the program: the user guide, the guide to making
// animations and the licence. The file:// address of link's document in base_directory/docs/: separators as '/', every byte but
// letters, digits, "-._~", '/' and ':' percent-encoded. False (address empty) for a link out of range
// or an address that would not fit.
bool link_address(const char* base_directory, int32_t link, FixedString& address);

// What start-up tells the user when no animation is installed: where animations go and how to add them.
void empty_catalogue_notice(const char* base_directory, FixedString& text);
