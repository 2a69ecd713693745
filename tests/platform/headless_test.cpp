// The headless backend as later tests rely on it: message order and the quit path, modal calls, the
// call log, the clock, the drawing surface and what a window shows, drops, hot keys, tray and menus.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/headless/headless.h"
#include "platform/portable/portable_files.h"
#include "support/temp_dir.h"

namespace {

struct Delivered {
  WindowHandle window;
  uint32_t message;
  WPARAM wparam;
};
std::vector<Delivered> delivered;

// Like the program's procedure: WM_DESTROY posts the quit message, the rest goes to the default.
LRESULT PLATFORM_CALLBACK recording_procedure(WindowHandle window, uint32_t message, WPARAM wparam,
                                              LPARAM lparam) {
  delivered.push_back({window, message, wparam});
  if (message == WM_DESTROY) {
    platform_post_quit_message(0);
    return 0;
  }
  return platform_default_window_procedure(window, message, wparam, lparam);
}

class Headless : public ::testing::Test {
 protected:
  void SetUp() override {
    headless_reset();
    delivered.clear();
    ASSERT_TRUE(platform_register_class(nullptr, "VelissaDeskClass", CS_DBLCLKS, recording_procedure));
    owner = platform_create_window_ex(0, "VelissaDeskClass", "VelissaDesk", WS_POPUP, CW_USEDEFAULT,
                                      CW_USEDEFAULT, 544, 375, nullptr, nullptr);
    character = platform_create_window_ex(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST,
                                          "VelissaDeskClass", "VelissaDesk", WS_POPUP, CW_USEDEFAULT,
                                          CW_USEDEFAULT, 544, 375, owner, nullptr);
    ASSERT_NE(owner, nullptr);
    ASSERT_NE(character, nullptr);
  }

  // The program's main loop, without the player: returns the messages it took, WM_QUIT last.
  std::vector<uint32_t> run_loop() {
    std::vector<uint32_t> taken;
    PlatformMessage message;
    while (platform_peek_message(&message, PM_REMOVE)) {
      taken.push_back(message.message);
      platform_translate_message(&message);
      platform_dispatch_message(&message);
      if (message.message == WM_QUIT) break;
    }
    return taken;
  }

  WindowHandle owner = nullptr;
  WindowHandle character = nullptr;
};

TEST_F(Headless, CloseDestroysOwnedWindowFirstAndQuitComesLast) {
  const uint32_t kLater = WM_USER + 1;
  ASSERT_TRUE(platform_post_message(character, WM_MOUSEMOVE, 0, 0));
  ASSERT_TRUE(platform_post_message(owner, WM_CLOSE, 0, 0));
  ASSERT_TRUE(platform_post_message(nullptr, kLater, 7, 0));  // to the thread, after the close

  // The mouse move comes first, the close destroys both windows, the thread message still comes
  // before WM_QUIT.
  EXPECT_EQ(run_loop(), (std::vector<uint32_t>{WM_MOUSEMOVE, WM_CLOSE, kLater, WM_QUIT}));
  ASSERT_EQ(delivered.size(), 4u);
  EXPECT_EQ(delivered[0].window, character);
  EXPECT_EQ(delivered[0].message, static_cast<uint32_t>(WM_MOUSEMOVE));
  EXPECT_EQ(delivered[1].window, owner);
  EXPECT_EQ(delivered[1].message, static_cast<uint32_t>(WM_CLOSE));
  EXPECT_EQ(delivered[2].window, character);
  EXPECT_EQ(delivered[2].message, static_cast<uint32_t>(WM_DESTROY));
  EXPECT_EQ(delivered[3].window, owner);
  EXPECT_EQ(delivered[3].message, static_cast<uint32_t>(WM_DESTROY));
  EXPECT_TRUE(headless_window_info(owner).destroyed);
  EXPECT_TRUE(headless_window_info(character).destroyed);
  EXPECT_FALSE(headless_quit_pending(nullptr));
  EXPECT_EQ(headless_live_objects().windows, 0);

  EXPECT_FALSE(platform_post_message(owner, WM_CLOSE, 0, 0));
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_FALSE(platform_destroy_window(owner));
}

TEST_F(Headless, QuitWaitsForTheQueueAndMessagesOfDestroyedWindowsAreDropped) {
  headless_post_message(character, WM_LBUTTONDOWN, 0, 0);
  headless_post_message(owner, WM_HOTKEY, 0, 0);
  ASSERT_TRUE(platform_destroy_window(character));  // its queued click goes with it
  platform_post_quit_message(3);                    // replaces the exit code its WM_DESTROY posted

  PlatformMessage message;
  ASSERT_TRUE(platform_peek_message(&message, PM_NOREMOVE));
  EXPECT_EQ(message.message, static_cast<uint32_t>(WM_HOTKEY));
  ASSERT_TRUE(platform_peek_message(&message, PM_REMOVE));
  EXPECT_EQ(message.message, static_cast<uint32_t>(WM_HOTKEY));
  ASSERT_TRUE(platform_peek_message(&message, PM_NOREMOVE));
  EXPECT_EQ(message.message, static_cast<uint32_t>(WM_QUIT));
  ASSERT_TRUE(platform_peek_message(&message, PM_REMOVE));
  EXPECT_EQ(message.message, static_cast<uint32_t>(WM_QUIT));
  EXPECT_EQ(message.wparam, 3u);
  EXPECT_EQ(message.window, nullptr);
  EXPECT_FALSE(platform_peek_message(&message, PM_REMOVE));
}

TEST_F(Headless, CreationFailuresAreReported) {
  EXPECT_FALSE(platform_register_class(nullptr, "VelissaDeskClass", 0, recording_procedure));
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_CLASS_ALREADY_EXISTS));
  EXPECT_EQ(platform_create_window_ex(0, "NoSuchClass", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr), nullptr);
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_CANNOT_FIND_WND_CLASS));
  platform_destroy_window(owner);
  EXPECT_EQ(platform_create_window_ex(0, "VelissaDeskClass", "", WS_POPUP, 0, 0, 1, 1, owner, nullptr),
            nullptr);
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_INVALID_WINDOW_HANDLE));

  const HeadlessWindowInfo info = headless_window_info(character);
  EXPECT_TRUE(info.exists);
  EXPECT_EQ(info.x, 0);  // CW_USEDEFAULT on a pop-up window
  EXPECT_EQ(info.width, 544);
  EXPECT_FALSE(info.visible);
}

TEST_F(Headless, ModalCallsDispatchTheQueueAndTakeScriptedAnswers) {
  headless_post_message(owner, WM_HOTKEY, 0, 0);
  platform_post_quit_message(0);
  std::vector<std::string> modal_kinds;
  headless_set_modal_hook([&](const char* kind) {
    modal_kinds.push_back(kind);
    headless_post_message(character, WM_LBUTTONDBLCLK, 0, 0);
  });
  headless_queue_message_box_answer(IDCANCEL);

  EXPECT_EQ(platform_message_box(nullptr, "1 New Animations Installed.", "Velissa", MB_ICONINFORMATION),
            IDCANCEL);
  // Both the queued hot key and the message the hook posted were handled inside the box.
  ASSERT_EQ(delivered.size(), 2u);
  EXPECT_EQ(delivered[0].message, static_cast<uint32_t>(WM_HOTKEY));
  EXPECT_EQ(delivered[1].message, static_cast<uint32_t>(WM_LBUTTONDBLCLK));
  EXPECT_TRUE(headless_quit_pending(nullptr));  // left for the outer loop

  EXPECT_EQ(platform_message_box(nullptr, "text", "Warning", MB_ICONWARNING), IDOK);  // the default answer
  ASSERT_EQ(headless_message_boxes().size(), 2u);
  EXPECT_EQ(headless_message_boxes()[1].caption, "Warning");
  EXPECT_EQ(headless_message_boxes()[1].flags, static_cast<uint32_t>(MB_ICONWARNING));
  EXPECT_EQ(modal_kinds, (std::vector<std::string>{"message_box", "message_box"}));
}

TEST_F(Headless, PopupMenuPostsTheScriptedChoiceAfterReturning) {
  MenuHandle menu = platform_create_popup_menu();
  platform_append_menu(menu, MF_STRING, 3, "First");
  platform_append_menu(menu, MF_SEPARATOR, 0, nullptr);
  platform_append_menu(menu, MF_STRING, 4, "Exit");
  EXPECT_EQ(headless_menu_item_id(menu, "Exit"), 4u);

  headless_queue_menu_choice(4);
  headless_queue_menu_choice(99);  // not in the menu: dismissed
  EXPECT_EQ(platform_track_popup_menu(menu, TPM_RIGHTALIGN | TPM_BOTTOMALIGN, 100, 200, owner), 1);
  EXPECT_TRUE(delivered.empty());  // posted, not sent
  EXPECT_EQ(headless_pump_messages(), 1);
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_EQ(delivered[0].window, owner);
  EXPECT_EQ(delivered[0].message, static_cast<uint32_t>(WM_COMMAND));
  EXPECT_EQ(delivered[0].wparam, 4u);

  EXPECT_EQ(platform_track_popup_menu(menu, 0, 0, 0, owner), 1);
  EXPECT_EQ(headless_pump_messages(), 0);
  headless_queue_menu_choice(3);
  EXPECT_EQ(platform_track_popup_menu(menu, TPM_RETURNCMD, 0, 0, owner), 3);
  EXPECT_EQ(headless_pump_messages(), 0);
}

TEST_F(Headless, MenuItemsDeleteAndCarryOneRadioMark) {
  MenuHandle menu = platform_create_popup_menu();
  for (uintptr_t id = 5; id <= 8; ++id) platform_append_menu(menu, MF_STRING, id, "Repeat");
  platform_append_menu(menu, MF_SEPARATOR, 0, nullptr);

  EXPECT_TRUE(platform_check_menu_radio_item(menu, 5, 8, 6, MF_BYCOMMAND));
  EXPECT_TRUE(platform_check_menu_radio_item(menu, 5, 8, 7, MF_BYCOMMAND));
  std::vector<HeadlessMenuItem> items = headless_menu_items(menu);
  ASSERT_EQ(items.size(), 5u);
  for (size_t i = 0; i < items.size(); ++i) EXPECT_EQ(items[i].checked, i == 2) << i;
  EXPECT_FALSE(platform_check_menu_radio_item(menu, 5, 42, 6, MF_BYCOMMAND));

  // Emptying by position 0 until it fails, as the menu rebuild does.
  int deleted = 0;
  while (platform_delete_menu(menu, 0, MF_BYPOSITION)) ++deleted;
  EXPECT_EQ(deleted, 5);
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_MENU_ITEM_NOT_FOUND));
  EXPECT_TRUE(platform_destroy_menu(menu));
  EXPECT_FALSE(platform_append_menu(menu, MF_STRING, 9, "late"));
}

TEST_F(Headless, CallLogRecordsCallsInOrderWithTheirArguments) {
  headless_clear_calls();
  platform_set_window_pos(character, nullptr, -200, -300, 200, 300, SWP_NOZORDER | SWP_NOOWNERZORDER);
  platform_show_window(character, SW_SHOW);
  platform_post_message(owner, WM_CLOSE, 0, 0);
  TrayIconData tray{owner,   101,          NIF_MESSAGE | NIF_ICON | NIF_TIP, TRAY_CALLBACK_MESSAGE,
                    nullptr, "VelissaDesk", nullptr};
  platform_notify_icon(NIM_ADD, &tray);
  platform_shell_execute(nullptr, "open", "https://example.org/", "", "", SW_SHOW);
  platform_time_ms();
  platform_sleep(1);

  std::vector<std::string> texts;
  for (const HeadlessCall& call : headless_calls()) texts.push_back(headless_call_text(call));
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "set_window_pos(window#2, null, -200, -300, 200, 300, 0x204) -> true",
                       "show_window(window#2, 5) -> false",
                       "post_message(window#1, WM_CLOSE, 0, 0) -> true",
                       "notify_icon(NIM_ADD, window#1, 101, 0x7, 1037, null, \"VelissaDesk\") -> true",
                       "shell_execute(null, \"open\", \"https://example.org/\", \"\", \"\", 5) -> true",
                   }));
  EXPECT_EQ(headless_counters().time_reads, 1u);
  EXPECT_EQ(headless_counters().sleeps, 1u);

  run_loop();
  EXPECT_EQ(headless_calls_named("dispatch_message").size(), 2u);  // WM_CLOSE, WM_QUIT
  EXPECT_EQ(headless_call_text(headless_calls_named("default_window_procedure")[0]),
            "default_window_procedure(window#1, WM_CLOSE, 0, 0) -> 0");
}

TEST_F(Headless, ScriptedClockWrapsAndSleepAdvancesIt) {
  headless_set_time(0xFFFFFFF0u);
  const uint32_t start = platform_time_ms();
  headless_advance_time(0x20);
  EXPECT_EQ(platform_time_ms(), 0x10u);
  EXPECT_EQ(platform_time_ms() - start, 0x20u);  // the elapsed time survives the wrap

  std::vector<uint32_t> woke_at;
  headless_set_sleep_hook([&](uint32_t now) { woke_at.push_back(now); });
  platform_sleep(1);
  platform_sleep(5);
  EXPECT_EQ(woke_at, (std::vector<uint32_t>{0x11, 0x16}));
  headless_set_clock_mode(HEADLESS_CLOCK_SCRIPTED_FROZEN);
  platform_sleep(100);
  EXPECT_EQ(platform_time_ms(), 0x16u);
  EXPECT_EQ(headless_counters().slept_ms, 106u);

  headless_set_calendar_time(1700000000);
  EXPECT_EQ(platform_calendar_time(), 1700000000);
}

TEST_F(Headless, LayeredUpdateShowsTheSurfaceCorner) {
  DeviceContext dc = platform_create_compatible_dc(nullptr);
  uint8_t* pixels = nullptr;
  BitmapHandle bitmap = platform_create_dib_section(dc, 4, 3, &pixels);
  ASSERT_NE(bitmap, nullptr);
  ASSERT_NE(pixels, nullptr);
  for (int i = 0; i < 4 * 3 * 4; ++i) pixels[i] = static_cast<uint8_t>(i);
  GdiObject previous = platform_select_object(dc, bitmap);
  ASSERT_NE(previous, nullptr);

  platform_set_window_pos(character, nullptr, 30, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER);
  ASSERT_TRUE(platform_update_layered_window(character, 2, 2, dc, 128, AC_SRC_ALPHA, ULW_ALPHA));
  const HeadlessPresentation shown = headless_last_presentation(character);
  EXPECT_EQ(shown.count, 1u);
  EXPECT_EQ(shown.x, 30);
  EXPECT_EQ(shown.y, 40);
  EXPECT_EQ(shown.opacity, 128);
  // Two rows of two pixels, taken from rows of four.
  const std::vector<uint8_t> corner = {0, 1, 2, 3, 4, 5, 6, 7, 16, 17, 18, 19, 20, 21, 22, 23};
  EXPECT_EQ(shown.pixels, corner);
  EXPECT_EQ(headless_window_info(character).width, 2);

  EXPECT_FALSE(platform_update_layered_window(character, 5, 2, dc, 255, AC_SRC_ALPHA, ULW_ALPHA));
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(platform_update_layered_window(owner, 2, 2, dc, 255, AC_SRC_ALPHA, ULW_ALPHA));  // not layered
  headless_fail_layered_updates(ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_FALSE(platform_update_layered_window(character, 2, 2, dc, 255, AC_SRC_ALPHA, ULW_ALPHA));
  char text[256];
  EXPECT_GT(platform_error_text(platform_get_last_error(), text, sizeof text), 0u);
  EXPECT_STREQ(text, "Not enough memory resources are available to process this command.");
  EXPECT_EQ(headless_last_presentation(character).count, 1u);

  // A bitmap selected into a device context cannot be deleted.
  EXPECT_FALSE(platform_delete_object(bitmap));
  EXPECT_EQ(platform_select_object(dc, previous), static_cast<GdiObject>(bitmap));
  EXPECT_TRUE(platform_delete_dc(dc));
  EXPECT_TRUE(platform_delete_object(bitmap));
  EXPECT_EQ(headless_live_objects().bitmaps, 0);
  EXPECT_EQ(headless_live_objects().device_contexts, 0);
  EXPECT_EQ(platform_create_dib_section(nullptr, 0, 10, &pixels), nullptr);
  EXPECT_EQ(pixels, nullptr);
}

TEST_F(Headless, DropsReachOnlyWindowsThatAcceptFiles) {
  EXPECT_EQ(headless_drop_files(character, {"/a.dat"}), nullptr);
  platform_drag_accept_files(character, true);
  DropHandle drop = headless_drop_files(character, {"/in/a.dat", "/in/archive.kar"});
  ASSERT_NE(drop, nullptr);
  const std::vector<PlatformMessage> queued = headless_queued_messages();
  ASSERT_EQ(queued.size(), 1u);
  EXPECT_EQ(queued[0].message, static_cast<uint32_t>(WM_DROPFILES));
  EXPECT_EQ(platform_drop_from_wparam(queued[0].wparam), drop);

  char path[260];
  EXPECT_EQ(platform_drag_query_file(drop, DROP_QUERY_COUNT, nullptr, 0), 2u);
  EXPECT_EQ(platform_drag_query_file(drop, 1, nullptr, 0), 15u);
  EXPECT_EQ(platform_drag_query_file(drop, 1, path, sizeof path), 15u);
  EXPECT_STREQ(path, "/in/archive.kar");
  char small[5];
  EXPECT_EQ(platform_drag_query_file(drop, 0, small, sizeof small), 4u);
  EXPECT_STREQ(small, "/in/");
  EXPECT_EQ(platform_drag_query_file(drop, 2, path, sizeof path), 0u);

  platform_drag_finish(drop);
  EXPECT_TRUE(headless_drop_finished(drop));
  EXPECT_EQ(platform_drag_query_file(drop, DROP_QUERY_COUNT, nullptr, 0), 0u);
  EXPECT_EQ(headless_live_objects().drops, 0);
}

TEST_F(Headless, HotKeyAndTrayPostToTheirWindows) {
  ASSERT_TRUE(platform_register_hot_key(owner, 0, MOD_CONTROL, VK_F1));
  EXPECT_FALSE(platform_register_hot_key(character, 1, MOD_CONTROL, VK_F1));
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_HOTKEY_ALREADY_REGISTERED));
  EXPECT_FALSE(headless_press_hot_key(MOD_ALT, VK_F1));
  EXPECT_TRUE(headless_press_hot_key(MOD_CONTROL, VK_F1));

  IconHandle icon = platform_load_icon(nullptr, APP_ICON_RESOURCE_ID, 16, 16);
  ASSERT_NE(icon, nullptr);
  TrayIconData tray{owner, 101, NIF_MESSAGE | NIF_ICON | NIF_TIP, TRAY_CALLBACK_MESSAGE, icon, "VelissaDesk", nullptr};
  ASSERT_TRUE(platform_notify_icon(NIM_ADD, &tray));
  EXPECT_FALSE(platform_notify_icon(NIM_ADD, &tray));
  EXPECT_TRUE(headless_tray_event(101, WM_RBUTTONUP));

  EXPECT_EQ(headless_pump_messages(), 2);
  ASSERT_EQ(delivered.size(), 2u);
  EXPECT_EQ(delivered[0].message, static_cast<uint32_t>(WM_HOTKEY));
  EXPECT_EQ(delivered[1].message, TRAY_CALLBACK_MESSAGE);
  EXPECT_EQ(delivered[1].wparam, 101u);

  EXPECT_TRUE(platform_notify_icon(NIM_DELETE, &tray));
  EXPECT_FALSE(headless_tray_event(101, WM_RBUTTONUP));
  EXPECT_TRUE(platform_unregister_hot_key(owner, 0));
  EXPECT_FALSE(platform_unregister_hot_key(owner, 0));
  EXPECT_TRUE(platform_destroy_icon(icon));
  EXPECT_FALSE(platform_destroy_icon(icon));
}

TEST_F(Headless, DragHelpersCaptureAndConvertPoints) {
  platform_set_window_pos(character, nullptr, 100, 50, 0, 0, SWP_NOSIZE);
  EXPECT_EQ(platform_set_capture(character), nullptr);
  EXPECT_EQ(headless_capture_window(), character);
  const LPARAM lparam = platform_make_lparam(-5, 7);  // left of the window while captured
  PlatformPoint point{platform_lparam_x(lparam), platform_lparam_y(lparam)};
  EXPECT_EQ(point.x, -5);
  ASSERT_TRUE(platform_client_to_screen(character, &point));
  EXPECT_EQ(point.x, 95);
  EXPECT_EQ(point.y, 57);
  EXPECT_TRUE(platform_release_capture());
  EXPECT_EQ(headless_capture_window(), nullptr);

  headless_set_cursor_pos(12, 34);
  headless_set_work_area(PlatformRect{0, 0, 800, 560});
  PlatformRect area{};
  ASSERT_TRUE(platform_get_work_area(&area));
  EXPECT_EQ(area.bottom, 560);
  ASSERT_TRUE(platform_get_cursor_pos(&point));
  EXPECT_EQ(point.y, 34);
}

TEST_F(Headless, ResetReturnsToTheStart) {
  platform_drag_accept_files(owner, true);
  headless_drop_files(owner, {"/x.dat"});
  headless_set_time(500);
  platform_srand(7);
  PlatformFindData data;
  ASSERT_NE(platform_find_first_file("/*", &data), nullptr);  // left open: the reset closes it
  headless_reset();

  EXPECT_TRUE(headless_windows().empty());
  EXPECT_TRUE(headless_calls().empty());
  EXPECT_TRUE(headless_queued_messages().empty());
  EXPECT_EQ(headless_live_objects().searches, 0);
  EXPECT_EQ(platform_time_ms(), 0u);
  EXPECT_EQ(platform_rand(), 41);
  EXPECT_TRUE(platform_register_class(nullptr, "VelissaDeskClass", 0, recording_procedure));
  EXPECT_EQ(headless_call_text(headless_calls()[0]),
            "register_class(null, \"VelissaDeskClass\", 0x0) -> true");
}

TEST_F(Headless, SearchesAreCountedUntilClosed) {
  TempDir dir;
  write_bytes(dir.file("a.dat"), {'a'});
  char pattern[MAX_PATH];
  ASSERT_TRUE(platform_join_path(pattern, sizeof pattern, dir.path().string().c_str(), "*.dat"));
  PlatformFindData data;
  FindHandle find = platform_find_first_file(pattern, &data);
  ASSERT_NE(find, nullptr);
  EXPECT_EQ(headless_live_objects().searches, 1);
  EXPECT_FALSE(platform_find_next_file(find, &data));
  EXPECT_EQ(headless_live_objects().searches, 1);  // the end of a search does not close it
  EXPECT_TRUE(platform_find_close(find));
  EXPECT_EQ(headless_live_objects().searches, 0);
  EXPECT_FALSE(platform_find_close(find));
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_INVALID_HANDLE));
}

#ifndef _WIN32
// Sets or unsets environment variables for one test and puts them back afterwards.
class ScopedEnvironment {
 public:
  void set(const char* name, const char* value) {
    const char* old = getenv(name);
    saved_.push_back({name, old != nullptr, old != nullptr ? old : ""});
    if (value != nullptr)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnvironment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->was_set)
        setenv(it->name.c_str(), it->value.c_str(), 1);
      else
        unsetenv(it->name.c_str());
    }
  }

 private:
  struct Saved {
    std::string name;
    bool was_set;
    std::string value;
  };
  std::vector<Saved> saved_;
};

// The Linux rule for the install path; on Windows the registry holds it (the win32 backend's tests).
TEST(HeadlessInstallPath, FromEnvironmentThenConfigFile) {
  namespace fs = std::filesystem;
  headless_reset();
  TempDir dir;
  const fs::path& root = dir.path();
  auto write_file = [](const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
  };
  ScopedEnvironment environment;
  environment.set("VELISSADESK_PATH", nullptr);
  environment.set("XDG_CONFIG_HOME", root.c_str());
  environment.set("HOME", (root / "home").c_str());
  char path[520];

  EXPECT_FALSE(portable_install_path_from_environment(path, sizeof path));  // neither
  EXPECT_STREQ(path, "");

  fs::create_directories(root / "VelissaDesk");
  write_file(root / "VelissaDesk" / "path", "/opt/velissa desk\r\nignored second line\n");
  ASSERT_TRUE(portable_install_path_from_environment(path, sizeof path));
  EXPECT_STREQ(path, "/opt/velissa desk");

  environment.set("VELISSADESK_PATH", "/from/environment");
  ASSERT_TRUE(portable_install_path_from_environment(path, sizeof path));
  EXPECT_STREQ(path, "/from/environment");
  char small[8];
  EXPECT_FALSE(portable_install_path_from_environment(small, sizeof small));  // refused, not cut

  // Without XDG_CONFIG_HOME the file lies under ~/.config.
  environment.set("VELISSADESK_PATH", "");
  environment.set("XDG_CONFIG_HOME", nullptr);
  EXPECT_FALSE(portable_install_path_from_environment(path, sizeof path));
  fs::create_directories(root / "home" / ".config" / "VelissaDesk");
  write_file(root / "home" / ".config" / "VelissaDesk" / "path", "/home/install");
  ASSERT_TRUE(portable_install_path_from_environment(path, sizeof path));
  EXPECT_STREQ(path, "/home/install");

  // The headless backend reports none until a test sets a path or asks for this rule.
  EXPECT_FALSE(platform_read_install_path(path, sizeof path));
  headless_set_install_path("/scripted");
  ASSERT_TRUE(platform_read_install_path(path, sizeof path));
  EXPECT_STREQ(path, "/scripted");
  headless_use_environment_install_path();
  ASSERT_TRUE(platform_read_install_path(path, sizeof path));
  EXPECT_STREQ(path, "/home/install");
}

// A leading "~" in a setting is the home folder. The user's own folder is made with copies of the
// bundled packages and guides, only where it lacks anim/ or docs/, so nothing of the user's is
// replaced and a sample the user deleted stays deleted.
TEST(HeadlessInstallPath, TildeAndTheUsersOwnFolder) {
  namespace fs = std::filesystem;
  TempDir dir;
  const fs::path home = dir.path() / "home", bundled = dir.path() / "share";
  ScopedEnvironment environment;
  environment.set("HOME", home.c_str());
  environment.set("XDG_DATA_HOME", nullptr);
  std::string value, setting;
  for (const char* configured : {"~/velissa", "~", "~other/velissa", "/a/~"}) {
    environment.set("VELISSADESK_PATH", configured);
    ASSERT_TRUE(portable_configured_install_path(&value, &setting, 520));
    EXPECT_EQ(value, configured[0] == '~' && configured[1] != 'o' ? home.string() + (configured + 1) : configured);
    EXPECT_EQ(setting, "VELISSADESK_PATH");
  }

  for (const char* file : {"anim/a.dat", "anim/notes.txt", "docs/guide.html"}) {
    fs::create_directories((bundled / file).parent_path());
    std::ofstream(bundled / file) << "bundled";
  }
  const fs::path folder = home / ".local" / "share" / "VelissaDesk";
  fs::create_directories(folder / "docs");
  std::ofstream(folder / "docs" / "guide.html") << "mine";
  EXPECT_EQ(portable_user_data_folder(bundled.c_str()), folder.string());
  EXPECT_TRUE(fs::exists(folder / "anim" / "a.dat"));
  EXPECT_FALSE(fs::exists(folder / "anim" / "notes.txt"));
  std::string kept;
  std::ifstream(folder / "docs" / "guide.html") >> kept;
  EXPECT_EQ(kept, "mine");
  fs::remove(folder / "anim" / "a.dat");
  portable_user_data_folder(bundled.c_str());
  EXPECT_FALSE(fs::exists(folder / "anim" / "a.dat"));

  environment.set("XDG_DATA_HOME", (dir.path() / "data").c_str());
  EXPECT_EQ(portable_user_data_folder(nullptr), (dir.path() / "data" / "VelissaDesk").string());
  EXPECT_TRUE(fs::is_directory(dir.path() / "data" / "VelissaDesk" / "anim"));
}
#endif  // not _WIN32

}  // namespace
