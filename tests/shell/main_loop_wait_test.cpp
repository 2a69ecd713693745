// The loop's wait: a whole session gives the same calls and presents at the same milliseconds as the
// loop that slept 1 ms per pass, and frames keep their length on a coarse system timer.
#include "shell_fixture.h"

class WaitTest : public ShellTest {
 protected:
  // A fresh run of the program on these packages (file name, animation) in anim/.
  void restart(const std::vector<std::pair<std::string, TestAnimation>>& packages) {
    reset_program();
    loop = MainLoop();
    // anim/ stays: it is the current directory, which Windows does not let go.
    for (const auto& entry : std::filesystem::directory_iterator(anim_directory())) std::filesystem::remove(entry);
    for (const auto& [name, animation] : packages)
      ASSERT_TRUE(write_test_package((anim_directory() / name).string(), animation));
    start();
  }
  bool one_pass(bool waits) {
    if (waits) return pass();
    main_loop_work(loop);  // the loop as it was: its work, then Sleep(1)
    platform_sleep(1);
    return !loop.quit;
  }
};

TEST_F(WaitTest, TheWaitKeepsEveryCallAndPresentOfTheOneMillisecondLoop) {
  std::vector<std::string> runs[2];
  for (const bool waits : {false, true}) {
    TestAnimation fifty = test_animation("Fifty", 4, 0.05);
    fifty.ping_pong = true;
    restart({{"fifty.dat", fifty}, {"tenth.dat", test_animation("Tenth")}});
    ASSERT_TRUE(write_test_package(dir.file("zero.dat"), test_animation("Zero", 3, 0.0)));
    const ShellState& shell = the_shell();
    const WindowHandle character = shell.character_window;
    const auto mouse = [character](uint32_t message, int32_t x) {
      return [=] { headless_post_message(character, message, MK_LBUTTON, platform_make_lparam(x, 4)); };
    };
    const auto hot_key = [] { headless_press_hot_key(MOD_CONTROL, VK_F1); };
    const auto choose = [&shell](bool exit) {  // from the tray menu: Exit, or the other animation
      return [&shell, exit] {
        headless_queue_menu_choice(exit ? shell.exit_id : shell.menu_ids.data[1 - shell.current_index]);
        headless_tray_event(101, WM_RBUTTONUP);
      };
    };
    // A menu switch (fade-out, fade-in; the rotation 10 s later), hide and show, a drag, a drop, Exit.
    for (const auto& [at, action] : std::vector<std::pair<uint32_t, std::function<void()>>>{
             {1500, choose(false)}, {14000, hot_key}, {15500, hot_key}, {16000, mouse(WM_LBUTTONDOWN, 4)},
             {16150, mouse(WM_MOUSEMOVE, 9)}, {16300, mouse(WM_MOUSEMOVE, -20)}, {16500, mouse(WM_LBUTTONUP, 0)},
             {18000, [&] { headless_drop_files(character, {dir.file("zero.dat")}); }}, {22000, choose(true)}})
      headless_at(platform_time_ms() + at, action);

    // Every pass that made a call or changed what is shown: when, its calls, and the state after it.
    std::string last_state;
    for (bool going = true; going;) {
      std::string record = std::to_string(platform_time_ms()) + ":";
      const size_t calls = headless_calls().size();
      going = one_pass(waits);
      for (size_t i = calls; i < headless_calls().size(); ++i)
        record += " " + headless_call_text(headless_calls()[i]);
      // The installer numbers its copies across the process, so the second run's copy has another name.
      for (size_t at = record.find("~velissa-copy-"); at != std::string::npos; at = record.find("~velissa-copy-", at + 1))
        record.erase(at + 14, record.find(".tmp", at) - (at + 14));
      const HeadlessPresentation shown = headless_last_presentation(character);
      const std::string state = " | " + std::to_string(shown.count) + " @" + std::to_string(shown.x) + "," +
                                std::to_string(shown.y) + " a" + std::to_string(shown.opacity) + " frame " +
                                std::to_string(the_player().frame_index) + " row " +
                                std::to_string(shell.current_index) + (shell.switching ? " switching" : "") +
                                (shell.hidden ? " hidden" : "");
      if (headless_calls().size() != calls || state != last_state) runs[waits].push_back(record + state);
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
TEST_F(WaitTest, ACoarseSystemTimerNoLongerStretchesFrames) {
  const std::pair<double, uint32_t> durations[] = {{0.05, 50}, {0.1, 100}, {1 / 30.0, 34}};  // seconds, due ms
  for (const auto& [duration, due] : durations) {
    for (const bool waits : {false, true}) {
      SCOPED_TRACE(std::to_string(duration) + (waits ? " waits" : " sleeps"));
      restart({{"only.dat", test_animation("Only", 3, duration)}});
      headless_set_timer_period(15.625);
      while (platform_time_ms() < 1500) one_pass(waits);  // past the fade-in
      const uint64_t wakes = headless_counters().waits;
      std::vector<uint32_t> steps;
      for (int32_t frame = the_player().frame_index; steps.size() < 21; frame = the_player().frame_index) {
        const uint32_t at = platform_time_ms();
        one_pass(waits);
        if (the_player().frame_index != frame) steps.push_back(at);
      }
      for (size_t i = 1; i < steps.size(); ++i) {
        const uint32_t length = steps[i] - steps[i - 1];
        EXPECT_TRUE(waits ? length == due : length >= due + 8 && length <= due + 16) << length;
      }
      EXPECT_LE(headless_counters().waits - wakes, waits ? steps.size() + 1 : 0);  // one wake-up a step
    }
  }
}
