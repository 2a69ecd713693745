// The loop's wait: a whole session gives the same calls and presents at the same milliseconds as the
// loop that slept 1 ms per pass, and frames keep their length on a coarse system timer.
#include "shell_fixture.h"

namespace {

bool one_ms_pass(MainLoop& loop) {  // the loop as it was: its work, then Sleep(1)
  main_loop_work(loop);
  platform_sleep(1);
  return !loop.quit;
}

// What a pass did that can be seen: its calls, and the character's state after it.
std::string pass_record(uint32_t at, size_t first_call) {
  const ShellState& shell = the_shell();
  const HeadlessPresentation shown = headless_last_presentation(shell.character_window);
  std::string text = std::to_string(at) + ":";
  for (size_t i = first_call; i < headless_calls().size(); ++i) text += " " + headless_call_text(headless_calls()[i]);
  return text + " | shown " + std::to_string(shown.count) + " @" + std::to_string(shown.x) + "," +
         std::to_string(shown.y) + " a" + std::to_string(shown.opacity) + " frame " +
         std::to_string(the_player().frame_index) + " row " + std::to_string(shell.current_index) +
         (shell.switching ? " switching" : "") + (shell.hidden ? " hidden" : "") + (shell.dragging ? " drag" : "");
}

}  // namespace

TEST_F(ShellTest, TheWaitKeepsEveryCallAndPresentOfTheOneMillisecondLoop) {
  std::vector<std::string> runs[2];
  for (const bool waits : {false, true}) {
    reset_program();
    loop = MainLoop();
    std::filesystem::remove_all(anim_directory());
    std::filesystem::create_directories(anim_directory());
    TestAnimation fifty = test_animation("Fifty", 4, 0.05), zero = test_animation("Zero", 3, 0.0);
    fifty.ping_pong = true;
    ASSERT_TRUE(write_test_package((anim_directory() / "fifty.dat").string(), fifty));
    ASSERT_TRUE(write_test_package((anim_directory() / "tenth.dat").string(), test_animation("Tenth")));
    ASSERT_TRUE(write_test_package(dir.file("zero.dat"), zero));
    start();
    const ShellState& shell = the_shell();
    const WindowHandle character = shell.character_window;
    const uint32_t t0 = platform_time_ms();
    const auto mouse = [character](uint32_t at, uint32_t message, int32_t x) {
      headless_at(at, [=] { headless_post_message(character, message, MK_LBUTTON, platform_make_lparam(x, 4)); });
    };
    const auto hot_key = [] { headless_press_hot_key(MOD_CONTROL, VK_F1); };
    const auto choose = [&shell](bool exit) {  // from the tray menu: Exit, or the other animation
      headless_queue_menu_choice(exit ? shell.exit_id : shell.menu_ids.data[1 - shell.current_index]);
      headless_tray_event(101, WM_RBUTTONUP);
    };
    headless_at(t0 + 1500, [=] { choose(false); });  // fades out, then in; rotates 10 s later
    headless_at(t0 + 14000, hot_key);
    headless_at(t0 + 15500, hot_key);
    mouse(t0 + 16000, WM_LBUTTONDOWN, 4);
    mouse(t0 + 16150, WM_MOUSEMOVE, 9);
    mouse(t0 + 16300, WM_MOUSEMOVE, -20);
    mouse(t0 + 16500, WM_LBUTTONUP, -20);
    headless_at(t0 + 18000, [&] { headless_drop_files(character, {dir.file("zero.dat")}); });
    headless_at(t0 + 22000, [=] { choose(true); });

    std::vector<std::string>& records = runs[waits];
    std::string last_state;
    for (bool going = true; going;) {
      const uint32_t at = platform_time_ms();
      const size_t calls = headless_calls().size();
      going = waits ? pass() : one_ms_pass(loop);
      std::string record = pass_record(at, calls);
      const std::string state = record.substr(record.find(" | "));
      if (headless_calls().size() != calls || state != last_state) records.push_back(record);
      last_state = state;
    }
    EXPECT_EQ(headless_message_boxes().size(), 1u);  // the drop installed Zero
    tear_down();
  }
  ASSERT_GT(runs[0].size(), 100u);
  for (size_t i = 0; i < std::max(runs[0].size(), runs[1].size()); ++i) {
    ASSERT_EQ(i < runs[0].size() ? runs[0][i] : "", i < runs[1].size() ? runs[1][i] : "") << "pass " << i;
  }
}

// Windows ends Sleep(1) at the next 15.625 ms tick of its timer, and the next step is timed from the
// pass that took this one: a 50 ms frame lasted 62 or 63 ms. The wait raises the timer for its last
// part and meets the step on its millisecond, with one wake-up a step.
TEST_F(ShellTest, ACoarseSystemTimerNoLongerStretchesFrames) {
  const std::pair<double, uint32_t> durations[] = {{0.05, 50}, {0.1, 100}, {1 / 30.0, 34}};  // seconds, due ms
  for (const auto& [duration, due] : durations) {
    for (const bool waits : {false, true}) {
      SCOPED_TRACE(std::to_string(duration) + (waits ? " waits" : " sleeps"));
      reset_program();
      loop = MainLoop();
      std::filesystem::remove_all(anim_directory());
      std::filesystem::create_directories(anim_directory());
      install(test_animation("Only", 3, duration));
      headless_set_timer_period(15.625);
      start();
      const auto one_pass = [&] { return waits ? pass() : one_ms_pass(loop); };
      while (platform_time_ms() < 1500) one_pass();  // past the fade-in
      const uint64_t wakes = headless_counters().waits;
      std::vector<uint32_t> steps;
      for (int32_t frame = the_player().frame_index; steps.size() < 21; frame = the_player().frame_index) {
        const uint32_t at = platform_time_ms();
        one_pass();
        if (the_player().frame_index != frame) steps.push_back(at);
      }
      for (size_t i = 1; i < steps.size(); ++i) {
        EXPECT_GE(steps[i] - steps[i - 1], due);
        EXPECT_LE(steps[i] - steps[i - 1], waits ? due : 2 * due) << "sleeps: within the first tick after due";
        EXPECT_EQ(steps[i] - steps[i - 1] >= due + 8, !waits);
      }
      if (waits) {
        EXPECT_LE(headless_counters().waits - wakes, steps.size() + 1);  // one wake-up a step
      }
      tear_down();
    }
  }
}
