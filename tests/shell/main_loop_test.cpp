// The main loop on the scripted clock: the first draw, the rotation rule and its interval, the hand-over
// from fade-out to fade-in, freezing while hidden or dragged, the drag offset, and the way out.
#include "package/trace_log.h"
#include "shell_fixture.h"

namespace {

// Both windows' procedures see the point in client coordinates of the window the mouse is over.
LPARAM at(int32_t x, int32_t y) { return platform_make_lparam(x, y); }

}  // namespace

TEST_F(ShellTest, OneAnimationIsNeverRotated) {
  install(test_animation("Only"));
  start();
  EXPECT_EQ(run_until_switching(65000), UINT32_MAX);
  EXPECT_EQ(headless_calls_named("bring_window_to_top").size(), 1u);  // started once
  EXPECT_EQ(the_shell().current_index, 0);
  EXPECT_TRUE(the_player().played_through);
  EXPECT_GT(presents(), 500u);  // it kept playing, looping
}

TEST_F(ShellTest, RepeatInfinitelyNeverRotates) {
  install(test_animation("One"));
  install(test_animation("Two"));
  start();
  command(the_shell().repeat_ids[3]);
  EXPECT_EQ(the_shell().repeat_choice, 3);
  EXPECT_EQ(run_until_switching(130000), UINT32_MAX);
  EXPECT_EQ(headless_calls_named("bring_window_to_top").size(), 1u);
}

TEST_F(ShellTest, AShortAnimationLoopsUntilTheIntervalCountedFromItsStart) {
  install(test_animation("One", 3, 0.1));
  install(test_animation("Two", 3, 0.1));
  start();
  const uint32_t started_at = platform_time_ms();
  const int32_t first = the_shell().current_index;
  // It plays through after 0.3 s and loops; the rotation comes 10 s after the start, not after the
  // end of a cycle.
  EXPECT_EQ(run_until_switching(20000), started_at + 10000);
  EXPECT_EQ(the_player().fade_direction, -1);
  EXPECT_EQ(the_shell().current_index, first);
  EXPECT_NE(the_shell().next_index, first);

  // The next one is loaded only when the fade-out has ended, and fades in.
  run_until(started_at + 10999);
  EXPECT_EQ(the_shell().current_index, first);
  run_until(started_at + 11001);
  EXPECT_FALSE(the_shell().switching);
  EXPECT_NE(the_shell().current_index, first);
  EXPECT_EQ(the_player().fade_direction, 1);
  EXPECT_EQ(headless_calls_named("bring_window_to_top").size(), 2u);

  // The next interval counts from the second start.
  const uint32_t second_start = static_cast<uint32_t>(the_shell().start_time * 1000.0);
  EXPECT_EQ(run_until_switching(40000), second_start + 10000);
}

TEST_F(ShellTest, ALongAnimationIsLeftOnlyAfterPlayingThrough) {
  // 12 frames of a second each: the last frame is reached at 11 s and left at 12 s.
  install(test_animation("Long one", 12, 1.0));
  install(test_animation("Long two", 12, 1.0));
  start();
  const uint32_t started_at = platform_time_ms();
  const uint32_t rotated_at = run_until_switching(30000);
  EXPECT_EQ(rotated_at, started_at + 12000);
  EXPECT_TRUE(the_player().played_through);
}

TEST_F(ShellTest, AMenuChoiceFadesOutFirstAndBecomesCurrentWhenTheFadeEnds) {
  for (int i = 0; i < 3; ++i) install(test_animation("Animation " + std::to_string(i)));
  start();
  run_until(2000);
  const ShellState& shell = the_shell();
  const int32_t playing = shell.current_index;
  const int32_t chosen = playing == 2 ? 1 : 2;
  const int32_t other = 3 - chosen == playing ? 0 : 3 - chosen;

  const uint32_t chosen_at = platform_time_ms();
  command(shell.menu_ids.data[chosen]);
  EXPECT_TRUE(shell.switching);
  EXPECT_EQ(the_player().fade_direction, -1);
  EXPECT_EQ(shell.next_index, chosen);
  EXPECT_EQ(shell.current_index, playing);

  // A second choice during the fade-out starts it again and replaces the choice.
  run_until(chosen_at + 500);
  const uint32_t second_choice_at = platform_time_ms();
  command(shell.menu_ids.data[other]);
  EXPECT_EQ(shell.next_index, other);
  run_until(second_choice_at + 999);
  EXPECT_EQ(shell.current_index, playing);
  EXPECT_TRUE(headless_menu_items(shell.menu)[playing].checked);
  run_until(second_choice_at + 1001);
  EXPECT_EQ(shell.current_index, other);
  EXPECT_FALSE(shell.switching);
  EXPECT_EQ(the_player().fade_direction, 1);
  EXPECT_TRUE(headless_menu_items(shell.menu)[other].checked);
  EXPECT_FALSE(headless_menu_items(shell.menu)[playing].checked);
}

// Hidden (the hot key) or dragged (the left button held), the player neither advances nor rotates while
// the interval runs; released, the rotation that has come due happens on the next pass. A drag also ends
// when the system takes the mouse away (a locked screen, an elevation prompt), where no release comes.
TEST_F(ShellTest, HiddenOrDraggedTheAnimationFreezesWhileTheIntervalRuns) {
  install(test_animation("One"));
  install(test_animation("Two"));
  for (const std::string how : {"hidden", "released", "capture lost"}) {
    SCOPED_TRACE(how);
    const bool hide = how == "hidden";
    reset_program();
    start();
    const WindowHandle character = the_shell().character_window;
    const uint32_t started_at = platform_time_ms();
    run_until(started_at + 1000);
    if (hide) {
      ASSERT_TRUE(headless_press_hot_key(MOD_CONTROL, VK_F1));
      pass();
    } else {
      post_and_pass(character, WM_LBUTTONDOWN, MK_LBUTTON, at(4, 4));
      EXPECT_EQ(headless_capture_window(), character);
    }
    const size_t shown = presents();
    const int32_t frame = the_player().frame_index;
    EXPECT_EQ(run_until_switching(started_at + 20000), UINT32_MAX);
    EXPECT_EQ(presents(), shown);
    EXPECT_EQ(the_player().frame_index, frame);

    // The pass that handles the release still sets nothing: its player step comes first.
    if (hide) {
      ASSERT_TRUE(headless_press_hot_key(MOD_CONTROL, VK_F1));
      pass();
    } else if (how == "released") {
      post_and_pass(character, WM_LBUTTONUP, 0, at(4, 4));
      EXPECT_EQ(headless_capture_window(), nullptr);
    } else {
      post_and_pass(character, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(character));  // taken again
      EXPECT_TRUE(the_shell().dragging);
      post_and_pass(character, WM_CAPTURECHANGED, 0, 0);
      EXPECT_FALSE(the_shell().dragging);
    }
    EXPECT_FALSE(the_shell().switching);
    pass();
    EXPECT_TRUE(the_shell().switching);
  }
}

TEST_F(ShellTest, TheDragOffsetCarriesOverToLaterAnimations) {
  install(test_animation("One", 3, 0.1, -100, -50));
  install(test_animation("Two", 3, 0.1, -200, -80));
  const std::string trace_path = dir.file("trace.txt");
  trace_open(trace_path.c_str());
  start();
  run_until(500);
  const ShellState& shell = the_shell();
  const WindowHandle character = shell.character_window;
  const int32_t first = shell.current_index;
  const PlatformPoint before = shell.window_pos;
  const CatalogueEntry& first_row = the_catalogue().rows[first];
  EXPECT_EQ(before.x, 1920 + first_row.x);
  EXPECT_EQ(before.y, 1040 + first_row.y);

  // 10 pixels left (past the window's left edge, so x arrives negative) and 4 down.
  post_and_pass(character, WM_LBUTTONDOWN, MK_LBUTTON, at(5, 5));
  headless_clear_calls();
  post_and_pass(character, WM_MOUSEMOVE, MK_LBUTTON, at(-5, 9));
  EXPECT_EQ(shell.drag_offset.x, -10);
  EXPECT_EQ(shell.drag_offset.y, 4);
  EXPECT_EQ(shell.window_pos.x, before.x - 10);
  EXPECT_EQ(shell.window_pos.y, before.y + 4);
  EXPECT_EQ(the_player().anchor_x, shell.window_pos.x);
  const std::vector<HeadlessCall> moves = headless_calls_named("set_window_pos");
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(moves[0].args, "window#2, null, " + std::to_string(shell.window_pos.x + the_player().offset_x) +
                               ", " + std::to_string(shell.window_pos.y + the_player().offset_y) +
                               ", 0, 0, 0x1");
  post_and_pass(character, WM_LBUTTONUP, 0, at(-5, 9));

  // The other animation, at its own position plus the drag.
  command(shell.menu_ids.data[1 - first]);
  run_until(platform_time_ms() + 1100);
  ASSERT_EQ(shell.current_index, 1 - first);
  const CatalogueEntry& second_row = the_catalogue().rows[1 - first];
  EXPECT_EQ(shell.window_pos.x, 1920 + second_row.x - 10);
  EXPECT_EQ(shell.window_pos.y, 1040 + second_row.y + 4);
  EXPECT_EQ(the_player().anchor_x, shell.window_pos.x);
  const HeadlessPresentation shown = headless_last_presentation(character);
  EXPECT_EQ(shown.x, shell.window_pos.x + the_player().offset_x);
  EXPECT_EQ(shown.y, shell.window_pos.y + the_player().offset_y);

  tear_down();  // closes the trace
  const std::string expected = "#pos: " + std::to_string(first_row.x - 10) + ", " + std::to_string(first_row.y + 4) + "\n";
  EXPECT_NE(read_text_lines(trace_path).find(expected), std::string::npos) << read_text_lines(trace_path);
}

TEST_F(ShellTest, QuitEndsTheLoopAfterTheRestOfTheQueueAndOneMoreWait) {
  install(test_animation("One"));
  install(test_animation("Two"));
  start();
  pass();
  platform_post_quit_message(3);
  headless_post_message(the_shell().owner_window, WM_COMMAND, static_cast<WPARAM>(the_shell().repeat_ids[2]), 0);
  ASSERT_TRUE(headless_press_hot_key(MOD_CONTROL, VK_F1));  // hidden: only a message would end a wait
  const uint64_t waits = headless_counters().waits;
  const uint32_t quit_at = platform_time_ms();
  EXPECT_FALSE(pass());
  EXPECT_EQ(the_shell().repeat_choice, 2);  // handled in the pass that saw WM_QUIT
  EXPECT_TRUE(the_shell().hidden);
  EXPECT_TRUE(loop.quit);
  EXPECT_EQ(loop.exit_code, 3);
  EXPECT_EQ(headless_counters().waits, waits + 1);
  EXPECT_EQ(platform_time_ms(), quit_at + 1);
  EXPECT_EQ(tear_down(), 3);
}

TEST_F(ShellTest, TheRotationKeepsItsIntervalAcrossTheClocksWrap) {
  install(test_animation("One"));
  install(test_animation("Two"));
  headless_set_time(0xFFFFF000u);  // 4 s before the wrap
  start();
  const uint32_t started_at = platform_time_ms();
  EXPECT_EQ(run_until_switching(started_at + 20000), started_at + 10000);
}

TEST_F(ShellTest, PositionsAtTheEndsOfTheRangeDoNotOverflow) {
  install(test_animation("Far", 3, 0.1, INT32_MAX, INT32_MIN));
  start();
  run_until(300);
  EXPECT_EQ(the_shell().window_pos.x, INT32_MAX);
  EXPECT_EQ(the_shell().window_pos.y, INT32_MIN + 1040);
  // The largest drag steps the words allow, on a window at the edge: UBSan stops the test on any
  // overflow.
  const WindowHandle character = the_shell().character_window;
  post_and_pass(character, WM_LBUTTONDOWN, MK_LBUTTON, at(-32768, 32767));
  post_and_pass(character, WM_MOUSEMOVE, MK_LBUTTON, at(32767, -32768));
  post_and_pass(character, WM_MOUSEMOVE, MK_LBUTTON, at(-32768, 32767));
  EXPECT_TRUE(the_shell().dragging);
}
