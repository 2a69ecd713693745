// The headless backend's test API: script what the user and the system do (clock, cursor, answers,
// drops, hot keys, menu choices) and read back every platform call and what each window shows.
#pragma once

#include "platform/platform.h"

#include <functional>
#include <string>
#include <vector>

// One platform call, recorded when it is made (so calls made inside it follow it). name is the
// function's name without "platform_"; args lists the arguments separated by ", ": handles as
// "window#2" (numbered per kind from 1 since the last reset, "null" for none), texts in double quotes,
// styles and flags in hex ("0x205"), window messages by name ("WM_CLOSE", "TRAY_CALLBACK_MESSAGE") or in
// hex, other numbers in decimal; output buffers appear as their size only. result is the returned
// value in the same form ("" for none), with what an out argument received where that helps.
// Polling calls are counted instead of recorded: time_ms, peek_message, translate_message, sleep,
// wait_message.
struct HeadlessCall {
  std::string name;
  std::string args;
  std::string result;
};

struct HeadlessCounters {
  uint64_t time_reads;
  uint64_t peeks;
  uint64_t translates;
  uint64_t sleeps;
  uint64_t slept_ms;
  uint64_t waits;  // platform_wait_message calls: the main loop's wake-ups
};

// How platform_sleep and platform_wait_message pass time. A sleep lasts its time. A wait lasts until
// its timeout, or until a message waits: one is queued when it begins, or an action scripted with
// headless_at posts one on the way. A wait for a message alone (INFINITE) that no scripted action is
// left to end returns false at once, the clock unchanged.
enum HeadlessClockMode {
  HEADLESS_CLOCK_SCRIPTED,         // the test sets the time; sleeps and waits move it at once (the default)
  HEADLESS_CLOCK_SCRIPTED_FROZEN,  // the test sets the time; sleeps and waits leave it
  HEADLESS_CLOCK_REAL,             // the machine's clocks; sleeps and waits really sleep
};

struct HeadlessWindowInfo {
  bool exists;     // a handle this backend made since the last reset
  bool destroyed;
  std::string class_name;
  std::string title;
  uint32_t style;
  uint32_t ex_style;
  int32_t x, y, width, height;
  bool visible;
  WindowHandle owner;
  bool accepts_files;
};

// What the last platform_update_layered_window showed on a window.
struct HeadlessPresentation {
  uint32_t count;  // successful updates of this window so far; 0: nothing shown yet
  int32_t x, y;    // the window's position at that update
  int32_t width, height;
  uint8_t opacity;
  uint8_t alpha_format;
  uint32_t flags;
  std::vector<uint8_t> pixels;  // width * height * 4 bytes, B, G, R, A, top row first
};

struct HeadlessMenuItem {
  uint32_t flags;  // as appended: MF_STRING or MF_SEPARATOR
  uintptr_t id;
  std::string caption;
  bool checked;    // carries the radio mark
};

struct HeadlessMessageBox {
  std::string text;
  std::string caption;
  uint32_t flags;
  int32_t answer;
};

struct HeadlessHotKey {
  WindowHandle window;
  int32_t id;
  uint32_t modifiers;
  uint32_t key;
};

// Objects created and not yet destroyed or deleted (leak checks).
struct HeadlessObjectCounts {
  int32_t windows, menus, icons, device_contexts, bitmaps, drops, searches;
};

// Everything back to the start: no windows, classes or objects, empty queue and log, scripted clock
// at 0, calendar time 0, cursor (0, 0), work area (0, 0, 1920, 1040), no install path, no scripted
// answers, no hooks, srand(1).
void headless_reset();

// ---- Call log ----
const std::vector<HeadlessCall>& headless_calls();
std::vector<HeadlessCall> headless_calls_named(const char* name);
// "name(args) -> result" per call, one a line: handy to compare a whole sequence.
std::string headless_call_text(const HeadlessCall& call);
void headless_clear_calls();
HeadlessCounters headless_counters();

// ---- Clock ----
void headless_set_clock_mode(HeadlessClockMode mode);
void headless_set_time(uint32_t milliseconds);
void headless_advance_time(uint32_t milliseconds);  // wraps at 2^32 like the real clock
void headless_set_calendar_time(int64_t seconds);
// Called after every platform_sleep with the clock's new value; it may post messages, drop files...
void headless_set_sleep_hook(std::function<void(uint32_t now)> hook);
// Runs action when a sleep or a wait brings the clock to at_ms (or past it: actions are never skipped),
// with the clock stopped there; actions due together run in the order they were added. An action that
// is due already runs at the start of the next sleep or wait.
void headless_at(uint32_t at_ms, std::function<void()> action);
// Emulates a system timer that ends sleeps and waits only at its ticks, every period_ms from clock 0
// (Windows before timeBeginPeriod: 15.625), except the last part of a wait, which runs with the timer
// raised as on Windows; 0, the default, ends them on their millisecond. Scripted clock only.
void headless_set_timer_period(double period_ms);

// ---- Desktop ----
void headless_set_cursor_pos(int32_t x, int32_t y);
void headless_set_work_area(PlatformRect area);
// The monitors platform_rect_on_a_monitor knows; one of 1920 x 1080 at (0, 0) after a reset.
void headless_set_monitors(const std::vector<PlatformRect>& monitors);
// A full-screen program comes over (on) or leaves the monitors: each registered app bar's window is
// posted its callback message with ABN_FULLSCREENAPP. False when no app bar is registered.
bool headless_full_screen(bool on);
// The install path platform_read_install_path reports; null for none.
void headless_set_install_path(const char* path);
// What platform_passed_over_install_path reports: a configured path that names no folder and where
// it was set; null for none.
void headless_set_passed_over_install_path(const char* path, const char* setting);
// Makes platform_read_install_path follow the Linux rule (environment, then config file).
void headless_use_environment_install_path();

// ---- Messages ----
// Post and send as the system or another program would: not recorded in the call log.
bool headless_post_message(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam);
LRESULT headless_send_message(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam);
// Dispatches queued messages until none but a pending WM_QUIT is left; returns how many it dispatched.
int32_t headless_pump_messages();
std::vector<PlatformMessage> headless_queued_messages();
// Whether WM_QUIT waits to be peeked, and its exit code.
bool headless_quit_pending(int32_t* exit_code);

// ---- Input ----
// Drops paths on window: makes a drop handle and posts WM_DROPFILES with it. Null, and nothing posted,
// when the window does not accept files.
DropHandle headless_drop_files(WindowHandle window, const std::vector<std::string>& paths);
bool headless_drop_finished(DropHandle drop);
// Presses a registered hot key: posts WM_HOTKEY (wparam = id, lparam = modifiers | key << 16) to its
// window. False when no such hot key is registered.
bool headless_press_hot_key(uint32_t modifiers, uint32_t key);
// From now on every hot key registration fails with ERROR_NOT_SUPPORTED, as on Wayland without a
// shortcuts portal.
void headless_set_hot_keys_unsupported(bool unsupported);
// A mouse event on the tray icon with this id: posts its callback message (wparam = id, lparam =
// mouse_message, e.g. WM_RBUTTONUP) to its window. False when no such icon is shown.
bool headless_tray_event(uint32_t id, uint32_t mouse_message);

// ---- Modal calls ----
// Answers of the next message boxes, in order; once they are used up, every box answers IDOK.
void headless_queue_message_box_answer(int32_t answer);
// What the next pop-up menus choose, in order: an item's id, or 0 to dismiss. Once they are used up,
// or when the id is not a string item of the menu, the menu is dismissed.
void headless_queue_menu_choice(uintptr_t id);
// Called at the start of every modal call ("message_box", "track_popup_menu"), before the nested loop
// dispatches what is queued; it may post messages, which the nested loop then handles.
void headless_set_modal_hook(std::function<void(const char* kind)> hook);
const std::vector<HeadlessMessageBox>& headless_message_boxes();

// ---- Failures ----
// Makes every platform_update_layered_window fail with this error code; 0 lets them succeed again.
void headless_fail_layered_updates(uint32_t error_code);
// Has the backend keep the pictures it is asked to keep, with no bound, as the X11 backend does, and
// record those calls; off (the default), it keeps and shows none and records none of them, as on
// Windows. Those kept stay until the reset, to be shown when it is on again.
void headless_keep_pictures(bool keep);

// ---- State ----
std::vector<WindowHandle> headless_windows();  // in creation order, destroyed ones included
HeadlessWindowInfo headless_window_info(WindowHandle window);
HeadlessPresentation headless_last_presentation(WindowHandle window);
std::vector<HeadlessMenuItem> headless_menu_items(MenuHandle menu);
uintptr_t headless_menu_item_id(MenuHandle menu, const char* caption);  // 0 when absent
std::vector<TrayIconData> headless_tray_icons();
std::vector<HeadlessHotKey> headless_hot_keys();
WindowHandle headless_capture_window();
WindowHandle headless_foreground_window();
WindowHandle headless_top_window();  // the window last brought to the top
int32_t headless_thread_priority();
uint32_t headless_priority_class();
HeadlessObjectCounts headless_live_objects();
