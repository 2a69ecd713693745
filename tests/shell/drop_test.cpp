// Files dropped on the character: the count, the rebuilt menu, the first new animation starting at
// once, and a player that never keeps a package the rescan released.
#include "shell_fixture.h"
#include "support/test_archives.h"

#include <algorithm>
#include <functional>

namespace {

std::vector<uintptr_t> item_ids(MenuHandle menu) {
  std::vector<uintptr_t> ids;
  for (const HeadlessMenuItem& item : headless_menu_items(menu)) {
    if (!(item.flags & MF_SEPARATOR)) ids.push_back(item.id);
  }
  return ids;
}

std::vector<std::string> marked_captions(MenuHandle menu) {
  std::vector<std::string> captions;
  for (const HeadlessMenuItem& item : headless_menu_items(menu)) {
    if (item.checked) captions.push_back(item.caption);
  }
  return captions;
}

}  // namespace

class DropTest : public ShellTest {
 protected:
  // Files to drop live beside anim/, not in it.
  std::string outside(const std::string& name, const Bytes& bytes) {
    const std::string path = dir.file(name);
    write_bytes(path, bytes);
    return path;
  }
  void drop(const std::vector<std::string>& paths) {
    ASSERT_NE(headless_drop_files(the_shell().character_window, paths), nullptr);
    pass();
  }
  size_t warnings() {
    size_t count = 0;
    for (const HeadlessMessageBox& box : headless_message_boxes()) count += box.caption == "Warning" ? 1 : 0;
    return count;
  }
  std::vector<std::string> information_boxes() {
    std::vector<std::string> texts;
    for (const HeadlessMessageBox& box : headless_message_boxes()) {
      if (box.caption == "Velissa") {
        EXPECT_EQ(box.flags, static_cast<uint32_t>(MB_ICONINFORMATION));
        texts.push_back(box.text);
      }
    }
    return texts;
  }
};

TEST_F(DropTest, ThreeFilesReportTheirCountAndTheSecondFilesAnimationStarts) {
  install(test_animation("Old one"));
  install(test_animation("Old two"));
  const std::string not_a_package = outside("notes.dat", str("just some text"));
  const std::string second = outside("second.dat", package_bytes(test_animation("Second")));
  const std::string pair = outside("pair.kar", test_archive({{"third.dat", package_bytes(test_animation("Third"))},
                                                             {"fourth.dat", package_bytes(test_animation("Fourth"))}}));
  start();
  run_until(3000);
  EXPECT_GT(the_player().frame_cache.count, 0);
  drop({not_a_package, second, pair});

  EXPECT_EQ(information_boxes(), (std::vector<std::string>{"3 New Animations Installed."}));
  EXPECT_EQ(warnings(), 1u);  // the file that is no package
  EXPECT_STREQ(the_shell().installed_name, "Second");
  EXPECT_EQ(row_count(the_catalogue()), 5);
  EXPECT_EQ(the_shell().install_match, row_named("Second"));
  EXPECT_EQ(current_name(), "Second");  // at once, without a fade-out of the old one
  EXPECT_FALSE(the_shell().switching);
  EXPECT_EQ(the_player().fade_direction, 1);
  EXPECT_EQ(the_player().package, the_catalogue().rows[row_named("Second")].package);
  EXPECT_TRUE(std::filesystem::exists(anim_directory() / "fourth.dat"));

  // It plays on from the new catalogue, and its cache holds pictures of the new package only: none of
  // a released one, whose memory a new package may since occupy.
  const size_t shown = presents();
  run_until(platform_time_ms() + 1000);
  EXPECT_GT(presents(), shown);
  const FrameCache& cache = the_player().frame_cache;
  EXPECT_GT(cache.count, 0);
  for (int32_t i = 0; i < cache.count; ++i) EXPECT_EQ(cache.entries[i].key.package, the_player().package);
}

TEST_F(DropTest, TheRebuiltMenuGoesOnCountingAndKeepsTheRepeatMark) {
  install(test_animation("One"));
  install(test_animation("Two"));
  const std::string third = outside("third.dat", package_bytes(test_animation("Three")));
  start();
  command(the_shell().repeat_ids[2]);
  run_until(2000);
  drop({third});

  const ShellState& shell = the_shell();
  EXPECT_EQ(item_ids(shell.menu), (std::vector<uintptr_t>{14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25}));
  ASSERT_EQ(shell.menu_ids.count, 3);
  EXPECT_EQ(shell.repeat_ids[0], 17);
  EXPECT_EQ(shell.link_ids[0], 21);
  EXPECT_EQ(shell.exit_id, 24);
  EXPECT_EQ(shell.hide_show_id, 25);
  // The repeat mark stays on the choice; the animation mark is on the new animation, which started.
  EXPECT_EQ(marked_captions(shell.menu), (std::vector<std::string>{"Three", "Repeat 50 sec"}));

  // The old identifiers are gone.
  headless_clear_calls();
  command(12);
  EXPECT_EQ(loop.quit, false);
  EXPECT_TRUE(headless_calls_named("post_message").empty());
}

TEST_F(DropTest, ADropThatInstallsNothingChangesNothing) {
  install(test_animation("One"));
  install(test_animation("Two"));
  const std::string bad = outside("bad.dat", str("not a package"));
  start();
  run_until(1000);
  const PackFile* package = the_player().package;
  const int32_t playing = the_shell().current_index;
  headless_clear_calls();
  drop({bad});
  EXPECT_EQ(warnings(), 1u);
  EXPECT_TRUE(information_boxes().empty());
  EXPECT_TRUE(headless_calls_named("find_first_file").empty());  // no rescan
  EXPECT_EQ(the_player().package, package);
  EXPECT_EQ(the_shell().current_index, playing);
  EXPECT_EQ(the_shell().install_match, -1);
  EXPECT_EQ(headless_calls_named("drag_finish").size(), 1u);
}

// An installed file that the scan passes over ("unins..." names) leaves no row to start; the rescan has
// still released every package, the one on screen included.
TEST_F(DropTest, WhenTheRescanListsNoNewAnimationThePlayerStartsAgainFromTheNewCatalogue) {
  install(test_animation("One"));
  install(test_animation("Two"));
  const std::string hidden_by_scan = outside("uninstaller.dat", package_bytes(test_animation("Never listed")));
  start();
  run_until(2000);
  drop({hidden_by_scan});
  EXPECT_EQ(information_boxes(), (std::vector<std::string>{"1 New Animations Installed."}));
  EXPECT_EQ(the_shell().install_match, -1);
  EXPECT_EQ(row_count(the_catalogue()), 2);
  const ShellState& shell = the_shell();
  ASSERT_GE(shell.current_index, 0);
  ASSERT_LT(shell.current_index, 2);
  EXPECT_TRUE(shell.started);
  EXPECT_EQ(the_player().package, the_catalogue().rows[shell.current_index].package);
  // AddressSanitizer stops the test if the player still reads a released package.
  const size_t shown = presents();
  run_until(platform_time_ms() + 12000);
  EXPECT_GT(presents(), shown + 50);
}

TEST_F(DropTest, ANameLongerThanItsBufferIsCutAndMatchesNoRow) {
  install(test_animation("One"));
  const std::string long_name(300, 'n');
  const std::string package = outside("long.dat", package_bytes(test_animation(long_name)));
  start();
  run_until(1000);
  drop({package});
  EXPECT_EQ(std::string(the_shell().installed_name), long_name.substr(0, 259));
  EXPECT_EQ(the_shell().install_match, -1);
  ASSERT_EQ(row_count(the_catalogue()), 2);
  EXPECT_EQ(the_player().package, the_catalogue().rows[the_shell().current_index].package);
  run_until(platform_time_ms() + 2000);
}

TEST_F(DropTest, ADropDuringAFadeOutStartsTheNewAnimationAtOnce) {
  install(test_animation("One"));
  install(test_animation("Two"));
  const std::string third = outside("third.dat", package_bytes(test_animation("Three")));
  start();
  run_until(1000);
  command(the_shell().menu_ids.data[1 - the_shell().current_index]);
  ASSERT_TRUE(the_shell().switching);
  drop({third});
  EXPECT_FALSE(the_shell().switching);
  EXPECT_EQ(current_name(), "Three");
  run_until(platform_time_ms() + 1500);
  EXPECT_EQ(current_name(), "Three");
}

// Paths are taken up to the platform's own limit; one longer than that is told, not passed over.
TEST_F(DropTest, PathsAreTakenUpToThePlatformsLimitAndOneBeyondItCannotBeCopied) {
#ifdef _WIN32
  // Paths past 260 bytes cannot be made or opened by the Windows file calls the tests use; the order
  // of the checks on such a path under Windows is still to be settled.
  GTEST_SKIP() << "paths past 260 bytes";
#endif
  install(test_animation("One"));
  std::filesystem::path deep = dir.path();
  for (int i = 0; i < 3; ++i) deep /= std::string(100, 'd');  // past 260, within the platform's limit
  std::filesystem::create_directories(deep);
  const std::string deepest = (deep / "far.dat").string();
  write_bytes(deepest, package_bytes(test_animation("Far")));
  const std::string too_long = dir.path().string() + "/" + std::string(PLATFORM_MAX_PATH, 'p') + "/beyond.dat";
  start();
  drop({deepest, too_long});
  EXPECT_EQ(headless_message_boxes().size(), 2u);
  EXPECT_EQ(warnings(), 1u);
  EXPECT_EQ(headless_message_boxes()[0].text, "Animation file \"beyond.dat\" cannot be copied !\n");
  EXPECT_EQ(information_boxes(), (std::vector<std::string>{"1 New Animations Installed."}));
  EXPECT_EQ(current_name(), "Far");
  EXPECT_EQ(headless_calls_named("drag_finish").size(), 1u);
}

// An archive that stops half way: its warning, then the count of what it did install, which plays.
TEST_F(DropTest, AnArchiveThatStopsHalfWayReportsWhatItInstalled) {
  install(test_animation("One"));
  Bytes cut = test_archive({{"a.dat", package_bytes(test_animation("A"))}, {"b.dat", package_bytes(test_animation("B"))}});
  cut = cut + le32(5) + str("c.dat");  // a third member that ends after its name
  cut[11] = 3;
  const std::string archive = outside("cut.kar", cut);
  start();
  drop({archive});
  ASSERT_EQ(headless_message_boxes().size(), 2u);
  EXPECT_EQ(headless_message_boxes()[0].text, "Corrupted archive file: \"" + archive + "\" !");
  EXPECT_EQ(information_boxes(), (std::vector<std::string>{"2 New Animations Installed."}));
  EXPECT_EQ(row_count(the_catalogue()), 3);
  EXPECT_EQ(current_name(), "A");
}

class NestedDropTest : public DropTest {
 protected:
  void TearDown() override {
    headless_set_modal_hook(nullptr);
    DropTest::TearDown();
  }
  // Runs action once, inside the first message box with this caption that opens from now on.
  void inside_box(const std::string& caption, std::function<void()> action) {
    headless_set_modal_hook([caption, action](const char* kind) {
      if (std::string(kind) != "message_box" || headless_message_boxes().back().caption != caption) return;
      headless_set_modal_hook(nullptr);
      action();
    });
  }
  std::vector<std::string> row_names() {
    std::vector<std::string> names;
    for (int32_t i = 0; i < row_count(the_catalogue()); ++i) names.push_back(the_catalogue().rows[i].name.text);
    std::sort(names.begin(), names.end());
    return names;
  }
};

// A drop inside another drop's boxes waits until the first has finished (both its unpacking and its
// rescan), then is handled in turn: nothing lost, nothing listed twice.
TEST_F(NestedDropTest, ADropInsideAnotherDropsBoxWaitsItsTurn) {
  install(test_animation("One"));
  write_bytes((anim_directory() / "newer.dat").string(), test_package("Newer", 2));  // a warning at every scan
  const std::string first = outside("first.kar", test_archive({{"bad.dat", str("no package")},
                                                               {"x.dat", package_bytes(test_animation("X"))},
                                                               {"y.dat", package_bytes(test_animation("Y"))}}));
  const std::string second = outside("second.dat", package_bytes(test_animation("Second")));
  const std::string third = outside("third.dat", package_bytes(test_animation("Third")));
  start();
  const WindowHandle character = the_shell().character_window;
  // Inside the first member's warning, then inside the rescan's warning about newer.dat.
  inside_box("Warning", [&] {
    headless_drop_files(character, {second});
    inside_box("Warning", [&] {
      if (headless_message_boxes().back().text.find("newer.dat") != std::string::npos)
        headless_drop_files(character, {third});
    });
  });
  drop({first});
  EXPECT_EQ(information_boxes(), (std::vector<std::string>{"2 New Animations Installed.", "1 New Animations Installed.",
                                                           "1 New Animations Installed."}));
  EXPECT_EQ(row_names(), (std::vector<std::string>{"One", "Second", "Third", "X", "Y"}));
  EXPECT_EQ(the_shell().menu_ids.count, 5);
  EXPECT_EQ(current_name(), "Third");
  EXPECT_EQ(headless_live_objects().drops, 0);
}

// Exit chosen inside the count box ends the drop there: nothing more touches the destroyed windows.
TEST_F(NestedDropTest, ExitInsideADropsBoxEndsTheDropWithoutTheWindows) {
  install(test_animation("One"));
  const std::string first = outside("first.dat", package_bytes(test_animation("First")));
  start();
  run_until(500);
  inside_box("Velissa", [&] { headless_post_message(the_shell().owner_window, WM_COMMAND, the_shell().exit_id, 0); });
  headless_clear_calls();
  drop({first});
  const std::vector<HeadlessCall>& calls = headless_calls();
  const auto quit = std::find_if(calls.begin(), calls.end(), [](const HeadlessCall& c) { return c.name == "post_quit_message"; });
  ASSERT_NE(quit, calls.end());
  for (auto call = quit; call != calls.end(); ++call) EXPECT_EQ(call->args.find("window#"), std::string::npos) << headless_call_text(*call);
  EXPECT_TRUE(run_to_quit());
}

// The hot key inside the count box hides the character, and it stays hidden with the new animation.
TEST_F(NestedDropTest, AHideInsideADropsBoxStaysHidden) {
  install(test_animation("One"));
  const std::string first = outside("first.dat", package_bytes(test_animation("First")));
  start();
  run_until(500);
  inside_box("Velissa", [] { headless_press_hot_key(MOD_CONTROL, VK_F1); });
  drop({first});
  run_until(platform_time_ms() + 500);
  EXPECT_TRUE(the_shell().hidden);
  EXPECT_FALSE(headless_window_info(the_shell().character_window).visible);
  EXPECT_TRUE(headless_tray_icons().empty());
  EXPECT_EQ(current_name(), "First");
}

TEST_F(DropTest, FilesDroppedOnTheOwnerWindowAreInstalledToo) {
  const std::string first = outside("first.dat", package_bytes(test_animation("First")));
  start();  // nothing installed: the notice, and an empty player
  ASSERT_NE(headless_drop_files(the_shell().owner_window, {first}), nullptr);
  pass();
  EXPECT_EQ(current_name(), "First");
  EXPECT_EQ(frame_count(the_player()), 3);
  run_until(platform_time_ms() + 500);
  EXPECT_GT(presents(), 0u);
}
