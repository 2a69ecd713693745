// The whole program on the headless backend: an install directory with its anim/ folder of test
// packages, start-up, main-loop passes on the scripted clock (each pass waits until its next work or
// a scripted moment), and tear-down.
#pragma once

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/headless/headless.h"
#include "shell/shell_state.h"
#include "shell/window_procedure.h"
#include "support/temp_dir.h"
#include "support/test_packages.h"

// An animation of flat 8 x 8 frames, each shown for duration seconds, at (x, y) from the work area's
// bottom-right corner.
inline TestAnimation test_animation(const std::string& name, int32_t frames = 3, double duration = 0.1,
                                    int32_t x = -100, int32_t y = -100) {
  TestAnimation animation;
  animation.name = name;
  animation.x = x;
  animation.y = y;
  animation.frame_duration = duration;
  animation.canvas_width = animation.canvas_height = 8;
  for (int32_t i = 0; i < frames; ++i) {
    TestFrame frame;
    frame.width = frame.height = 8;
    frame.red = static_cast<uint8_t>(30 * i);
    frame.green = 200;
    animation.frames.push_back(frame);
  }
  return animation;
}

inline Bytes package_bytes(const TestAnimation& animation) {
  Bytes bytes;
  encode_package(test_package(animation), "pck01", bytes);
  return bytes;
}

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_directory_ = std::filesystem::current_path();
    std::filesystem::create_directories(anim_directory());
    reset_program();
  }

  void TearDown() override {
    if (running_) shell_tear_down(true, 0);
    release_program_objects();
    std::filesystem::current_path(saved_directory_);
    const HeadlessObjectCounts live = headless_live_objects();
    EXPECT_EQ(live.bitmaps, 0);
    EXPECT_EQ(live.device_contexts, 0);
    EXPECT_EQ(live.searches, 0);
  }

  std::filesystem::path anim_directory() const { return dir.path() / "anim"; }

  // Writes the package into anim/ (file names say nothing of the order the scan meets them in).
  void install(const TestAnimation& animation) {
    const std::string path = (anim_directory() / ("p" + std::to_string(++written_) + ".dat")).string();
    ASSERT_TRUE(write_test_package(path, animation));
  }

  // Back to before start-up, ending a run that is still going: for tests that start the program again.
  void reset_program() {
    if (running_) tear_down();
    headless_reset();
    release_program_objects();
    headless_set_install_path(dir.path().string().c_str());
  }

  // Start-up; the test's tear-down ends the run unless the test does.
  void start() {
    ASSERT_EQ(shell_start_up(nullptr), kStartUpRunning);
    running_ = true;
  }
  int32_t tear_down() {
    running_ = false;
    return shell_tear_down(true, loop.exit_code);
  }

  bool pass() { return main_loop_pass(loop); }
  // Passes until the clock reaches end (a wait stops there).
  void run_until(uint32_t end) {
    headless_at(end, [] {});
    while (static_cast<int32_t>(end - platform_time_ms()) > 0) pass();
  }
  // Passes until switching is set or the clock reaches end; the time of the pass that set it, or
  // UINT32_MAX.
  uint32_t run_until_switching(uint32_t end) {
    headless_at(end, [] {});
    while (static_cast<int32_t>(end - platform_time_ms()) > 0) {
      const uint32_t now = platform_time_ms();
      pass();
      if (the_shell().switching) return now;
    }
    return UINT32_MAX;
  }
  // Passes until the loop ends (at most limit passes); whether it ended.
  bool run_to_quit(int32_t limit = 100) {
    for (int32_t i = 0; i < limit; ++i) {
      if (!pass()) return true;
    }
    return false;
  }

  // A message as the system posts it, handled by the next pass.
  void post_and_pass(WindowHandle window, uint32_t message, WPARAM wparam = 0, LPARAM lparam = 0) {
    headless_post_message(window, message, wparam, lparam);
    pass();
  }
  void command(int32_t id) { post_and_pass(the_shell().owner_window, WM_COMMAND, static_cast<WPARAM>(id)); }

  int32_t row_named(const std::string& name) { return find_row(the_catalogue(), name.c_str()); }
  std::string current_name() {
    const int32_t row = the_shell().current_index;
    return row >= 0 && row < row_count(the_catalogue()) ? the_catalogue().rows[row].name.text : "";
  }
  size_t presents() { return headless_calls_named("update_layered_window").size(); }

  TempDir dir;
  MainLoop loop;

 private:
  std::filesystem::path saved_directory_;
  int32_t written_ = 0;
  bool running_ = false;
};
