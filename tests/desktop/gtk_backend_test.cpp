// The GTK backend's display-free parts: the shape built from a frame's alpha, text made fit for GTK,
// the drawn icon, the fade, the mouse point of a message; and how the backend behaves with no display at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/gtk/gtk_backend.h"
#include "platform/gtk/gtk_pixels.h"
#include "platform/gtk/gtk_wayland.h"

namespace {

// width x height B, G, R, A pixels, every alpha 0, rows of stride bytes.
struct Picture {
  int32_t width, height;
  size_t stride;
  std::vector<uint8_t> bytes;
  Picture(int32_t w, int32_t h, size_t row_bytes)
      : width(w), height(h), stride(row_bytes), bytes(row_bytes * h) {}
  void set_alpha(int32_t x, int32_t y, uint8_t alpha) { bytes[stride * y + 4 * x + 3] = alpha; }
};

std::vector<cairo_rectangle_int_t> rectangles(cairo_region_t* region) {
  std::vector<cairo_rectangle_int_t> list(cairo_region_num_rectangles(region));
  for (size_t i = 0; i < list.size(); ++i) cairo_region_get_rectangle(region, static_cast<int>(i), &list[i]);
  cairo_region_destroy(region);
  return list;
}

TEST(AlphaRegion, TakesRunsAboveTheThresholdRowByRow) {
  Picture picture(6, 2, 6 * 4);
  for (int32_t x : {0, 1, 4}) picture.set_alpha(x, 0, 200);
  picture.set_alpha(5, 1, 128);
  picture.set_alpha(2, 1, 127);  // not above 127
  cairo_region_t* region = gtk_alpha_region(picture.bytes.data(), 6, 2, picture.stride, 127);
  EXPECT_TRUE(cairo_region_contains_point(region, 0, 0));
  EXPECT_TRUE(cairo_region_contains_point(region, 1, 0));
  EXPECT_FALSE(cairo_region_contains_point(region, 2, 0));
  EXPECT_TRUE(cairo_region_contains_point(region, 4, 0));
  EXPECT_FALSE(cairo_region_contains_point(region, 2, 1));
  EXPECT_TRUE(cairo_region_contains_point(region, 5, 1));
  const auto list = rectangles(region);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].width, 2);  // one rectangle per run, not per pixel
}

TEST(AlphaRegion, ThresholdZeroKeepsEveryVisiblePixel) {
  Picture picture(3, 1, 3 * 4);
  picture.set_alpha(1, 0, 1);
  const auto list = rectangles(gtk_alpha_region(picture.bytes.data(), 3, 1, picture.stride, 0));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].x, 1);
  EXPECT_EQ(list[0].width, 1);
}

TEST(AlphaRegion, ReadsOnlyTheGivenWidthOfWiderRows) {
  // The surface may be wider than the frame shown: bytes past width in a row are not the frame's.
  Picture picture(2, 2, 5 * 4);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 5; ++x) picture.set_alpha(x, y, 255);
  const auto list = rectangles(gtk_alpha_region(picture.bytes.data(), 2, 2, picture.stride, 0));
  ASSERT_EQ(list.size(), 1u);  // pixman joins the two equal rows
  EXPECT_EQ(list[0].width, 2);
  EXPECT_EQ(list[0].height, 2);
}

TEST(AlphaRegion, FullRowsAndEmptyInputs) {
  Picture picture(4, 1, 4 * 4);
  for (int32_t x = 0; x < 4; ++x) picture.set_alpha(x, 0, 255);
  const auto full = rectangles(gtk_alpha_region(picture.bytes.data(), 4, 1, picture.stride, 0));
  ASSERT_EQ(full.size(), 1u);
  EXPECT_EQ(full[0].width, 4);
  for (cairo_region_t* empty :
       {gtk_alpha_region(nullptr, 4, 1, 16, 0), gtk_alpha_region(picture.bytes.data(), 0, 1, 16, 0),
        gtk_alpha_region(picture.bytes.data(), 4, -1, 16, 0)}) {
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(cairo_region_is_empty(empty));
    cairo_region_destroy(empty);
  }
}

// Runs are taken four pixels at a time where they can be: the same runs as pixel by pixel, whatever
// the width, the threshold and the mix of clear, opaque and partial pixels.
TEST(AlphaRegion, RunsMatchAPixelByPixelScan) {
  const uint8_t levels[] = {0, 255, 0, 0, 255, 255, 255, 1, 127, 128, 0, 254};
  for (int32_t width = 1; width <= 13; ++width) {
    Picture picture(width, 3, width * 4 + 4);
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < width; ++x)
        picture.set_alpha(x, y, levels[(y == 0 ? x / 3 : y == 1 ? x / 5 + 1 : x * 7) % 12]);
    for (uint8_t threshold : {0, 1, 127, 254, 255}) {
      std::vector<cairo_rectangle_int_t> expected, runs;
      for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < width; ++x) {
          if (picture.bytes[picture.stride * y + 4 * x + 3] <= threshold) continue;
          if (!expected.empty() && expected.back().y == y && expected.back().x + expected.back().width == x)
            ++expected.back().width;
          else
            expected.push_back(cairo_rectangle_int_t{x, y, 1, 1});
        }
      }
      gtk_alpha_runs(picture.bytes.data(), width, 3, picture.stride, threshold, &runs);
      ASSERT_EQ(runs.size(), expected.size()) << "width " << width << ", threshold " << int{threshold};
      for (size_t i = 0; i < runs.size(); ++i)
        EXPECT_TRUE(runs[i].x == expected[i].x && runs[i].y == expected[i].y && runs[i].width == expected[i].width)
            << "width " << width << ", threshold " << int{threshold} << ", run " << i;
    }
  }
}

// A shape updated from the changed rows only must be the shape of the whole new picture: changes at
// the top, in the middle, at the bottom, none, and a picture that lost its lower rows.
TEST(AlphaRegion, RunsOfChangedRowsGiveTheRunsOfTheWholeNewPicture) {
  struct Rows { int32_t top, bottom, height_after; };
  const Rows changes[] = {{0, 1, 6}, {2, 4, 6}, {5, 6, 6}, {3, 3, 6}, {0, 6, 6}, {2, 4, 4}};
  for (const Rows& change : changes) {
    Picture picture(9, 6, 9 * 4);
    for (int32_t y = 0; y < 6; ++y)
      for (int32_t x = 0; x < 9; ++x) picture.set_alpha(x, y, (x * 5 + y * 3) % 4 == 0 ? 0 : 200);
    std::vector<cairo_rectangle_int_t> runs, expected;
    gtk_alpha_runs(picture.bytes.data(), 9, 6, picture.stride, 0, &runs);
    for (int32_t y = change.top; y < change.bottom; ++y)
      for (int32_t x = 0; x < 9; ++x) picture.set_alpha(x, y, (x + y) % 3 == 0 ? 0 : 90);
    const bool changed = gtk_alpha_runs_of_rows(picture.bytes.data(), 9, change.height_after, picture.stride, 0,
                                                change.top, change.bottom, &runs);
    gtk_alpha_runs(picture.bytes.data(), 9, change.height_after, picture.stride, 0, &expected);
    const std::string rows = "rows " + std::to_string(change.top) + " to " + std::to_string(change.bottom);
    EXPECT_EQ(changed, change.bottom > change.top) << rows;
    ASSERT_EQ(runs.size(), expected.size()) << rows;
    for (size_t i = 0; i < runs.size(); ++i)
      EXPECT_TRUE(runs[i].x == expected[i].x && runs[i].y == expected[i].y && runs[i].width == expected[i].width)
          << rows << ", run " << i;
  }
}

// Only the changed part of a picture is sent to the window, so the part must hold every pixel that
// differs, to the bit, and the copy must be the new picture whole; around the 16-pixel blocks compared
// at once, for a change of colour only, of alpha, at each edge and in the middle, and of the size.
TEST(TakePicture, ChangedPartIsTheSmallestRectangleOfEveryDifferingPixel) {
  struct Change { int32_t x, y, width, height, byte; };
  const Change changes[] = {{0, 0, 1, 1, 0}, {0, 0, 1, 1, 3}, {-1, -1, 1, 1, 2}, {15, 1, 2, 1, 3},
                            {16, 2, 17, 2, 1}, {-17, 0, 1, 4, 0}, {0, 0, 0, 0, 0}};
  for (int32_t width : {1, 15, 16, 17, 33, 70}) {
    const int32_t height = 4, stride = width * 4 + 8;
    std::vector<uint8_t> before(static_cast<size_t>(stride) * height);
    for (size_t i = 0; i < before.size(); ++i) before[i] = static_cast<uint8_t>(i * 31 + 7);
    for (const Change& change : changes) {
      const int32_t left = std::clamp(change.x < 0 ? width + change.x : change.x, 0, width - 1);
      const int32_t top = change.y < 0 ? height + change.y : change.y;
      const int32_t right = std::min(width, left + change.width), bottom = std::min(height, top + change.height);
      std::vector<uint8_t> shown(static_cast<size_t>(width) * height * 4), after = before;
      gtk_take_picture(before.data(), stride, width, height, 0, 0, shown.data());
      for (int32_t y = top; y < bottom; ++y)
        for (int32_t x = left; x < right; ++x) after[static_cast<size_t>(stride) * y + 4 * x + change.byte] ^= 0x5A;
      int32_t min_x = width, min_y = height, max_x = -1, max_y = -1;
      for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
          if (memcmp(&before[static_cast<size_t>(stride) * y + 4 * x], &after[static_cast<size_t>(stride) * y + 4 * x], 4)) {
            min_x = std::min(min_x, x), max_x = std::max(max_x, x), min_y = std::min(min_y, y), max_y = std::max(max_y, y);
          }
      const GtkPictureChange taken = gtk_take_picture(after.data(), stride, width, height, width, height, shown.data());
      const std::string where = "width " + std::to_string(width) + ", change at " + std::to_string(change.x);
      if (max_x < 0) {
        EXPECT_EQ(taken.width, 0) << where;
      } else {
        EXPECT_TRUE(taken.x == min_x && taken.y == min_y && taken.width == max_x - min_x + 1 &&
                    taken.height == max_y - min_y + 1) << where << ": " << taken.x << "," << taken.y << " "
                                                       << taken.width << "x" << taken.height;
      }
      EXPECT_EQ(taken.alpha_changed, max_x >= 0 && change.byte == 3) << where;
      for (int32_t y = 0; y < height; ++y)
        ASSERT_EQ(memcmp(&shown[static_cast<size_t>(width) * 4 * y], &after[static_cast<size_t>(stride) * y], width * 4), 0)
            << where << ", row " << y;
      const GtkPictureChange resized = gtk_take_picture(after.data(), stride, width, height - 1, width, height, shown.data());
      EXPECT_TRUE(resized.width == width && resized.height == height - 1 && resized.alpha_changed) << where;
    }
  }
}

// A frame wants the window at a rectangle at a time (ms), or the character is moved to a point with
// no new frame (carry); the X window's rectangle after it.
TEST(Stage, HoldsTheRecentFramesAndLeavesAPlaceMovedFrom) {
  struct Step { int64_t ms; bool carry; cairo_rectangle_int_t wanted, stage; };
  const Step steps[] = {
      {0, false, {100, 100, 50, 60}, {100, 100, 50, 60}},     // the first frame
      {50, false, {110, 90, 40, 60}, {100, 90, 50, 70}},      // grows to hold a frame that sticks out
      {100, false, {100, 100, 50, 60}, {100, 90, 50, 70}},    // inside: still
      {2900, false, {105, 95, 40, 40}, {100, 90, 50, 70}},
      {3000, false, {100, 130, 50, 60}, {100, 90, 50, 100}},  // the period is over: its frames and this one
      {3100, false, {100, 130, 50, 60}, {100, 90, 50, 100}},
      {3150, true, {100, 110, 0, 0}, {100, 70, 50, 100}},     // moved by a drag: the stage goes along
      {3200, false, {100, 110, 50, 60}, {100, 70, 50, 100}},
      {6000, false, {100, 110, 50, 60}, {100, 110, 50, 60}},  // the frames left the rest: it goes
      {6050, false, {400, 130, 50, 60}, {400, 130, 50, 60}},  // far away: starts again at the frame
      {6100, false, {-20, -30, 10, 10}, {-20, -30, 10, 10}},
  };
  GtkStage stage{};
  for (const Step& step : steps) {
    const cairo_rectangle_int_t rect = step.carry ? gtk_stage_carry(&stage, step.wanted.x, step.wanted.y)
                                                  : gtk_stage_place(&stage, step.wanted, step.ms * 1000);
    EXPECT_TRUE(rect.x == step.stage.x && rect.y == step.stage.y && rect.width == step.stage.width &&
                rect.height == step.stage.height)
        << "at " << step.ms << " ms: " << rect.x << "," << rect.y << " " << rect.width << "x" << rect.height;
  }
}

TEST(Stage, WhatIsLeftOfARectangleIsExactlyItsPixelsOutsideTheOther) {
  const cairo_rectangle_int_t from{10, 20, 30, 40};
  const cairo_rectangle_int_t others[] = {{10, 20, 30, 40}, {0, 0, 5, 5},   {15, 25, 5, 5},  {5, 15, 10, 100},
                                          {30, 50, 20, 20}, {-5, 30, 100, 3}, {12, 0, 0, 100}, {20, 10, 5, 200}};
  for (const cairo_rectangle_int_t& other : others) {
    cairo_rectangle_int_t left[4];
    const int count = gtk_rectangle_less(from, other, left);
    for (int32_t y = 0; y < 80; ++y)
      for (int32_t x = 0; x < 60; ++x) {
        const auto inside = [x, y](const cairo_rectangle_int_t& r) {
          return x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height;
        };
        const int covered = static_cast<int>(std::count_if(left, left + count, inside));
        ASSERT_EQ(covered, inside(from) && !inside(other) ? 1 : 0)
            << "pixel " << x << "," << y << " less " << other.x << "," << other.y << " " << other.width << "x"
            << other.height;
      }
  }
}

// What the window shows while fading must be what cairo paints at that opacity, to the bit.
TEST(FadePixels, MatchesCairosPaintWithAlphaAtEveryOpacity) {
  std::vector<uint8_t> pixels;
  for (int value = 0; value < 256; ++value) {
    const uint8_t v = static_cast<uint8_t>(value);
    for (uint8_t byte : {v, static_cast<uint8_t>(255 - value), v, v}) pixels.push_back(byte);  // alpha v
    for (uint8_t byte : {v, uint8_t{0}, static_cast<uint8_t>(value / 2), uint8_t{255}}) pixels.push_back(byte);
  }
  const int width = static_cast<int>(pixels.size() / 4);
  cairo_surface_t* source =
      cairo_image_surface_create_for_data(pixels.data(), CAIRO_FORMAT_ARGB32, width, 1, width * 4);
  cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, 1);
  std::vector<uint8_t> faded(pixels.size());
  for (int opacity = 0; opacity < 256; ++opacity) {
    cairo_t* cr = cairo_create(target);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr, 0, 0, 0, 0);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_set_source_surface(cr, source, 0, 0);
    cairo_paint_with_alpha(cr, opacity / 255.0);
    cairo_destroy(cr);
    cairo_surface_flush(target);
    gtk_fade_pixels(pixels.data(), pixels.size(), static_cast<uint8_t>(opacity), faded.data());
    ASSERT_EQ(0, memcmp(faded.data(), cairo_image_surface_get_data(target), faded.size())) << opacity;
  }
  cairo_surface_destroy(target);
  cairo_surface_destroy(source);
}

TEST(TextFromProgram, KeepsUtf8AndReadsOtherBytesAsWindows1252) {
  EXPECT_EQ(gtk_text_from_program("Repeat 10 sec"), "Repeat 10 sec");
  EXPECT_EQ(gtk_text_from_program("Caf\xC3\xA9"), "Caf\xC3\xA9");
  EXPECT_EQ(gtk_text_from_program("Caf\xE9"), "Caf\xC3\xA9");
  EXPECT_EQ(gtk_text_from_program("\x80 \x9F \x81"),
            "\xE2\x82\xAC \xC5\xB8 \xC2\x81");  // euro, Y diaeresis, C1
  EXPECT_EQ(gtk_text_from_program("\xFF"), "\xC3\xBF");
  EXPECT_EQ(gtk_text_from_program(nullptr), "");
}

TEST(ProgramIcon, IsARoundOpaqueMarkOnATransparentSquare) {
  for (int32_t size : {16, 32, 48}) {
    cairo_surface_t* icon = gtk_draw_program_icon(size);
    ASSERT_NE(icon, nullptr);
    ASSERT_EQ(cairo_image_surface_get_width(icon), size);
    const uint8_t* data = cairo_image_surface_get_data(icon);
    const int stride = cairo_image_surface_get_stride(icon);
    EXPECT_EQ(data[3], 0) << "corner, size " << size;
    EXPECT_EQ(data[stride * (size / 2) + 4 * (size / 2) + 3], 255) << "centre, size " << size;
    cairo_surface_destroy(icon);
  }
  EXPECT_EQ(gtk_draw_program_icon(0), nullptr);
  EXPECT_EQ(gtk_draw_program_icon(5000), nullptr);
}

TEST(MouseLparam, IsTheRootPointLessTheWindowInSigned16BitWords) {
  LPARAM lparam = gtk_mouse_lparam(864.7, 658.2, 824, 618);
  EXPECT_EQ(platform_lparam_x(lparam), 40);
  EXPECT_EQ(platform_lparam_y(lparam), 40);
  lparam = gtk_mouse_lparam(10, 5, 300, 200);  // left of and above the window, while captured
  EXPECT_EQ(platform_lparam_x(lparam), -290);
  EXPECT_EQ(platform_lparam_y(lparam), -195);
  lparam = gtk_mouse_lparam(-0.5, 0, 0, 0);  // fractions go down, as pixels are counted
  EXPECT_EQ(platform_lparam_x(lparam), -1);
  lparam = gtk_mouse_lparam(40000, 0, 0, 0);  // cut to 16 bits like the system's words
  EXPECT_EQ(platform_lparam_x(lparam), 40000 - 65536);
}

// Screen positions decide, so a window that moved between the presses does not matter.
TEST(DoubleClick, IsASecondPressOfTheSameButtonNearInTimeAndOnTheScreen) {
  const GtkPress first{1, 1000, 500, 400};
  struct Case {
    GtkPress second;
    bool double_click;
  } cases[] = {
      {{1, 1400, 500, 400}, true},   {{1, 1400, 505, 395}, true},   {{1, 1401, 500, 400}, false},
      {{1, 1100, 506, 400}, false},  {{1, 1100, 500, 394}, false},  {{3, 1100, 500, 400}, false},
      {{1, 999, 500, 400}, false},  // earlier than the first: the clock ran backwards, not a double-click
  };
  for (const Case& c : cases)
    EXPECT_EQ(gtk_is_double_click(first, c.second, 400, 5), c.double_click) << c.second.time_ms << " " << c.second.root_x;
  // The server's clock wraps.
  EXPECT_TRUE(gtk_is_double_click(GtkPress{1, 0xFFFFFF00u, 0, 0}, GtkPress{1, 0x10, 0, 0}, 400, 5));
}

TEST(MessageBoxCopy, HoldsCaptionTextAndButtonsAsWindowsCopiesThem) {
  EXPECT_EQ(gtk_message_box_copy_text("Velissa", "1 New Animations Installed.", MB_ICONINFORMATION),
            "---------------------------\nVelissa\n---------------------------\n"
            "1 New Animations Installed.\n---------------------------\nOK   \n---------------------------\n");
  const std::string question = gtk_message_box_copy_text(nullptr, "Caf\xE9?", MB_YESNO | MB_ICONQUESTION);
  EXPECT_NE(question.find("\nError\n"), std::string::npos);
  EXPECT_NE(question.find("\nCaf\xC3\xA9?\n"), std::string::npos);  // package names are Windows-1252
  EXPECT_NE(question.find("\nYes   No   \n"), std::string::npos);
  EXPECT_NE(gtk_message_box_copy_text("Warning", "", MB_OKCANCEL).find("\nOK   Cancel   \n"), std::string::npos);
}

TEST(InstalledDataDirectory, IsFoundFromTheProgramsOwnDirectory) {
  EXPECT_EQ(gtk_installed_data_directory("/usr/local/bin/velissadesk", "../share/velissadesk"),
            "/usr/local/share/velissadesk");
  EXPECT_EQ(gtk_installed_data_directory("/opt/v/bin/velissadesk", "../../share/v"), "/opt/share/v");
  EXPECT_EQ(gtk_installed_data_directory("bin/velissadesk", "../share/velissadesk"), "");
  EXPECT_EQ(gtk_installed_data_directory(nullptr, "../share/velissadesk"), "");
}

// A configured folder is used when it exists; one that does not is passed over (and reported with
// where it was set) for the user's own data folder, which is also what nothing configured gives.
TEST(InstallPath, TheSettingWhenItExistsElseTheUsersOwnFolder) {
  const std::string home = testing::TempDir() + "velissa-gtk-home";
  const std::string own = home + "/.local/share/VelissaDesk";
  setenv("HOME", home.c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("XDG_DATA_HOME");
  const struct {
    const char* configured;
    std::string expected, passed_over;
  } cases[] = {{nullptr, own, ""}, {"/nonexistent/velissa", own, "/nonexistent/velissa"}, {"/", "/", ""}};
  for (const auto& c : cases) {
    if (c.configured != nullptr) setenv("VELISSADESK_PATH", c.configured, 1);
    char path[520], skipped[520], setting[520];
    ASSERT_TRUE(platform_read_install_path(path, sizeof path));
    EXPECT_EQ(path, c.expected);
    EXPECT_EQ(platform_passed_over_install_path(skipped, sizeof skipped, setting, sizeof setting),
              !c.passed_over.empty());
    if (!c.passed_over.empty()) {
      EXPECT_EQ(skipped, c.passed_over);
      EXPECT_STREQ(setting, "VELISSADESK_PATH");
    }
  }
  unsetenv("VELISSADESK_PATH");
}

// Without an X display every call that needs one fails as a Win32 call fails, and the rest works.
TEST(WithoutDisplay, WindowsAndDesktopCallsFailCleanly) {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  LRESULT (*procedure)
  (WindowHandle, uint32_t, WPARAM, LPARAM) =
      [](WindowHandle, uint32_t, WPARAM, LPARAM) -> LRESULT { return 0; };
  ASSERT_TRUE(platform_register_class(nullptr, "VelissaDeskClass", CS_DBLCLKS, procedure));
  EXPECT_EQ(platform_create_window_ex(0, "VelissaDeskClass", "VelissaDesk", WS_POPUP, CW_USEDEFAULT,
                                      CW_USEDEFAULT, 544, 375, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_GEN_FAILURE));
  EXPECT_EQ(platform_message_box(nullptr, "text", "Velissa", MB_ICONINFORMATION), 0);
  EXPECT_FALSE(platform_register_hot_key(nullptr, 0, MOD_CONTROL, VK_F1));
  PlatformRect area{};
  EXPECT_FALSE(platform_get_work_area(&area));
  TrayIconData tray{nullptr, 101, NIF_TIP, TRAY_CALLBACK_MESSAGE, nullptr, "VelissaDesk", nullptr};
  EXPECT_FALSE(platform_notify_icon(NIM_ADD, &tray));

  // The queue still keeps its order: posted messages first, WM_QUIT once they are gone.
  PlatformMessage message;
  EXPECT_FALSE(platform_peek_message(&message, PM_REMOVE));
  platform_post_quit_message(3);
  EXPECT_TRUE(platform_post_message(nullptr, WM_USER, 7, 0));
  ASSERT_TRUE(platform_peek_message(&message, PM_REMOVE));
  EXPECT_EQ(message.message, static_cast<uint32_t>(WM_USER));
  ASSERT_TRUE(platform_peek_message(&message, PM_NOREMOVE));
  ASSERT_TRUE(platform_peek_message(&message, PM_REMOVE));
  EXPECT_EQ(message.message, static_cast<uint32_t>(WM_QUIT));
  EXPECT_EQ(message.wparam, 3u);
  EXPECT_FALSE(platform_peek_message(&message, PM_REMOVE));
}

TEST(WithoutDisplay, SurfacesMenusAndDropsLiveInMemory) {
  DeviceContext dc = platform_create_compatible_dc(nullptr);
  uint8_t* pixels = nullptr;
  BitmapHandle bitmap = platform_create_dib_section(dc, 3, 2, &pixels);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(pixels[3 * 2 * 4 - 1], 0);
  EXPECT_EQ(platform_create_dib_section(dc, 40000, 2, &pixels), nullptr);
  EXPECT_EQ(pixels, nullptr);
  GdiObject stock = platform_select_object(dc, bitmap);
  ASSERT_NE(stock, nullptr);
  EXPECT_FALSE(platform_delete_object(bitmap)) << "still selected";
  EXPECT_EQ(platform_select_object(dc, stock), bitmap);
  EXPECT_TRUE(platform_delete_object(bitmap));
  EXPECT_FALSE(platform_delete_object(bitmap)) << "a stale handle is refused, not read";
  EXPECT_TRUE(platform_delete_dc(dc));
  EXPECT_FALSE(platform_delete_dc(dc));

  MenuHandle menu = platform_create_popup_menu();
  for (uintptr_t id : {3, 4, 5}) EXPECT_TRUE(platform_append_menu(menu, MF_STRING, id, "item"));
  EXPECT_TRUE(platform_check_menu_radio_item(menu, 3, 5, 4, MF_BYCOMMAND));
  EXPECT_FALSE(platform_check_menu_radio_item(menu, 3, 9, 4, MF_BYCOMMAND));
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_MENU_ITEM_NOT_FOUND));
  int deleted = 0;
  while (platform_delete_menu(menu, 0, MF_BYPOSITION)) ++deleted;  // how the program empties it
  EXPECT_EQ(deleted, 3);
  EXPECT_TRUE(platform_destroy_menu(menu));
  EXPECT_FALSE(platform_append_menu(menu, MF_STRING, 6, "late"));

  DropHandle drop = gtk_make_drop({"/tmp/one.dat", "/tmp/a longer name.kar"});
  char path[8];
  EXPECT_EQ(platform_drag_query_file(drop, DROP_QUERY_COUNT, nullptr, 0), 2u);
  EXPECT_EQ(platform_drag_query_file(drop, 1, nullptr, 0), 22u);  // the length needed
  EXPECT_EQ(platform_drag_query_file(drop, 1, path, sizeof path), 7u);
  EXPECT_STREQ(path, "/tmp/a ");
  EXPECT_EQ(platform_drag_query_file(drop, 2, path, sizeof path), 0u);
  platform_drag_finish(drop);
  EXPECT_EQ(platform_drag_query_file(drop, DROP_QUERY_COUNT, path, sizeof path), 0u);
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_INVALID_HANDLE));
}

}  // namespace

namespace {
bool layer_shell_offered() { return true; }
bool layer_shell_missing() { return false; }
}  // namespace

// Wayland only where its compositor offers layer-shell and GDK_BACKEND allows it; else X11 where there
// is an X display that GDK_BACKEND allows; else nothing, with a reason that names what is missing.
TEST(DisplayChoice, WaylandWithLayerShellElseX11ElseAReason) {
  struct Case {
    const char *gdk_backend, *wayland, *x;
    bool offered;
    GtkDisplaySystem expected;
    const char* reason_part;
  } cases[] = {
      {nullptr, "wayland-0", ":0", true, kDisplayWayland, ""},
      {nullptr, "wayland-0", nullptr, true, kDisplayWayland, ""},
      {nullptr, "wayland-0", ":0", false, kDisplayX11, ""},
      {"x11", "wayland-0", ":0", true, kDisplayX11, ""},
      {nullptr, "", ":0", true, kDisplayX11, ""},
      {nullptr, "wayland-0", nullptr, false, kDisplayNone, "offers no layer-shell"},
      {"x11", "wayland-0", nullptr, true, kDisplayNone, "GDK_BACKEND=x11"},
      {nullptr, nullptr, "", true, kDisplayNone, "neither WAYLAND_DISPLAY nor DISPLAY"},
      // A list names the backends GTK may use: one left out is never chosen behind the user's back.
      {"wayland", "wayland-0", ":0", false, kDisplayNone, "GDK_BACKEND=wayland forbids X11"},
      {"wayland", nullptr, ":0", true, kDisplayNone, "WAYLAND_DISPLAY is not set"},
      {"wayland,x11", "wayland-0", ":0", false, kDisplayX11, ""},
      {"*", "wayland-0", ":0", true, kDisplayWayland, ""},
      {"broadway", "wayland-0", ":0", true, kDisplayNone, "neither Wayland nor X11"},
  };
  for (const Case& c : cases) {
    std::string why;
    const GtkDisplaySystem chosen = gtk_choose_display_system(
        c.gdk_backend, c.wayland, c.x, c.offered ? layer_shell_offered : layer_shell_missing, &why);
    EXPECT_EQ(chosen, c.expected) << (c.wayland ? c.wayland : "-") << " " << (c.x ? c.x : "-");
    EXPECT_NE(why.find(c.reason_part), std::string::npos) << why;
    if (c.expected != kDisplayNone) {
      EXPECT_TRUE(why.empty()) << why;
    }
  }
}
