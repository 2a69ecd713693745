// The window procedure: hiding and the hot key, where the menus open, the repeat choices, the links,
// commands that match nothing, and Exit through to tear-down.
#include <algorithm>

#include "shell_fixture.h"

TEST_F(ShellTest, ADoubleClickHidesAndCtrlF1TogglesCharacterAndTrayIcon) {
  install(test_animation("One"));
  start();
  const ShellState& shell = the_shell();
  const WindowHandle character = shell.character_window;
  ASSERT_TRUE(headless_window_info(character).visible);
  ASSERT_EQ(headless_tray_icons().size(), 1u);

  post_and_pass(character, WM_LBUTTONDBLCLK, MK_LBUTTON, platform_make_lparam(3, 3));
  EXPECT_TRUE(shell.hidden);
  EXPECT_FALSE(headless_window_info(character).visible);
  EXPECT_TRUE(headless_tray_icons().empty());

  ASSERT_TRUE(headless_press_hot_key(MOD_CONTROL, VK_F1));
  pass();
  EXPECT_FALSE(shell.hidden);
  EXPECT_TRUE(headless_window_info(character).visible);
  ASSERT_EQ(headless_tray_icons().size(), 1u);
  EXPECT_EQ(headless_tray_icons()[0].callback_message, TRAY_CALLBACK_MESSAGE);
  EXPECT_STREQ(headless_tray_icons()[0].tip, "VelissaDesk");
  EXPECT_EQ(headless_tray_icons()[0].menu, shell.menu);  // what a tray that shows menus itself shows

  ASSERT_TRUE(headless_press_hot_key(MOD_CONTROL, VK_F1));
  pass();
  EXPECT_TRUE(shell.hidden);
  EXPECT_FALSE(headless_window_info(character).visible);
  EXPECT_TRUE(headless_tray_icons().empty());
  // A restarted tray broadcasts "TaskbarCreated": hidden by the user, the icon stays away.
  headless_post_message(shell.owner_window, platform_register_window_message("TaskbarCreated"), 0, 0);
  pass();
  EXPECT_TRUE(headless_tray_icons().empty());

  // The right button's double-click and the menu item hide too.
  ASSERT_TRUE(headless_press_hot_key(MOD_CONTROL, VK_F1));
  post_and_pass(character, WM_RBUTTONDBLCLK, MK_RBUTTON, platform_make_lparam(3, 3));
  EXPECT_TRUE(shell.hidden);
  ASSERT_TRUE(headless_press_hot_key(MOD_CONTROL, VK_F1));
  pass();
  command(shell.hide_show_id);
  EXPECT_TRUE(shell.hidden);
  EXPECT_TRUE(headless_tray_icons().empty());
}

// Ctrl+F1 held by another program: the user is told once, and the tray icon stays with a hidden
// character, its menu being the way back.
TEST_F(ShellTest, WithoutCtrlF1HidingKeepsTheTrayIconAndItsMenuShowsTheCharacter) {
  install(test_animation("One"));
  ASSERT_TRUE(platform_register_hot_key(nullptr, 7, MOD_CONTROL, VK_F1));
  start();
  const ShellState& shell = the_shell();
  ASSERT_EQ(headless_message_boxes().size(), 1u);
  EXPECT_EQ(headless_message_boxes()[0].caption, "Warning");
  EXPECT_NE(headless_message_boxes()[0].text.find("\"Quick Hide/Show (ctrl-F1)\""), std::string::npos);

  post_and_pass(shell.character_window, WM_LBUTTONDBLCLK, MK_LBUTTON, platform_make_lparam(3, 3));
  EXPECT_FALSE(headless_window_info(shell.character_window).visible);
  EXPECT_EQ(headless_tray_icons().size(), 1u);
  headless_queue_menu_choice(static_cast<uintptr_t>(shell.hide_show_id));
  ASSERT_TRUE(headless_tray_event(101, WM_RBUTTONUP));
  run_until(platform_time_ms() + 5);
  EXPECT_TRUE(headless_window_info(shell.character_window).visible);
  EXPECT_EQ(headless_tray_icons().size(), 1u);
  EXPECT_EQ(headless_message_boxes().size(), 1u);
}

// The desktop takes Ctrl+F1 back after start-up (its dialog refused): from then on, as without it.
TEST_F(ShellTest, AHotKeyLostLaterBringsBackAndKeepsTheTrayIcon) {
  install(test_animation("One"));
  start();
  const ShellState& shell = the_shell();
  post_and_pass(shell.character_window, WM_LBUTTONDBLCLK, MK_LBUTTON, platform_make_lparam(3, 3));
  ASSERT_TRUE(headless_tray_icons().empty());
  post_and_pass(shell.owner_window, HOT_KEY_LOST_MESSAGE, 0, 0);
  EXPECT_EQ(headless_tray_icons().size(), 1u);
  command(shell.hide_show_id);
  ASSERT_FALSE(shell.hidden);
  post_and_pass(shell.character_window, WM_LBUTTONDBLCLK, MK_LBUTTON, platform_make_lparam(3, 3));
  EXPECT_TRUE(shell.hidden);
  EXPECT_EQ(headless_tray_icons().size(), 1u);
}

TEST_F(ShellTest, TheMenuOpensAtTheClickOnTheCharacterAndAtTheCursorFromTheTray) {
  install(test_animation("One"));
  start();
  run_until(200);
  const ShellState& shell = the_shell();
  const HeadlessWindowInfo window = headless_window_info(shell.character_window);
  headless_clear_calls();
  post_and_pass(shell.character_window, WM_RBUTTONUP, 0, platform_make_lparam(10, 20));
  std::vector<HeadlessCall> tracks = headless_calls_named("track_popup_menu");
  ASSERT_EQ(tracks.size(), 1u);
  // Flags 0: the menu's top-left corner at the click; owner: the window clicked.
  EXPECT_EQ(tracks[0].args, "menu#1, 0x0, " + std::to_string(window.x + 10) + ", " +
                                std::to_string(window.y + 20) + ", window#2");

  headless_clear_calls();
  headless_set_cursor_pos(1800, 1070);
  ASSERT_TRUE(headless_tray_event(101, WM_LBUTTONUP));
  pass();
  ASSERT_TRUE(headless_tray_event(101, WM_RBUTTONUP));
  pass();
  // Other mouse events on the icon open nothing.
  ASSERT_TRUE(headless_tray_event(101, WM_MOUSEMOVE));
  ASSERT_TRUE(headless_tray_event(101, WM_LBUTTONDOWN));
  pass();
  tracks = headless_calls_named("track_popup_menu");
  ASSERT_EQ(tracks.size(), 2u);
  // TPM_RIGHTALIGN | TPM_BOTTOMALIGN: the bottom-right corner at the cursor; owner: the owner window.
  EXPECT_EQ(tracks[0].args, "menu#1, 0x28, 1800, 1070, window#1");
  EXPECT_EQ(tracks[1].args, "menu#1, 0x28, 1800, 1070, window#1");
}

TEST_F(ShellTest, AMenuChoiceFromThePopUpReachesTheCommands) {
  install(test_animation("One"));
  install(test_animation("Two"));
  start();
  const ShellState& shell = the_shell();
  headless_queue_menu_choice(static_cast<uintptr_t>(shell.repeat_ids[1]));
  post_and_pass(shell.character_window, WM_RBUTTONUP, 0, platform_make_lparam(1, 1));
  pass();  // the choice is posted as WM_COMMAND to the character window
  EXPECT_EQ(shell.repeat_choice, 1);
  std::vector<uintptr_t> marked;
  for (const HeadlessMenuItem& item : headless_menu_items(shell.menu)) {
    if (item.checked) marked.push_back(item.id);
  }
  ASSERT_EQ(marked.size(), 2u);
  EXPECT_EQ(marked[1], static_cast<uintptr_t>(shell.repeat_ids[1]));

  // 30 seconds now.
  const uint32_t started_at = static_cast<uint32_t>(shell.start_time * 1000.0);
  EXPECT_EQ(run_until_switching(40000), started_at + 30000);
}

TEST_F(ShellTest, TheLinksOpenTheDocumentsShippedBesideTheAnimations) {
  install(test_animation("One"));
  start();
  headless_clear_calls();
  for (int i = 0; i < kLinkItems; ++i) command(the_shell().link_ids[i]);
  const std::vector<HeadlessCall> opened = headless_calls_named("shell_execute");
  ASSERT_EQ(opened.size(), 3u);
  // A file address: on Windows "file:///" before the drive letter, with forward slashes.
  std::string docs_path = (dir.path() / "docs").string() + "/";
#ifdef _WIN32
  std::replace(docs_path.begin(), docs_path.end(), '\\', '/');
  const std::string docs = "file:///" + docs_path;
#else
  const std::string docs = "file://" + docs_path;
#endif
  EXPECT_EQ(opened[0].args, "null, \"open\", \"" + docs + "user-guide.html\", \"\", \"\", 5");
  EXPECT_EQ(opened[1].args, "null, \"open\", \"" + docs + "making-animations.html\", \"\", \"\", 5");
  EXPECT_EQ(opened[2].args, "null, \"open\", \"" + docs + "licence.html\", \"\", \"\", 5");
}

TEST(LinkAddress, EncodesWhatAnAddressCannotHoldAsItIs) {
  FixedString address;
  ASSERT_TRUE(link_address("/opt/Velissa Desk", 0, address));
  EXPECT_STREQ(address.text, "file:///opt/Velissa%20Desk/docs/user-guide.html");
  ASSERT_TRUE(link_address("/home/j/50% #1?/x+y", 2, address));
  EXPECT_STREQ(address.text, "file:///home/j/50%25%20%231%3F/x%2By/docs/licence.html");
  ASSERT_TRUE(link_address("/srv/caf\xc3\xa9/", 1, address));
  EXPECT_STREQ(address.text, "file:///srv/caf%C3%A9/docs/making-animations.html");
  // A relative base and a drive letter both get the third slash.
  ASSERT_TRUE(link_address("C:", 0, address));
  EXPECT_STREQ(address.text, "file:///C:/docs/user-guide.html");

  EXPECT_FALSE(link_address("/opt", 3, address));
  EXPECT_FALSE(link_address("/opt", -1, address));
  EXPECT_STREQ(address.text, "");
  // Too long to hold, as a path or as an address once encoded: no address rather than a cut one.
  EXPECT_FALSE(link_address(std::string(1100, 'a').c_str(), 0, address));
  EXPECT_FALSE(link_address(("/" + std::string(500, ' ')).c_str(), 0, address));
  EXPECT_STREQ(address.text, "");
}

TEST_F(ShellTest, CommandsThatMatchNoItemDoNothing) {
  install(test_animation("One"));
  install(test_animation("Two"));
  start();
  const ShellState& shell = the_shell();
  headless_clear_calls();
  for (const int32_t id : {0, 1, 2, 14, 1000, -1}) command(id);
  EXPECT_FALSE(shell.hidden);
  EXPECT_FALSE(shell.switching);
  EXPECT_EQ(shell.repeat_choice, 0);
  EXPECT_TRUE(headless_calls_named("shell_execute").empty());
  EXPECT_TRUE(headless_calls_named("post_message").empty());
  // The whole wParam counts: an item's identifier in the low word alone is not that item.
  command(shell.exit_id | 0x10000);
  EXPECT_TRUE(headless_calls_named("post_message").empty());
}

TEST_F(ShellTest, ExitClosesTheOwnerWindowAndTheProgramEndsInOrder) {
  install(test_animation("One"));
  start();
  run_until(500);
  const ShellState& shell = the_shell();
  headless_queue_menu_choice(static_cast<uintptr_t>(shell.exit_id));
  headless_clear_calls();
  ASSERT_TRUE(headless_tray_event(101, WM_RBUTTONUP));
  EXPECT_TRUE(run_to_quit());
  EXPECT_EQ(loop.exit_code, 0);
  EXPECT_EQ(tear_down(), 0);
  ASSERT_EQ(shell.exit_id, 11);

  std::vector<std::string> calls;
  for (const HeadlessCall& call : headless_calls()) {
    if (call.name != "get_cursor_pos" && call.name != "update_layered_window" && call.name != "set_window_pos" &&
        call.name != "set_thread_priority" && call.name != "set_priority_class")
      calls.push_back(call.name + "(" + call.args + ")");
  }
  const std::vector<std::string> expected = {
      "dispatch_message(window#1, TRAY_CALLBACK_MESSAGE, 101, 517)",  // WM_RBUTTONUP
      "set_foreground_window(window#1)",  // so that a click elsewhere closes the tray's menu
      "track_popup_menu(menu#1, 0x28, 0, 0, window#1)",
      "post_message(window#1, WM_NULL, 0, 0)",
      "dispatch_message(window#1, WM_COMMAND, 11, 0)",
      "post_message(window#1, WM_CLOSE, 0, 0)",
      "dispatch_message(window#1, WM_NULL, 0, 0)",
      "default_window_procedure(window#1, WM_NULL, 0, 0)",
      "dispatch_message(window#1, WM_CLOSE, 0, 0)",
      "default_window_procedure(window#1, WM_CLOSE, 0, 0)",
      "post_quit_message(0)",  // the character window, destroyed with its owner
      "post_quit_message(0)",
      "dispatch_message(null, WM_QUIT, 0, 0)",
      "unregister_hot_key(window#1, 0)",
      "remove_app_bar(window#2)",
      "drag_accept_files(window#2, false)",
      "drag_accept_files(window#1, false)",
      "notify_icon(NIM_DELETE, window#1, 101, 0x7, 1037, icon#1, \"VelissaDesk\")",
      "destroy_icon(icon#1)",
      "destroy_menu(menu#1)",
      "select_object(dc#1, stock_bitmap)",
      "delete_dc(dc#1)",
      "delete_object(bitmap#1)",
      "tear_down()",
  };
  EXPECT_EQ(calls, expected);
  EXPECT_TRUE(headless_window_info(shell.owner_window).destroyed);
  EXPECT_TRUE(headless_window_info(shell.character_window).destroyed);
}
