// A player on the headless backend with a layered character window, and packages written from test
// animations for it to load; the fixture checks that every surface is freed when a test ends.
#pragma once

#include <IL/il.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "animation/animation_player.h"
#include "platform/headless/headless.h"
#include "support/temp_dir.h"
#include "support/test_packages.h"

inline LRESULT PLATFORM_CALLBACK test_window_procedure(WindowHandle window, uint32_t message, WPARAM wparam,
                                                       LPARAM lparam) {
  return platform_default_window_procedure(window, message, wparam, lparam);
}

// DevIL names in use; names are small numbers, so probing the first thousand finds them all.
inline int32_t live_image_names() {
  int32_t count = 0;
  for (ILuint name = 1; name < 1024; ++name) count += ilIsImage(name) ? 1 : 0;
  return count;
}

inline size_t update_count() { return headless_calls_named("update_layered_window").size(); }

class PlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static const bool initialised = (animation_library_init(), true);
    (void)initialised;
    headless_reset();
    platform_register_class(nullptr, "VelissaDeskClass", CS_DBLCLKS, test_window_procedure);
    window = platform_create_window_ex(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, "VelissaDeskClass",
                                       "VelissaDesk", WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT, 544, 375, nullptr,
                                       nullptr);
    player_init(player);
    player.window = window;
    base_image_names = live_image_names();
  }

  void TearDown() override {
    player_destroy(player);
    const HeadlessObjectCounts live = headless_live_objects();
    EXPECT_EQ(live.bitmaps, 0);
    EXPECT_EQ(live.device_contexts, 0);
    EXPECT_EQ(live_image_names(), base_image_names);
  }

  // Writes the builder's package, opens it into pack and loads entry 1 into the player.
  void load(const PackBuilder& builder) {
    const std::string path = dir.file("test" + std::to_string(++packages_written) + ".dat");
    ASSERT_TRUE(write_package(builder, "pck01", path.c_str()));
    ASSERT_TRUE(open(pack, path.c_str()));
    load_from_package(player, &pack, 1);
  }
  void load(const TestAnimation& animation) { load(test_package(animation)); }

  // A package with only this description (and whatever images the test adds to builder first).
  void load(const TestDescription& description, PackBuilder builder = PackBuilder()) {
    add_entry(builder, 1, description_bytes(description));
    load(builder);
  }

  // Ticks once a millisecond until the clock reaches end; returns (time, frame) for every present.
  std::vector<std::pair<uint32_t, int32_t>> run_until(uint32_t end) {
    std::vector<std::pair<uint32_t, int32_t>> presented;
    for (uint32_t now = platform_time_ms();; now = platform_time_ms()) {
      const uint32_t before = headless_last_presentation(window).count;
      tick(player);
      if (headless_last_presentation(window).count != before) presented.emplace_back(now, player.frame_index);
      if (now == end) return presented;
      headless_advance_time(1);
    }
  }

  TempDir dir;
  AnimationPlayer player;
  PackFile pack;
  WindowHandle window = nullptr;
  int32_t base_image_names = 0;
  int32_t packages_written = 0;
};

// Frames of one size in distinct flat colours, each covering the whole area.
inline TestAnimation coloured_frames(int32_t count, int32_t size = 8) {
  TestAnimation animation;
  animation.canvas_width = animation.canvas_height = size;
  for (int32_t i = 0; i < count; ++i) {
    TestFrame frame;
    frame.width = frame.height = size;
    frame.red = static_cast<uint8_t>(40 + 80 * i);
    frame.green = static_cast<uint8_t>(200 - 60 * i);
    frame.blue = 100;
    animation.frames.push_back(frame);
  }
  return animation;
}
