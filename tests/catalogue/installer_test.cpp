// Installing dropped packages and archives into a real base directory: what is copied, what is refused
// with which message, what happens to the temporary directory, and that hostile archives write nothing
// outside the animation and temporary directories. Also delete_tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/installer.h"
#include "platform/headless/headless.h"
#include "support/bytes.h"
#include "support/temp_dir.h"
#include "support/test_archives.h"

#include "support/fifo_watch.h"

namespace fs = std::filesystem;

namespace {

std::string corrupt_file(const std::string& title) {
  return "Animation file \"" + title + "\" is Corrupted or requires a Newer version of Velissa Player!\n";
}
std::string corrupted_archive(const std::string& path) { return "Corrupted archive file: \"" + path + "\" !"; }

ArchiveMember member(const std::string& name, const Bytes& content) { return ArchiveMember{name, content}; }

class Installer : public ::testing::Test {
 protected:
  void SetUp() override {
    headless_reset();
    fs::create_directories(base / "anim");
    fs::create_directories(dir.path() / "drops");
  }
  void TearDown() override {
    std::error_code ec;  // let TempDir remove what a test made read-only
    for (const auto& entry : fs::recursive_directory_iterator(dir.path(), ec))
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }

  std::string drop(const std::string& file, const Bytes& bytes) {
    const std::string path = (dir.path() / "drops" / file).string();
    write_bytes(path, bytes);
    return path;
  }
  int32_t install(const std::string& path) { return install_file(context, path.c_str(), name); }

  std::set<std::string> anim_files() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(base / "anim")) names.insert(entry.path().filename().string());
    return names;
  }
  // Every file outside drops/ and anim/: nothing may ever be left there.
  std::vector<std::string> stray_files() const {
    std::vector<std::string> stray;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
      const fs::path parent = entry.path().parent_path();
      if (!entry.is_directory() && parent != dir.path() / "drops" && parent != base / "anim")
        stray.push_back(entry.path().string());
    }
    return stray;
  }
  bool temp_exists() const { return fs::exists(base / "tmp"); }

  TempDir dir;
  fs::path base = dir.path() / "base";
  std::string base_text = base.string();
  InstallContext context{base_text.c_str(), nullptr};
  char name[kInstallNameSize] = "";
};

TEST(ArchiveWriter, LaysOutTagCountAndMembers) {
  const Bytes content(44, 0xC3);
  Bytes archive;
  ASSERT_TRUE(encode_archive({member("a.dat", content)}, archive));
  EXPECT_EQ(archive, le32(7) + str("kar.1.0") + le32(1) + le32(5) + str("a.dat") + le32(44) + content);
  EXPECT_EQ(archive.size(), 72u);

  TempDir dir;
  ASSERT_TRUE(write_archive({member("a.dat", content)}, dir.file("a.kar").c_str()));
  EXPECT_EQ(read_bytes(dir.file("a.kar")), archive);
  EXPECT_FALSE(write_archive({}, dir.file("missing/a.kar").c_str()));
}

TEST_F(Installer, CopiesAPackageUnderItsTitle) {
  const Bytes package = test_package("Walker", 1, "-120,-300");
  EXPECT_EQ(install(drop("walk.dat", package)), 1);
  EXPECT_STREQ(name, "Walker");
  EXPECT_EQ(read_bytes((base / "anim" / "walk.dat").string()), package);
  EXPECT_EQ(headless_calls_named("set_foreground_window").size(), 1u);

  // Only ".kar" in lower case makes an archive: this is a package under an unusual title.
  EXPECT_EQ(install(drop("pack.KAR", test_package("Upper"))), 1);
  EXPECT_EQ(anim_files(), (std::set<std::string>{"pack.KAR", "walk.dat"}));
  EXPECT_TRUE(warning_texts().empty());
}

TEST_F(Installer, NeverOverwritesAFileOfTheAnimationDirectory) {
  write_bytes((base / "anim" / "walk.dat").string(), str("the user's own file"));
  EXPECT_EQ(install(drop("walk.dat", test_package("Walker"))), 0);
  EXPECT_EQ(warning_texts(), std::vector<std::string>{"Animation file \"walk.dat\" cannot be copied !\n"});
  EXPECT_EQ(read_text((base / "anim" / "walk.dat").string()), "the user's own file");
}

TEST_F(Installer, RefusesWhatIsNotAGoodVersionOnePackage) {
  PackBuilder no_entry_zero;
  add_entry(no_entry_zero, 1, "description", 11);
  Bytes without_entry_zero;
  encode_package(no_entry_zero, "pck01", without_entry_zero);
  const struct {
    const char* title;
    Bytes bytes;
    std::string message;
  } cases[] = {
      {"a.b", test_package("Short title"), corrupt_file("a.b")},
      {"abcd", str("not a package"), corrupt_file("abcd")},
      {"none.dat", without_entry_zero, corrupt_file("none.dat")},
      {"x.dat", package_with_entry(catalogue_text("x.1.", "Letter", "0,0")), corrupt_file("x.dat")},
      {"nooffsets.dat", package_with_entry("c.1.\nsecond\nName\n"), corrupt_file("nooffsets.dat")},
      {"half.dat", test_package("Half", 1, "-120"), corrupt_file("half.dat")},
      {"new.dat", test_package("Newer", 2),
       "Animation \"Newer\" from file \"new.dat\" needs a higher version of Velissa Player.\n"},
      {"zero.dat", test_package("Zero", 0), "Animation \"Zero\" from file \"zero.dat\" is corrupted.\n"},
      {"archive.KAR", test_archive({member("a.dat", test_package("A"))}), corrupt_file("archive.KAR")},
  };
  for (const auto& c : cases) {
    headless_reset();
    EXPECT_EQ(install(drop(c.title, c.bytes)), 0) << c.title;
    EXPECT_EQ(warning_texts(), std::vector<std::string>{c.message}) << c.title;
  }
  EXPECT_TRUE(anim_files().empty());
}

TEST_F(Installer, CutsLongNamesAndRefusesDestinationsThatDoNotFit) {
  const std::string long_name(400, 'N');
  EXPECT_EQ(install(drop("long.dat", test_package(long_name))), 1);
  EXPECT_EQ(std::string(name), long_name.substr(0, kInstallNameSize - 1));

#ifdef _WIN32
  // Paths past 260 bytes cannot be made or opened by the Windows file calls the tests use; the order
  // of the checks on such a path under Windows is still to be settled.
  GTEST_SKIP() << "paths past 260 bytes";
#endif
  const std::string long_title = std::string(250, 't') + ".dat";  // base + "/anim/" + this passes 271
  ASSERT_GT(base_text.size() + 6 + long_title.size(), static_cast<size_t>(kInstallPathSize - 1));
  EXPECT_EQ(install(drop(long_title, test_package("Far"))), 0);
  EXPECT_EQ(warning_texts(), std::vector<std::string>{"Animation file \"" + long_title + "\" cannot be copied !\n"});
  EXPECT_EQ(anim_files(), std::set<std::string>{"long.dat"});
}

TEST_F(Installer, ArchiveInstallsEveryGoodMemberAndNamesTheFirst) {
  const std::string path = drop("three.kar", test_archive({member("a.dat", test_package("A")),
                                                           member("b.dat", test_package("B", 2)),
                                                           member("c.dat", test_package("C"))}));
  EXPECT_EQ(install(path), 2);
  EXPECT_STREQ(name, "A");
  EXPECT_EQ(warning_texts(),
            std::vector<std::string>{"Animation \"B\" from file \"b.dat\" needs a higher version of Velissa Player.\n"});
  EXPECT_EQ(anim_files(), (std::set<std::string>{"a.dat", "c.dat"}));
  EXPECT_FALSE(temp_exists());
}

// A tmp folder the user made keeps all it holds: every unpacking works in a folder of its own inside it
// and removes only that; an archive kept there is read, not deleted first.
TEST_F(Installer, TheUsersOwnTmpFolderIsNeverEmptied) {
  fs::create_directories(base / "tmp" / "mine" / "deeper");
  write_bytes((base / "tmp" / "mine" / "deeper" / "old.dat").string(), str("the user's"));
  fs::permissions(base / "tmp" / "mine" / "deeper" / "old.dat", fs::perms::owner_read, fs::perm_options::replace);
  const std::string kept = (base / "tmp" / "kept.kar").string();
  write_bytes(kept, test_archive({member("a.dat", test_package("A"))}));
  const std::set<std::string> users = {"kept.kar", "mine"};
  auto tmp_names = [&] {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(base / "tmp")) names.insert(entry.path().filename().string());
    return names;
  };

  const struct {
    const char* title;
    Bytes bytes;
    const char* message;
  } cases[] = {
      {"later.kar", str("") + le32(7) + str("kar.2.0") + le32(1), "Unknown Version of archive file: \"%s\" !"},
      {"negative.kar", le32(-7) + str("kar.1.0") + le32(1), "Unknown Version of archive file: \"%s\" !"},
      {"empty.kar", test_archive({}), "Empty or corrupted archive file: \"%s\" !"},
      {"minus.kar", le32(7) + str("kar.1.0") + le32(-3), "Empty or corrupted archive file: \"%s\" !"},
      {"nocount.kar", le32(7) + str("kar.1.0") + Bytes{1, 0}, "Empty or corrupted archive file: \"%s\" !"},
  };
  for (const auto& c : cases) {
    headless_reset();
    const std::string path = drop(c.title, c.bytes);
    EXPECT_EQ(install(path), 0) << c.title;
    char expected[1024];
    snprintf(expected, sizeof expected, c.message, path.c_str());
    EXPECT_EQ(warning_texts(), std::vector<std::string>{expected}) << c.title;
    EXPECT_EQ(tmp_names(), users) << c.title;
  }
  headless_reset();
  const std::string missing = (dir.path() / "drops" / "missing.kar").string();
  EXPECT_EQ(install(missing), 0);
  EXPECT_EQ(warning_texts(), std::vector<std::string>{corrupted_archive(missing)});

  EXPECT_EQ(install(kept), 1);
  EXPECT_EQ(anim_files(), std::set<std::string>{"a.dat"});
  EXPECT_EQ(tmp_names(), users);
  EXPECT_EQ(read_text((base / "tmp" / "mine" / "deeper" / "old.dat").string()), "the user's");
}

// What a killed install leaves is recognised by its maker's process id: removed at start-up once that
// process has ended, kept while it runs; nothing else in anim/ or tmp/ is touched.
TEST_F(Installer, LeftoversOfEndedInstallsAreRemovedAtStartUp) {
  const std::string ended = "2147483000";  // above every process id the systems hand out
  fs::create_directories(base / "tmp" / ("~velissa-unpack-" + ended + "-3") / "sub");
  write_bytes((base / "tmp" / ("~velissa-unpack-" + ended + "-3") / "sub" / "m.dat").string(), str("half"));
  write_bytes((base / "anim" / ("~velissa-copy-" + ended + "-1.tmp")).string(), str("half"));
  const std::vector<std::string> kept_names = {"~velissa-copy-x-1.tmp", "~velissa-copy-" + ended + "-1.dat",
                                               "walk.dat", "~velissa-copy-" + ended + "-.tmp"};
  for (const std::string& kept : kept_names) write_bytes((base / "anim" / kept).string(), str("keep"));
  write_bytes((base / "tmp" / "notes.txt").string(), str("keep"));
#ifndef _WIN32
  const std::string running = std::to_string(getppid());
  fs::create_directories(base / "tmp" / ("~velissa-unpack-" + running + "-1"));
  write_bytes((base / "anim" / ("~velissa-copy-" + running + "-2.tmp")).string(), str("in progress"));
#endif

  remove_install_leftovers(base_text.c_str());
  std::set<std::string> expected(kept_names.begin(), kept_names.end());
#ifndef _WIN32
  expected.insert("~velissa-copy-" + running + "-2.tmp");
  EXPECT_TRUE(fs::exists(base / "tmp" / ("~velissa-unpack-" + running + "-1")));
#endif
  EXPECT_EQ(anim_files(), expected);
  EXPECT_FALSE(fs::exists(base / "tmp" / ("~velissa-unpack-" + ended + "-3")));
  EXPECT_EQ(read_text((base / "tmp" / "notes.txt").string()), "keep");
}

// The installer's test is the player's: a package it could not show is refused as damaged.
TEST_F(Installer, PackagesThePlayerCouldNotShowAreRefusedAsDamaged) {
  TestAnimation animation;
  animation.name = "Shown";
  animation.canvas_width = animation.canvas_height = 8;
  animation.frames.resize(2);
  for (TestFrame& frame : animation.frames) frame.width = frame.height = 8;
  Bytes whole;
  encode_package(::test_package(animation), "pck01", whole);
  PackBuilder no_alpha = ::test_package(animation);
  no_alpha.ids.back() = 77;  // the last frame's alpha image is missing
  Bytes without_alpha;
  encode_package(no_alpha, "pck01z", without_alpha);
  animation.frames[1].width = 9;  // wider than the canvas
  Bytes too_wide;
  encode_package(::test_package(animation), "pck01", too_wide);
  // Cut after the description: the frames' images are gone.
  const Bytes cut(whole.begin(), whole.begin() + static_cast<long>(whole.size() - 1200));

  const std::string path = drop("four.kar", test_archive({member("a.dat", whole), member("b.dat", without_alpha),
                                                          member("c.dat", too_wide), member("d.dat", cut)}));
  EXPECT_EQ(install(path), 1);
  EXPECT_EQ(warning_texts(), (std::vector<std::string>{corrupt_file("b.dat"), corrupt_file("c.dat"), corrupt_file("d.dat")}));
  EXPECT_EQ(anim_files(), std::set<std::string>{"a.dat"});
}

#ifndef _WIN32
// A FIFO is no file to read (see FifoWatch): a dropped one is refused without being opened.
TEST_F(Installer, OnlyRegularFilesAreOpened) {
  for (const std::string title : {"fifo.dat", "fifo.kar"}) {
    headless_reset();
    const std::string path = (dir.path() / "drops" / title).string();
    FifoWatch fifo(path);
    ASSERT_TRUE(fifo.made);
    EXPECT_EQ(install(path), 0) << title;
    EXPECT_FALSE(fifo.reader_waited) << title;
    EXPECT_EQ(warning_texts(), std::vector<std::string>{title == "fifo.dat" ? corrupt_file(title) : corrupted_archive(path)});
  }
  EXPECT_TRUE(anim_files().empty());
}
#endif

TEST_F(Installer, ArchiveCutShortStopsAndKeepsWhatWasInstalled) {
  Bytes archive = test_archive(
      {member("a.dat", test_package("A")), member("b.dat", test_package("B")), member("c.dat", test_package("C"))});
  const size_t third = archive.size() - (4 + 5 + 4 + test_package("C").size());
  archive.resize(third);  // declares three members, ends after two
  const std::string path = drop("cut.kar", archive);
  EXPECT_EQ(install(path), 2);
  EXPECT_EQ(warning_texts(), std::vector<std::string>{corrupted_archive(path)});
  EXPECT_EQ(anim_files(), (std::set<std::string>{"a.dat", "b.dat"}));
  EXPECT_FALSE(temp_exists());
}

TEST_F(Installer, MembersAreCopiedExactlyWhateverTheirSize) {
  std::vector<ArchiveMember> members;
  for (size_t size : {size_t{16383}, size_t{16384}, size_t{16385}, size_t{40000}})
    members.push_back(member("m" + std::to_string(size) + ".dat", test_package_of_size("M", size)));
  members.push_back(member("walk.bin", test_package("Not a dat")));
  EXPECT_EQ(install(drop("sizes.kar", test_archive(members))), 5);
  for (const ArchiveMember& m : members)
    EXPECT_EQ(read_bytes((base / "anim" / m.name).string()), m.content) << m.name;

  // The scan lists package files only: the member without ".dat" stays out of the catalogue.
  const fs::path previous = fs::current_path();
  fs::current_path(base / "anim");
  auto catalogue = std::make_unique<Catalogue>();
  IntArray menu_ids;
  int32_t install_match = -1;
  scan_catalogue(*catalogue, menu_ids, "", install_match);
  fs::current_path(previous);
  EXPECT_EQ(row_count(*catalogue), 4);
  EXPECT_EQ(find_row(*catalogue, "Not a dat"), -1);
}

TEST_F(Installer, HostileMemberNamesStopTheArchiveAndWriteNothingOutside) {
  const std::string names[] = {"",         "../evil.dat", "../../evil.dat", "sub/evil.dat", "..\\evil.dat",
                               "C:evil.dat", dir.file("evil.dat"), ".",   "..",           std::string("ev\0il.dat", 9),
                               "CON",      "nul.dat",     "com1.dat",       std::string(1023, 'n'),
                               "COM\xB9",  "lpt\xB2.dat", "Com\xB3 .x",     "CONIN$",       "conout$.txt"};
  for (const std::string& hostile : names) {
    headless_reset();
    fs::remove_all(base / "anim");
    fs::create_directory(base / "anim");
    const std::string path = drop("hostile.kar", test_archive({member("good.dat", test_package("Good")),
                                                               member(hostile, test_package("Evil")),
                                                               member("after.dat", test_package("After"))}));
    EXPECT_EQ(install(path), 1) << hostile;
    EXPECT_EQ(warning_texts(), std::vector<std::string>{corrupted_archive(path)}) << hostile;
    EXPECT_EQ(anim_files(), std::set<std::string>{"good.dat"}) << hostile;
    EXPECT_EQ(stray_files(), std::vector<std::string>{}) << hostile;
  }
}

TEST_F(Installer, HostileLengthsAndSizesAreRefusedWithoutReadingPastTheArchive) {
  const Bytes head = le32(7) + str("kar.1.0") + le32(1);
  const Bytes package = test_package("Whole");
  const Bytes archives[] = {
      head + le32(-1) + str("a.dat"),
      head + le32(0x7FFFFFFF) + str("a.dat"),
      head + le32(5) + str("a.dat") + le32(-1) + package,
      head + le32(5) + str("a.dat"),                             // no size
      head + le32(5) + str("a.dat") + le32(0x7FFFFFFF) + package,  // far more than there is
      head + le32(5) + str("a.dat") + le32(static_cast<int32_t>(package.size()) + 1) + package,
  };
  for (const Bytes& archive : archives) {
    headless_reset();
    const std::string path = drop("sizes.kar", archive);
    EXPECT_EQ(install(path), 0);
    EXPECT_EQ(warning_texts(), std::vector<std::string>{corrupted_archive(path)});
    EXPECT_TRUE(anim_files().empty());
    EXPECT_FALSE(temp_exists());
  }
}

TEST_F(Installer, NestedArchivesUnpackBesideTheOuterOne) {
  const Bytes inner = test_archive({member("b.dat", test_package("B")), member("c.dat", test_package("C"))});
  const std::string path = drop("outer.kar", test_archive({member("a.dat", test_package("A")), member("inner.kar", inner),
                                                           member("d.dat", test_package("D"))}));
  EXPECT_EQ(install(path), 4);
  EXPECT_STREQ(name, "A");
  EXPECT_EQ(anim_files(), (std::set<std::string>{"a.dat", "b.dat", "c.dat", "d.dat"}));
  EXPECT_TRUE(warning_texts().empty());
  EXPECT_FALSE(temp_exists());

  // One level more than allowed: the deepest archive is refused, everything above it installs.
  Bytes archive = test_archive({member("deepest.dat", test_package("Deepest"))});
  for (int level = kMaxArchiveDepth; level >= 0; --level)
    archive = test_archive({member("level" + std::to_string(level) + ".dat", test_package("L")),
                            member("nested" + std::to_string(level) + ".kar", archive)});
  headless_reset();
  EXPECT_EQ(install(drop("deep.kar", archive)), kMaxArchiveDepth + 1);
  ASSERT_EQ(warning_texts().size(), 1u);
  EXPECT_NE(warning_texts()[0].find("nested" + std::to_string(kMaxArchiveDepth) + ".kar\" lies too deep"), std::string::npos);
  EXPECT_FALSE(temp_exists());
}

TEST_F(Installer, TemporaryPlaceThatIsNotADirectoryIsRefused) {
  const std::string path = drop("one.kar", test_archive({member("a.dat", test_package("A"))}));
  write_bytes((base / "tmp").string(), str("a file named tmp"));
  EXPECT_EQ(install(path), 0);
  EXPECT_EQ(warning_texts(),
            std::vector<std::string>{"Cannot access temporary directory \"" + (base / "tmp").string() + "\" !"});
  EXPECT_EQ(read_text((base / "tmp").string()), "a file named tmp");

  const std::string missing_base = (dir.path() / "missing").string();
  InstallContext nowhere{missing_base.c_str(), nullptr};
  headless_reset();
  EXPECT_EQ(install_file(nowhere, path.c_str(), name), 0);
  EXPECT_EQ(warning_texts(), std::vector<std::string>{"Cannot access temporary directory \"" +
                                                 (dir.path() / "missing" / "tmp").string() + "\" !"});
}

TEST_F(Installer, DeleteTreeRemovesReadOnlyFilesAndNestedDirectories) {
  const fs::path tree = dir.path() / "tree";
  fs::create_directories(tree / "a" / "b" / "c");
  write_bytes((tree / "top.dat").string(), str("x"));
  write_bytes((tree / "a" / "b" / "c" / "locked.dat").string(), str("x"));
  fs::permissions(tree / "a" / "b" / "c" / "locked.dat", fs::perms::owner_read, fs::perm_options::replace);
  fs::permissions(tree / "a" / "b", fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::replace);

  delete_tree((tree.string() + "/").c_str(), false);
  EXPECT_TRUE(fs::is_directory(tree));
  EXPECT_TRUE(fs::is_empty(tree));
  delete_tree((tree.string() + "/").c_str(), true);
  EXPECT_FALSE(fs::exists(tree));
}

#ifndef _WIN32
// Links: making one on Windows needs a privilege that tests do not have.
TEST_F(Installer, TemporaryDirectoryThatIsNotOursIsNeverEmptied) {
  const std::string path = drop("one.kar", test_archive({member("a.dat", test_package("A"))}));
  fs::create_directory(dir.path() / "precious");
  write_bytes((dir.path() / "precious" / "a.dat").string(), str("keep me"));
  fs::create_directory_symlink(dir.path() / "precious", base / "tmp");
  EXPECT_EQ(install(path), 0);
  EXPECT_EQ(warning_texts(), std::vector<std::string>{"Cannot access temporary directory \"" + (base / "tmp").string() + "\" !"});
  EXPECT_EQ(read_text((dir.path() / "precious" / "a.dat").string()), "keep me");
}

TEST_F(Installer, DeleteTreeRemovesLinksButNotTheirTargets) {
  const fs::path tree = dir.path() / "tree";
  fs::create_directories(tree / "a");
  fs::create_directory(dir.path() / "outside");
  write_bytes((dir.path() / "outside" / "kept.dat").string(), str("kept"));
  fs::create_directory_symlink(dir.path() / "outside", tree / "to-dir");
  fs::create_symlink(dir.path() / "outside" / "kept.dat", tree / "a" / "to-file");
  fs::create_symlink(dir.path() / "absent", tree / "dangling");

  delete_tree((tree.string() + "/").c_str(), true);
  EXPECT_FALSE(fs::exists(tree));
  EXPECT_EQ(read_text((dir.path() / "outside" / "kept.dat").string()), "kept");

  fs::create_directory_symlink(dir.path() / "outside", dir.path() / "link");
  delete_tree((dir.path() / "link").string().append("/").c_str(), true);  // a link is not a tree to empty
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link"));
  EXPECT_TRUE(fs::exists(dir.path() / "outside" / "kept.dat"));
}
#endif  // not _WIN32

}  // namespace
