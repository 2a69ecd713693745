// A day of the whole program on the headless backend and the scripted clock: ten animations rotating
// every ten seconds ("Repeat 10 sec"), and every hour a drag, hides and shows, a pick from the menu and
// a drop that installs one more animation (a package or an archive, in turn). Afterwards the process
// holds no more heap blocks than after the first hour, but for what the headless backend keeps on
// record of every handle it gave out.
//
// VELISSA_SOAK_HOURS (24) and VELISSA_SOAK_HOUR_SECONDS (3600) shorten the day, for runs under valgrind.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "catalogue/archive_writer.h"
#include "live_allocations.h"
#include "platform/headless/headless.h"
#include "shell/shell_state.h"
#include "support/temp_dir.h"
#include "support/test_packages.h"

namespace fs = std::filesystem;

namespace {

// Each main-loop pass waits on the scripted clock until its next work, but at most 10 ms, so a
// simulated day takes at most 8.64 million passes.
constexpr uint32_t kPassMs = 10;
constexpr int32_t kAnimations = 10;

int32_t setting(const char* name, int32_t fallback) {
  const char* text = std::getenv(name);
  const int value = text != nullptr ? std::atoi(text) : 0;
  return value > 0 ? value : fallback;
}

// Every animation has the same shape (three 8 x 8 frames, names of one length), so that whichever one
// plays when memory is measured, the program holds the same number of blocks.
TestAnimation soak_animation(const std::string& name, int32_t x, int32_t y, uint8_t green) {
  TestAnimation animation;
  animation.name = name;
  animation.x = x;
  animation.y = y;
  animation.frame_duration = 0.2;
  animation.canvas_width = animation.canvas_height = 8;
  for (int32_t i = 0; i < 3; ++i) {
    TestFrame frame;
    frame.width = frame.height = 8;
    frame.red = static_cast<uint8_t>(60 * i);
    frame.green = green;
    frame.alpha = static_cast<uint8_t>(255 - 40 * i);
    animation.frames.push_back(frame);
  }
  return animation;
}

std::string two_digits(int32_t n) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", static_cast<int>(n % 100));
  return text;
}

LRESULT PLATFORM_CALLBACK calibration_procedure(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam) {
  return platform_default_window_procedure(window, message, wparam, lparam);
}

// The heap blocks that one step leaves behind, the call log it makes not counted.
int64_t blocks_left_by(const std::function<void()>& step) {
  headless_clear_calls();
  const int64_t before = live_allocations();
  step();
  headless_clear_calls();
  return live_allocations() - before;
}

int64_t blocks_of_text(const std::string& text) {
  std::string copy;
  return blocks_left_by([&] { copy = text; });
}

// What the headless backend keeps until it is reset, counted as the program makes it.
struct BackendRecords {
  int64_t device_contexts = 0;
  int64_t bitmaps = 0;
  int64_t searches = 0;
  int64_t drops = 0;
  int64_t box_blocks = 0;  // the text and caption of every message box shown
  int64_t boxes = 0;
};

class SoakTest : public ::testing::Test {
 protected:
  void SetUp() override {
    counting_ = counting_allocations();
    headless_reset();
    release_program_objects();
    saved_directory_ = fs::current_path();
    fs::create_directories(dir_.path() / "anim");
    fs::create_directories(dir_.path() / "drops");
    for (int32_t i = 0; i < kAnimations; ++i) {
      const std::string title = "soak-" + two_digits(i + 1) + ".dat";
      ASSERT_TRUE(write_test_package((dir_.path() / "anim" / title).string(),
                                     soak_animation("Soak " + two_digits(i + 1), -100 - 12 * i, -80 + 5 * i,
                                                    static_cast<uint8_t>(20 * i))));
    }
    headless_set_install_path(dir_.path().string().c_str());
  }

  void TearDown() override {
    release_program_objects();
    fs::current_path(saved_directory_);
  }

  // The blocks each kind of record costs, from doing each thing twice and counting the second time
  // (the first may also allocate the first block of a list of records).
  void calibrate() {
    platform_register_class(nullptr, "SoakCalibration", 0, calibration_procedure);
    WindowHandle window = platform_create_window_ex(0, "SoakCalibration", "", WS_POPUP, 0, 0, 8, 8, nullptr, nullptr);
    platform_drag_accept_files(window, true);
    const std::string drop_path = (dir_.path() / "drops" / "calibration.dat").string();
    const auto device_context = [] { platform_delete_dc(platform_create_compatible_dc(nullptr)); };
    const auto bitmap = [] {
      DeviceContext dc = platform_create_compatible_dc(nullptr);
      uint8_t* pixels = nullptr;
      platform_delete_object(platform_create_dib_section(dc, 8, 8, &pixels));
      platform_delete_dc(dc);
    };
    const auto search = [] {
      PlatformFindData found;
      FindHandle handle = platform_find_first_file("*", &found);
      if (handle != nullptr) platform_find_close(handle);
    };
    const auto drop = [&] {
      DropHandle handle = headless_drop_files(window, {drop_path});
      headless_pump_messages();
      platform_drag_finish(handle);
    };
    const auto box = [] { platform_message_box(nullptr, "", "", MB_OK); };
    for (int32_t round = 0; round < 2; ++round) {
      device_context_cost_ = blocks_left_by(device_context);
      bitmap_cost_ = blocks_left_by(bitmap) - device_context_cost_;
      search_cost_ = blocks_left_by(search);
      drop_cost_ = blocks_left_by(drop);
      box_cost_ = blocks_left_by(box);
    }
    boxes_seen_ = headless_message_boxes().size();
  }

  // Counts the records the calls since the last clear made, then empties the call log.
  void tally_and_clear_calls() {
    for (const HeadlessCall& call : headless_calls()) {
      if (call.result == "null") continue;
      if (call.name == "create_compatible_dc") ++records_.device_contexts;
      if (call.name == "create_dib_section") ++records_.bitmaps;
      if (call.name == "find_first_file") ++records_.searches;
    }
    headless_clear_calls();
    const std::vector<HeadlessMessageBox>& boxes = headless_message_boxes();
    for (; boxes_seen_ < boxes.size(); ++boxes_seen_) {
      ++records_.boxes;
      records_.box_blocks += box_cost_ + blocks_of_text(boxes[boxes_seen_].text) +
                             blocks_of_text(boxes[boxes_seen_].caption);
    }
  }

  int64_t record_blocks(const BackendRecords& r) const {
    return r.device_contexts * device_context_cost_ + r.bitmaps * bitmap_cost_ + r.searches * search_cost_ +
           r.drops * drop_cost_ + r.box_blocks;
  }

  void pass() {
    headless_at(platform_time_ms() + kPassMs, [] {});
    ASSERT_TRUE(main_loop_pass(loop_));
  }
  // Passes for ms of simulated time, emptying the call log every 6000 passes.
  void run_for(uint32_t ms) {
    const uint32_t end = platform_time_ms() + ms;
    while (static_cast<int32_t>(end - platform_time_ms()) > 0) {
      pass();
      if (++passes_ % 6000 == 0) tally_and_clear_calls();
    }
  }
  void post_and_pass(WindowHandle window, uint32_t message, WPARAM wparam, LPARAM lparam) {
    headless_post_message(window, message, wparam, lparam);
    pass();
  }

  // A press on the character, the mouse steps pixels to the left and back, and the release.
  void drag(int32_t steps) {
    WindowHandle window = the_shell().character_window;
    const PlatformPoint start_offset = the_shell().drag_offset;
    HeadlessWindowInfo info = headless_window_info(window);
    PlatformPoint cursor{info.x + 3, info.y + 3};
    const auto client = [&] {
      info = headless_window_info(window);
      return platform_make_lparam(cursor.x - info.x, cursor.y - info.y);
    };
    post_and_pass(window, WM_LBUTTONDOWN, MK_LBUTTON, client());
    ASSERT_TRUE(the_shell().dragging);
    for (int32_t i = 0; i < 2 * steps; ++i) {
      cursor.x += i < steps ? -1 : 1;
      post_and_pass(window, WM_MOUSEMOVE, MK_LBUTTON, client());
      if (i == steps - 1) {
        EXPECT_EQ(the_shell().drag_offset.x, start_offset.x - steps);
      }
    }
    post_and_pass(window, WM_LBUTTONUP, 0, client());
    EXPECT_FALSE(the_shell().dragging);
    EXPECT_EQ(the_shell().drag_offset.x, start_offset.x);
  }

  void press_hot_key() {
    ASSERT_TRUE(headless_press_hot_key(MOD_CONTROL, VK_F1));
    pass();
  }

  // Drops this hour's animation, as a package or, every other hour, as an archive holding it. The
  // previous hour's file is taken out of the animation directory first, so the catalogue keeps its size.
  void drop(int32_t hour) {
    const std::string title = "drop-" + two_digits(hour) + ".dat";
    if (!previous_drop_.empty()) fs::remove(dir_.path() / "anim" / previous_drop_);
    previous_drop_ = title;
    Bytes package;
    ASSERT_TRUE(encode_package(test_package(soak_animation("Drop " + two_digits(hour), -90, -70, 240)), "pck01",
                               package));
    std::string path;
    if (hour % 2 == 1) {
      path = (dir_.path() / "drops" / title).string();
      write_bytes(path, package);
    } else {
      path = (dir_.path() / "drops" / ("drop-" + two_digits(hour) + ".kar")).string();
      ASSERT_TRUE(write_archive({ArchiveMember{title, package}}, path.c_str()));
    }
    DropHandle handle = headless_drop_files(the_shell().character_window, {path});
    ASSERT_NE(handle, nullptr);
    ++records_.drops;
    pass();
    EXPECT_TRUE(headless_drop_finished(handle));
    ASSERT_FALSE(headless_message_boxes().empty());
    EXPECT_EQ(headless_message_boxes().back().text, "1 New Animations Installed.");
    EXPECT_EQ(row_count(the_catalogue()), kAnimations + 1);
    EXPECT_EQ(std::string(the_catalogue().rows[the_shell().current_index].name.text), "Drop " + two_digits(hour));
  }

  // One simulated hour: playing, a drag, a hide by double-click and a show by the hot key, a hide and
  // a show by the hot key, a pick from the menu, a drop.
  void run_hour(int32_t hour, uint32_t hour_ms) {
    const uint32_t tenth = hour_ms / 10;
    run_for(tenth);
    drag(40);
    run_for(tenth);
    post_and_pass(the_shell().character_window, WM_LBUTTONDBLCLK, 0, 0);
    EXPECT_TRUE(the_shell().hidden);
    run_for(tenth / 2);
    press_hot_key();
    EXPECT_FALSE(the_shell().hidden);
    run_for(tenth);
    press_hot_key();
    run_for(tenth / 2);
    press_hot_key();
    run_for(tenth);
    const IntArray& ids = the_shell().menu_ids;
    ASSERT_GT(ids.count, 1);
    post_and_pass(the_shell().owner_window, WM_COMMAND, static_cast<WPARAM>(ids.data[hour % ids.count]), 0);
    run_for(tenth);
    drop(hour);
    run_for(hour_ms - (platform_time_ms() - hour_start_));
    hour_start_ += hour_ms;
  }

  // The handles the program holds while it plays: its two windows (and the calibration's), one menu,
  // one tray icon, one surface; no search or drop left open.
  void expect_handles_in_use() {
    const HeadlessObjectCounts live = headless_live_objects();
    EXPECT_EQ(live.windows, 3);
    EXPECT_EQ(live.menus, 1);
    EXPECT_EQ(live.device_contexts, 1);
    EXPECT_EQ(live.bitmaps, 1);
    EXPECT_EQ(live.searches, 0);
    EXPECT_EQ(live.drops, 0);
  }

  TempDir dir_;
  MainLoop loop_;
  bool counting_ = false;
  BackendRecords records_;
  int64_t device_context_cost_ = 0, bitmap_cost_ = 0, search_cost_ = 0, drop_cost_ = 0, box_cost_ = 0;
  size_t boxes_seen_ = 0;
  uint64_t passes_ = 0;
  uint32_t hour_start_ = 0;
  std::string previous_drop_;

 private:
  fs::path saved_directory_;
};

TEST_F(SoakTest, DayOfRotationDragsHidesAndDropsEndsWithTheMemoryOfTheFirstHour) {
  const int32_t hours = setting("VELISSA_SOAK_HOURS", 24);
  const uint32_t hour_ms = static_cast<uint32_t>(setting("VELISSA_SOAK_HOUR_SECONDS", 3600)) * 1000u;
  calibrate();
  ASSERT_EQ(shell_start_up(nullptr), kStartUpRunning);
  ASSERT_EQ(row_count(the_catalogue()), kAnimations);
  ASSERT_EQ(the_shell().repeat_choice, 0);  // "Repeat 10 sec"
  hour_start_ = platform_time_ms();

  int64_t first_hour_blocks = 0;
  BackendRecords first_hour_records;
  for (int32_t hour = 1; hour <= hours; ++hour) {
    const int64_t loads_before = records_.bitmaps;
    run_hour(hour, hour_ms);
    tally_and_clear_calls();
    if (HasFatalFailure()) break;
    expect_handles_in_use();
    // Rotations every ten seconds or so, a load each: the player was never stuck.
    EXPECT_GT(records_.bitmaps - loads_before, static_cast<int64_t>(hour_ms / 20000)) << "hour " << hour;
    if (hour == 1) {
      first_hour_blocks = live_allocations();
      first_hour_records = records_;
    }
  }
  const int64_t growth = live_allocations() - first_hour_blocks;
  const int64_t kept_by_backend = record_blocks(records_) - record_blocks(first_hour_records);
  if (counting_) {
    EXPECT_LE(growth, kept_by_backend) << "heap blocks gained after the first hour: " << growth
                                       << ", of which the headless backend's records account for "
                                       << kept_by_backend << " (" << records_.bitmaps << " surfaces, "
                                       << records_.drops << " drops, " << records_.boxes << " message boxes)";
  } else {
    std::printf("Heap blocks are counted only under AddressSanitizer: growth not measured.\n");
  }

  EXPECT_EQ(shell_tear_down(true, 0), 0);
  const HeadlessObjectCounts live = headless_live_objects();
  EXPECT_EQ(live.device_contexts, 0);
  EXPECT_EQ(live.bitmaps, 0);
}

}  // namespace
