// The character while the desktop changes: stepping aside for full-screen programs beside hiding,
// the hot key, the rotation, drags and drops; placing it again when the work area or the monitors
// change.
#include "shell_fixture.h"

namespace {

LPARAM at(int32_t x, int32_t y) { return platform_make_lparam(x, y); }

bool character_visible() { return headless_window_info(the_shell().character_window).visible; }

void full_screen(bool on) { ASSERT_TRUE(headless_full_screen(on)); }

}  // namespace

// Stepped aside, the character is frozen and the loop sleeps without waking while the interval runs,
// and the tray icon stays; what the user did meanwhile (Ctrl+F1, a drop) holds when it comes back.
TEST_F(ShellTest, AFullScreenProgramMakesTheCharacterStepAsideBesideHiding) {
  install(test_animation("One"));
  install(test_animation("Two"));
  struct Case {
    const char* what;
    bool hot_key_meanwhile;  // Ctrl+F1 while stepped aside: hidden when the program leaves
    bool drop_meanwhile;
  };
  for (const Case& c : {Case{"alone", false, false}, Case{"Ctrl+F1", true, false}, Case{"drop", false, true}}) {
    SCOPED_TRACE(c.what);
    reset_program();
    start();
    const ShellState& shell = the_shell();
    const uint32_t started_at = platform_time_ms();
    run_until(started_at + 1000);
    const PlatformPoint place = shell.window_pos;
    full_screen(true);
    pass();
    EXPECT_TRUE(shell.stepped_aside);
    EXPECT_FALSE(character_visible());
    EXPECT_EQ(headless_tray_icons().size(), 1u);
    EXPECT_EQ(main_loop_timeout(shell, the_player(), platform_time_ms()), INFINITE);
    const size_t shown = presents();
    if (c.hot_key_meanwhile) {
      ASSERT_TRUE(headless_press_hot_key(MOD_CONTROL, VK_F1));
      pass();
      EXPECT_TRUE(shell.hidden);
      EXPECT_TRUE(headless_tray_icons().empty());
      EXPECT_FALSE(character_visible());
    }
    if (c.drop_meanwhile) {
      const std::string path = dir.file("Three.dat");
      ASSERT_TRUE(write_test_package(path, test_animation("Three")));
      ASSERT_NE(headless_drop_files(shell.character_window, {path}), nullptr);
      pass();
      EXPECT_EQ(current_name(), "Three");
      EXPECT_FALSE(character_visible());
    }
    const size_t shown_after = presents();
    const uint64_t waits = headless_counters().waits;
    EXPECT_EQ(run_until_switching(started_at + 20000), UINT32_MAX);
    EXPECT_EQ(presents(), shown_after);
    EXPECT_LE(headless_counters().waits - waits, 2u);  // one wait for the whole time, no wake-ups
    if (!c.drop_meanwhile) {
      EXPECT_EQ(shown_after, shown);
    }

    full_screen(false);
    pass();
    EXPECT_FALSE(shell.stepped_aside);
    EXPECT_EQ(character_visible(), !c.hot_key_meanwhile);
    if (c.hot_key_meanwhile) {
      ASSERT_TRUE(headless_press_hot_key(MOD_CONTROL, VK_F1));
      pass();
      EXPECT_TRUE(character_visible());
    }
    if (!c.drop_meanwhile) {
      EXPECT_EQ(shell.window_pos.x, place.x);
    }
    // The interval ran meanwhile: the rotation comes on the next pass, unless the dropped animation,
    // frozen since it started, has still to play through once.
    pass();
    EXPECT_EQ(shell.switching, !c.drop_meanwhile);
  }
}

TEST_F(ShellTest, SteppingAsideEndsADragAndRepeatedNoticesChangeNothing) {
  install(test_animation("One"));
  start();
  const ShellState& shell = the_shell();
  run_until(300);
  post_and_pass(shell.character_window, WM_LBUTTONDOWN, MK_LBUTTON, at(4, 4));
  ASSERT_TRUE(shell.dragging);
  headless_clear_calls();
  full_screen(true);
  full_screen(true);
  pass();
  EXPECT_FALSE(shell.dragging);
  EXPECT_EQ(headless_capture_window(), nullptr);
  EXPECT_EQ(headless_calls_named("show_window").size(), 1u);
  // Other app bar notices are not full-screen ones.
  post_and_pass(shell.character_window, APP_BAR_CALLBACK_MESSAGE, 1, 0);
  EXPECT_TRUE(shell.stepped_aside);
  full_screen(false);
  pass();
  EXPECT_TRUE(character_visible());
}

// Each change of the desktop places the character again from the new corner, its drag kept; during a
// drag only once the button is released.
TEST_F(ShellTest, TheCharacterFollowsTheWorkAreaWithItsDragOffset) {
  install(test_animation("One", 3, 0.1, -100, -50));
  struct Case {
    const char* what;
    uint32_t message;
    WPARAM wparam;
    bool follows;
  };
  for (const Case& c : {Case{"display", WM_DISPLAYCHANGE, 32, true},
                        Case{"work area", WM_SETTINGCHANGE, SPI_SETWORKAREA, true},
                        Case{"another setting", WM_SETTINGCHANGE, 0x2A, false},
                        Case{"dpi", WM_DPICHANGED, 0x00600060, true}}) {
    SCOPED_TRACE(c.what);
    reset_program();
    start();
    const ShellState& shell = the_shell();
    const WindowHandle character = shell.character_window;
    run_until(300);
    post_and_pass(character, WM_LBUTTONDOWN, MK_LBUTTON, at(5, 5));
    post_and_pass(character, WM_MOUSEMOVE, MK_LBUTTON, at(-5, 5));
    ASSERT_EQ(shell.window_pos.x, 1920 - 100 - 10);

    // A panel 120 pixels high comes at the bottom while the button is still held.
    headless_set_work_area(PlatformRect{0, 0, 1920, 920});
    post_and_pass(shell.owner_window, c.message, c.wparam, 0);
    EXPECT_EQ(shell.window_pos.y, 1040 - 50);
    post_and_pass(character, WM_LBUTTONUP, 0, at(-5, 5));
    const int32_t y = c.follows ? 920 - 50 : 1040 - 50;
    EXPECT_EQ(shell.window_pos.x, 1920 - 100 - 10);
    EXPECT_EQ(shell.window_pos.y, y);
    EXPECT_EQ(the_player().anchor_y, y);
    EXPECT_EQ(headless_window_info(character).y, y + the_player().offset_y);
    run_until(platform_time_ms() + 300);
    EXPECT_EQ(headless_last_presentation(character).y, y + the_player().offset_y);
  }
}

TEST_F(ShellTest, ACharacterLeftOnAVanishedMonitorComesBackToItsCorner) {
  install(test_animation("One", 3, 0.1, -100, -50));
  headless_set_monitors({PlatformRect{0, 0, 1920, 1080}, PlatformRect{1920, 0, 3840, 1080}});
  start();
  const ShellState& shell = the_shell();
  const WindowHandle character = shell.character_window;
  run_until(300);
  post_and_pass(character, WM_LBUTTONDOWN, MK_LBUTTON, at(5, 5));
  post_and_pass(character, WM_MOUSEMOVE, MK_LBUTTON, at(1005, 5));
  post_and_pass(character, WM_LBUTTONUP, 0, at(1005, 5));
  ASSERT_EQ(shell.drag_offset.x, 1000);

  post_and_pass(shell.owner_window, WM_DISPLAYCHANGE, 32, 0);  // still there: the drag stays
  EXPECT_EQ(shell.drag_offset.x, 1000);
  headless_set_monitors({PlatformRect{0, 0, 1920, 1080}});
  post_and_pass(shell.owner_window, WM_DISPLAYCHANGE, 32, 0);
  EXPECT_EQ(shell.drag_offset.x, 0);
  EXPECT_EQ(shell.drag_offset.y, 0);
  EXPECT_EQ(shell.window_pos.x, 1920 - 100);
  EXPECT_EQ(headless_window_info(character).x, 1920 - 100 + the_player().offset_x);
}
