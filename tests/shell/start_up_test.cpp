// Start-up and tear-down: their order of platform calls, the random seeding, the first animation, the
// menu, the early failure, and what a user with no animation sees.
#include <algorithm>
#include <set>

#include "shell_fixture.h"
#include "support/test_archives.h"

namespace {

// The 32-bit Windows runtime's rand, written out again as the reference the program must agree with.
struct ReferenceRand {
  uint32_t state = 1;
  void seed(uint32_t value) { state = value; }
  int32_t next() {
    state = state * 214013u + 2531011u;
    return static_cast<int32_t>((state >> 16) & 0x7FFF);
  }
};

// The calls of start-up and tear-down proper, as "name(args) -> result", leaving out what the scan,
// the loading and presenting of frames and the drawing surface do.
std::vector<std::string> shell_calls() {
  static const std::set<std::string> kShellCalls = {
      "read_install_path", "set_current_directory", "get_work_area",     "get_current_directory",
      "register_class",    "create_window_ex",      "show_window",       "calendar_time",
      "create_popup_menu", "load_icon",             "notify_icon",       "bring_window_to_top",
      "drag_accept_files", "register_hot_key",      "set_priority_class", "set_thread_priority",
      "unregister_hot_key", "destroy_icon",         "destroy_menu",      "message_box",
      "start_up",          "tear_down",        "claim_install_path", "register_app_bar",
      "remove_app_bar"};
  std::vector<std::string> calls;
  for (const HeadlessCall& call : headless_calls()) {
    if (kShellCalls.count(call.name) != 0) calls.push_back(headless_call_text(call));
  }
  return calls;
}

size_t index_of(const std::string& name) {
  const std::vector<HeadlessCall>& calls = headless_calls();
  for (size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].name == name) return i;
  }
  return calls.size();
}

}  // namespace

TEST_F(ShellTest, StartUpAndTearDownMakeTheirCallsInOrder) {
  install(test_animation("Only"));
  headless_set_calendar_time(1000);
  start();
  const std::string base = dir.path().string();
  const std::vector<std::string> expected = {
      "start_up()",
      "read_install_path(520) -> true \"" + base + "\"",
      "set_current_directory(\"" + base + "\") -> true",
      "get_work_area() -> true (0, 0, 1920, 1040)",
      "get_current_directory(260) -> " + std::to_string(base.size()),
      "set_current_directory(\"anim\") -> true",
      "register_class(null, \"VelissaDeskClass\", 0x8) -> true",
      "create_window_ex(0x0, \"VelissaDeskClass\", \"VelissaDesk\", 0x80000000, -2147483648, -2147483648, "
      "544, 375, null, null) -> window#1",
      "show_window(window#1, 0) -> false",
      "claim_install_path(\"" + base + "\", window#1) -> true",
      "create_window_ex(0x80088, \"VelissaDeskClass\", \"VelissaDesk\", 0x80000000, -2147483648, "
      "-2147483648, 544, 375, window#1, null) -> window#2",
      "register_app_bar(window#2, APP_BAR_CALLBACK_MESSAGE) -> true",
      "calendar_time() -> 1000",
      "calendar_time() -> 1000",  // this time's first draw is seeded once more
      "create_popup_menu() -> menu#1",
      "load_icon(null, 101, 16, 16) -> icon#1",
      "notify_icon(NIM_ADD, window#1, 101, 0x7, 1037, icon#1, \"VelissaDesk\") -> true",
      "set_thread_priority(2) -> true",  // the first frame's present
      "set_priority_class(0x80) -> true",
      "bring_window_to_top(window#2) -> true",
      "show_window(window#2, 5) -> false",
      "drag_accept_files(window#2, true)",
      "drag_accept_files(window#1, true)",
      "register_hot_key(window#1, 0, 0x4002, 0x70) -> true",  // MOD_CONTROL | MOD_NOREPEAT, VK_F1
      "set_priority_class(0x80) -> true",  // not the real-time class
      "set_thread_priority(2) -> true",
  };
  EXPECT_EQ(shell_calls(), expected);
  // The scan comes after the seeding, the menu after the scan; start-up slept 2 ms.
  EXPECT_LT(index_of("calendar_time"), index_of("find_first_file"));
  EXPECT_LT(index_of("find_first_file"), index_of("create_popup_menu"));
  EXPECT_EQ(headless_counters().slept_ms, 2u);
  EXPECT_EQ(headless_window_info(the_shell().character_window).owner, the_shell().owner_window);
  EXPECT_EQ(the_player().window, the_shell().character_window);
  EXPECT_STREQ(the_shell().base_directory, base.c_str());

  headless_clear_calls();
  EXPECT_EQ(tear_down(), 0);
  const std::vector<std::string> torn_down = {
      "unregister_hot_key(window#1, 0) -> true",
      "remove_app_bar(window#2) -> true",
      "drag_accept_files(window#2, false)",
      "drag_accept_files(window#1, false)",
      "notify_icon(NIM_DELETE, window#1, 101, 0x7, 1037, icon#1, \"VelissaDesk\") -> true",
      "destroy_icon(icon#1) -> true",
      "destroy_menu(menu#1) -> true",
      "tear_down()",
  };
  EXPECT_EQ(shell_calls(), torn_down);
  // The player's surface goes after the menu.
  EXPECT_GT(index_of("delete_dc"), index_of("destroy_menu"));
  EXPECT_EQ(frame_count(the_player()), 0);
}

TEST_F(ShellTest, WithoutTheWindowClassStartUpGoesStraightToReleasing) {
  install(test_animation("Only"));
  platform_register_class(nullptr, "VelissaDeskClass", CS_DBLCLKS, window_procedure);  // taken already
  headless_clear_calls();
  EXPECT_EQ(shell_main(nullptr), 1);
  EXPECT_TRUE(headless_calls_named("create_window_ex").empty());
  EXPECT_TRUE(headless_calls_named("find_first_file").empty());
  EXPECT_TRUE(headless_calls_named("unregister_hot_key").empty());
  EXPECT_TRUE(headless_calls_named("notify_icon").empty());
  EXPECT_EQ(headless_counters().sleeps, 0u);  // no loop
}

// The running copy shows its hidden character when a later start hands over; that later start ends
// at once with 0, having shown nothing, and the running copy's owner window gets the request.
TEST_F(ShellTest, ASecondStartHandsOverToTheRunningCopy) {
  install(test_animation("Only"));
  start();
  hide_character();
  ASSERT_FALSE(platform_claim_install_path(the_shell().base_directory, nullptr));  // a later start
  pass();
  EXPECT_FALSE(the_shell().hidden);
  EXPECT_EQ(headless_tray_icons().size(), 1u);
  EXPECT_TRUE(headless_window_info(the_shell().character_window).visible);

  reset_program();
  platform_register_class(nullptr, "RunningCopy", 0, window_procedure);
  const WindowHandle running = platform_create_window_ex(0, "RunningCopy", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr);
  ASSERT_TRUE(platform_claim_install_path(dir.path().string().c_str(), running));
  headless_clear_calls();
  EXPECT_EQ(shell_main(nullptr), 0);
  EXPECT_EQ(headless_calls_named("create_window_ex").size(), 1u);  // its owner window, never shown
  EXPECT_TRUE(headless_calls_named("notify_icon").empty());
  EXPECT_TRUE(headless_calls_named("find_first_file").empty());
  const std::vector<PlatformMessage> queued = headless_queued_messages();
  ASSERT_EQ(queued.size(), 1u);
  EXPECT_EQ(queued[0].window, running);
  EXPECT_EQ(queued[0].message, platform_show_request_message());
}

// "--toggle" from a later start hides the running copy's character and shows it again, as Ctrl+F1
// does; the later start ends with 0.
TEST_F(ShellTest, ALaterToggleStartHidesAndShowsTheRunningCopysCharacter) {
  install(test_animation("Only"));
  start();
  for (bool hidden : {true, false}) {
    ASSERT_FALSE(platform_claim_install_path(the_shell().base_directory, nullptr, HAND_OVER_TOGGLE));
    pass();
    EXPECT_EQ(the_shell().hidden, hidden);
    EXPECT_EQ(headless_window_info(the_shell().character_window).visible, !hidden);
  }
  // Windows broadcasts the request to the character window as well: that copy must not toggle back.
  window_procedure(the_shell().character_window, platform_toggle_request_message(), 0, 0);
  EXPECT_FALSE(the_shell().hidden);
  struct Case {
    const char* command_line;
    bool toggle;
  } cases[] = {{"--toggle", true}, {"  --toggle  ", true}, {"-x\t--toggle", true}, {"", false},
               {"--toggled", false}, {"-toggle", false}, {"x--toggle", false}};
  for (const Case& c : cases) EXPECT_EQ(command_line_asks_toggle(c.command_line), c.toggle) << c.command_line;
}

// Where the session gives keys to no program, the notice names the command to bind instead, and the
// tray icon stays while the character is hidden.
TEST_F(ShellTest, WithoutHotKeysTheNoticeNamesTheToggleCommandAndTheTrayIconStays) {
  install(test_animation("Only"));
  headless_set_hot_keys_unsupported(true);
  start();
  ASSERT_EQ(headless_message_boxes().size(), 1u);
  EXPECT_EQ(headless_message_boxes()[0].caption, "Warning");
  EXPECT_NE(headless_message_boxes()[0].text.find("\"velissadesk --toggle\""), std::string::npos);
  hide_character();
  EXPECT_EQ(headless_tray_icons().size(), 1u);
}

// A configured install path that names no folder is reported with where it was set, and the folder
// used instead.
TEST_F(ShellTest, APassedOverInstallPathIsReported) {
  install(test_animation("Only"));
  headless_set_passed_over_install_path("/home/u/velisa", "/home/u/.config/VelissaDesk/path");
  start();
  ASSERT_EQ(headless_message_boxes().size(), 1u);
  const HeadlessMessageBox& box = headless_message_boxes()[0];
  EXPECT_EQ(box.caption, "Warning");
  EXPECT_EQ(box.flags, MB_ICONWARNING);
  for (const std::string& part : {std::string("/home/u/velisa"), std::string("/home/u/.config/VelissaDesk/path"),
                                  dir.path().string()})
    EXPECT_NE(box.text.find(part), std::string::npos) << part;
}

TEST_F(ShellTest, WithoutAnInstallPathTheCurrentDirectoryIsTheBase) {
  install(test_animation("Only"));
  headless_set_install_path(nullptr);
  std::filesystem::current_path(dir.path());
  start();
  EXPECT_STREQ(the_shell().install_path, "");
  EXPECT_STREQ(the_shell().base_directory, dir.path().string().c_str());
  EXPECT_EQ(row_count(the_catalogue()), 1);
}

// An install path that does not fit the base directory stops the start, with a message that names it,
// rather than installing into an empty base.
TEST_F(ShellTest, AnInstallPathTooLongForTheBaseDirectoryIsRefusedAtStartUp) {
#ifdef _WIN32
  // Paths past 260 bytes cannot be made or opened by the Windows file calls the tests use; the order
  // of the checks on such a path under Windows is still to be settled.
  GTEST_SKIP() << "paths past 260 bytes";
#endif
  std::filesystem::path deep = dir.path();
  for (int i = 0; i < 3; ++i) deep /= std::string(90, 'd');
  std::filesystem::create_directories(deep / "anim");
  headless_set_install_path(deep.string().c_str());
  EXPECT_FALSE(shell_start_up(nullptr));
  ASSERT_EQ(headless_message_boxes().size(), 1u);
  EXPECT_EQ(headless_message_boxes()[0].text, "The install path \"" + deep.string() +
                                                  "\" is too long: VelissaDesk needs a folder whose full path has at "
                                                  "most 259 characters.\n");
  EXPECT_TRUE(headless_calls_named("create_window_ex").empty());
  shell_tear_down(false, 0);
}

// Over many calendar times: the seeding agrees with the reference, re-seeds as often as it should, and
// the first animation is never row 0 while every other row comes.
TEST_F(ShellTest, SeedingAndTheFirstDrawFollowTheRuntimesNumbers) {
  for (int i = 0; i < 3; ++i) install(test_animation("Animation " + std::to_string(i)));
  int32_t most_reseeds = 0;
  std::set<int32_t> first_rows;
  for (int64_t time = 1700000000; time < 1700000040; ++time) {
    ReferenceRand reference;
    reference.seed(static_cast<uint32_t>(time));
    reference.next();
    reference.next();
    int32_t reseeds = 0;
    int32_t draw = reference.next();
    while (draw * 10 / 32767 > reseeds) {
      reference.seed(static_cast<uint32_t>(time));
      ++reseeds;
      draw = reference.next();
    }
    int32_t row = 0;
    do {
      row = std::min(static_cast<int32_t>(reference.next() / 32767.0 * 3), 2);
    } while (row == 0);

    reset_program();
    headless_set_calendar_time(time);
    start();
    EXPECT_EQ(headless_calls_named("calendar_time").size(), static_cast<size_t>(reseeds + 1)) << time;
    EXPECT_EQ(the_shell().current_index, row) << time;
    first_rows.insert(the_shell().current_index);
    most_reseeds = std::max(most_reseeds, reseeds);
  }
  EXPECT_GE(most_reseeds, 2);
  EXPECT_EQ(first_rows, (std::set<int32_t>{1, 2}));
}

TEST_F(ShellTest, TheFirstMenuNumbersItsItemsFromThree) {
  install(test_animation("First"));
  install(test_animation("Second"));
  start();
  const ShellState& shell = the_shell();
  std::vector<std::string> captions;
  std::vector<uintptr_t> ids;
  for (const HeadlessMenuItem& item : headless_menu_items(shell.menu)) {
    captions.push_back(item.flags & MF_SEPARATOR ? "-" : item.caption);
    if (!(item.flags & MF_SEPARATOR)) ids.push_back(item.id);
  }
  const std::string first = the_catalogue().rows[0].name.text;
  const std::string second = the_catalogue().rows[1].name.text;
  EXPECT_EQ(captions, (std::vector<std::string>{first, second, "-", "Repeat 10 sec", "Repeat 30 sec",
                                                "Repeat 50 sec", "Repeat Infinitely", "-", "User Guide",
                                                "Making Animations", "Licence", "-", "Exit",
                                                "Quick Hide/Show (ctrl-F1)"}));
  EXPECT_EQ(ids, (std::vector<uintptr_t>{3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
  ASSERT_EQ(shell.menu_ids.count, 2);
  EXPECT_EQ(shell.menu_ids.data[0], 3);
  EXPECT_EQ(shell.menu_ids.data[1], 4);
  EXPECT_EQ(shell.repeat_ids[0], 5);
  EXPECT_EQ(shell.link_ids[2], 11);
  EXPECT_EQ(shell.exit_id, 12);
  EXPECT_EQ(shell.hide_show_id, 13);
  EXPECT_EQ(shell.next_menu_id, 13);

  // The marks: "Repeat 10 sec", and the animation playing (row 1, as the first draw never takes row 0).
  std::vector<uintptr_t> marked;
  for (const HeadlessMenuItem& item : headless_menu_items(shell.menu)) {
    if (item.checked) marked.push_back(item.id);
  }
  EXPECT_EQ(marked, (std::vector<uintptr_t>{4, 5}));
  EXPECT_TRUE(headless_message_boxes().empty());
}

TEST_F(ShellTest, WithNoAnimationTheUserIsToldWhereTheyGoAndTheTrayStays) {
  start();
  const ShellState& shell = the_shell();
  const std::vector<HeadlessMenuItem> items = headless_menu_items(shell.menu);
  ASSERT_FALSE(items.empty());
  EXPECT_EQ(items[0].flags, MF_SEPARATOR);  // the menu begins with the separator
  EXPECT_EQ(items.size(), 12u);
  EXPECT_EQ(shell.menu_ids.count, 0);
  EXPECT_EQ(shell.exit_id, 10);

  ASSERT_EQ(headless_message_boxes().size(), 1u);
  const HeadlessMessageBox& notice = headless_message_boxes()[0];
  EXPECT_EQ(notice.caption, "Velissa");
  EXPECT_EQ(notice.flags, static_cast<uint32_t>(MB_ICONINFORMATION));
  EXPECT_NE(notice.text.find("\n" + anim_directory().string() + "\n"), std::string::npos) << notice.text;
  EXPECT_NE(notice.text.find(".dat"), std::string::npos);
  EXPECT_NE(notice.text.find(".kar"), std::string::npos);
  EXPECT_EQ(headless_calls_named("message_box")[0].args.find("null"), 0u);  // no owner window

  // Row 0 has no package: the player stays empty, nothing is drawn, and the program runs on.
  EXPECT_TRUE(shell.started);
  run_until(3000);
  EXPECT_EQ(frame_count(the_player()), 0);
  EXPECT_EQ(presents(), 0u);
  EXPECT_EQ(headless_tray_icons().size(), 1u);

  // The menu still works: Exit ends the program.
  headless_queue_menu_choice(static_cast<uintptr_t>(shell.exit_id));
  headless_tray_event(101, WM_RBUTTONUP);
  EXPECT_TRUE(run_to_quit());
  EXPECT_EQ(tear_down(), 0);
}

TEST_F(ShellTest, ThePlaceOfAnimationsInTheNoticeIsTheBaseDirectorysAnimFolder) {
  FixedString text;
  empty_catalogue_notice("/opt/Velissa Desk", text);
  EXPECT_NE(std::string(text.text).find("\n/opt/Velissa Desk" PLATFORM_PATH_SEPARATOR_TEXT "anim\n"), std::string::npos);
  // A base directory too long for a path still gives a notice.
  const std::string long_base(1500, 'x');
  empty_catalogue_notice(long_base.c_str(), text);
  EXPECT_NE(std::string(text.text).find("\nanim\n"), std::string::npos);
}

TEST_F(ShellTest, AHundredAndOnePackagesKeepEveryIndexInRange) {
  for (int i = 0; i < 101; ++i) {
    write_bytes((anim_directory() / ("a" + std::to_string(i) + ".dat")).string(),
                test_package("Animation " + std::to_string(i)));
  }
  start();
  EXPECT_EQ(row_count(the_catalogue()), kCatalogueRows);
  EXPECT_EQ(the_shell().menu_ids.count, kCatalogueRows);
  EXPECT_EQ(headless_message_boxes().size(), 1u);  // the one about the package left out
  for (int i = 0; i < 1000; ++i) {
    choose_next_animation();
    ASSERT_GE(the_shell().next_index, 0);
    ASSERT_LT(the_shell().next_index, kCatalogueRows);
  }
  // The last item of the menu plays the last row.
  command(the_shell().menu_ids.data[kCatalogueRows - 1]);
  EXPECT_EQ(the_shell().next_index, kCatalogueRows - 1);
}
