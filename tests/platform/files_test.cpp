// The file services through platform.h alone, so that the same cases run on every backend: the headless
// backend on Linux (std::filesystem) and on Windows, and the win32 backend (the Win32 calls): search
// order and case rule, copy that never overwrites, directories, the read-only attribute, path
// separators, current directory and file titles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

std::string read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

class PlatformFiles : public ::testing::Test {
 protected:
  // A path below the scratch directory, joined with the platform's separator.
  std::string at(const std::string& name) const {
    char path[MAX_PATH];
    EXPECT_TRUE(platform_join_path(path, sizeof path, root.string().c_str(), name.c_str()));
    return path;
  }

  // Every name a search yields, in its order, and whether it ended and closed cleanly.
  std::vector<std::string> search(const std::string& pattern) {
    std::vector<std::string> names;
    PlatformFindData data;
    FindHandle find = platform_find_first_file(pattern.c_str(), &data);
    if (find == nullptr) return names;
    do names.push_back(data.name);
    while (platform_find_next_file(find, &data));
    EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(platform_find_close(find));
    return names;
  }

  TempDir dir;
  const fs::path root = dir.path();
};

TEST_F(PlatformFiles, SearchYieldsDirectoryOrderNotSorted) {
  for (const char* name : {"m.dat", "b.dat", "z.dat", "a.dat", "q.dat", "c.dat"})
    write_file(root / name, name);
  std::vector<std::string> in_directory_order;
  for (const auto& entry : fs::directory_iterator(root))
    in_directory_order.push_back(entry.path().filename().string());

  const std::vector<std::string> found = search(at("*.dat"));
  EXPECT_EQ(found, in_directory_order);  // whatever the file system's order is, the search keeps it
  std::vector<std::string> sorted = found;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<std::string>{"a.dat", "b.dat", "c.dat", "m.dat", "q.dat", "z.dat"}));
}

TEST_F(PlatformFiles, SearchMatchesExtensionsWithoutRegardToCase) {
  // Windows gives "x.data" and "long name.datx" short names ending in ".DAT", which FindFirstFileA
  // matches too: only long names count.
  for (const char* name :
       {"a.dat", "UPPER.DAT", "Mixed.Dat", "a.dat.bak", "adat", "x.kar", "noext", "x.data", "long name.datx"})
    write_file(root / name, "");
  fs::create_directory(root / "sub.dat");

  std::vector<std::string> found = search(at("*.dat"));
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{"Mixed.Dat", "UPPER.DAT", "a.dat", "sub.dat"}));
  EXPECT_EQ(search(at("*.*")).size(), 10u);  // every name, also without a dot; no "." or ".."

  PlatformFindData data;
  FindHandle find = platform_find_first_file(at("sub.dat").c_str(), &data);
  ASSERT_NE(find, nullptr);
  EXPECT_EQ(data.attributes & FILE_ATTRIBUTE_DIRECTORY, static_cast<uint32_t>(FILE_ATTRIBUTE_DIRECTORY));
  platform_find_close(find);

  EXPECT_EQ(platform_find_first_file(at("*.zip").c_str(), &data), nullptr);
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(platform_find_first_file(at("missing/*.dat").c_str(), &data), nullptr);
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_PATH_NOT_FOUND));
}

#ifndef _WIN32
// Windows marks links itself; making one there needs a privilege that tests do not have.
TEST_F(PlatformFiles, SearchMarksLinksAsReparsePoints) {
  fs::create_directory(root / "target");
  write_file(root / "plain", "");
  fs::create_directory_symlink(root / "target", root / "to-dir");
  fs::create_symlink(root / "plain", root / "to-file");
  fs::create_symlink(root / "absent", root / "dangling");

  auto attributes_of = [&](const char* name) {
    PlatformFindData data;
    FindHandle find = platform_find_first_file(at(name).c_str(), &data);
    EXPECT_NE(find, nullptr) << name;
    if (find == nullptr) return INVALID_FILE_ATTRIBUTES;
    platform_find_close(find);
    return data.attributes;
  };
  EXPECT_EQ(attributes_of("target"), static_cast<uint32_t>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(attributes_of("plain"), static_cast<uint32_t>(FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(attributes_of("to-dir"),
            static_cast<uint32_t>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
  EXPECT_EQ(attributes_of("to-file"), static_cast<uint32_t>(FILE_ATTRIBUTE_REPARSE_POINT));
  EXPECT_EQ(attributes_of("dangling"), static_cast<uint32_t>(FILE_ATTRIBUTE_REPARSE_POINT));
}
#endif  // not _WIN32

TEST_F(PlatformFiles, CopyNeverOverwrites) {
  write_file(root / "new.dat", "new content");
  write_file(root / "kept.dat", "user's file");

  EXPECT_TRUE(platform_copy_file(at("new.dat").c_str(), at("copy.dat").c_str()));
  EXPECT_EQ(read_all(root / "copy.dat"), "new content");

  EXPECT_FALSE(platform_copy_file(at("new.dat").c_str(), at("kept.dat").c_str()));
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_FILE_EXISTS));
  EXPECT_EQ(read_all(root / "kept.dat"), "user's file");

  EXPECT_FALSE(platform_copy_file(at("absent.dat").c_str(), at("other.dat").c_str()));
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(platform_copy_file(at("new.dat").c_str(), at("no/such/dir.dat").c_str()));
  EXPECT_FALSE(fs::exists(root / "other.dat"));

  // A read-only destination is not replaced either.
  ASSERT_TRUE(platform_set_file_attributes(at("kept.dat").c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(platform_copy_file(at("new.dat").c_str(), at("kept.dat").c_str()));
  EXPECT_EQ(read_all(root / "kept.dat"), "user's file");
  platform_set_file_attributes(at("kept.dat").c_str(), 0);  // Windows deletes no read-only file
}

TEST_F(PlatformFiles, DirectoriesAreCreatedAndRemovedAsOnWindows) {
  EXPECT_TRUE(platform_create_directory(at("tmp").c_str()));
  EXPECT_FALSE(platform_create_directory(at("tmp").c_str()));
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_ALREADY_EXISTS));
  write_file(root / "file", "");
  EXPECT_FALSE(platform_create_directory(at("file").c_str()));
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(platform_create_directory(at("missing/tmp").c_str()));
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_PATH_NOT_FOUND));

  write_file(root / "tmp" / "member.dat", "x");
  EXPECT_FALSE(platform_remove_directory(at("tmp").c_str()));
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_DIR_NOT_EMPTY));
  EXPECT_FALSE(platform_remove_directory(at("file").c_str()));
  EXPECT_FALSE(platform_delete_file(at("tmp").c_str()));
  EXPECT_TRUE(fs::exists(root / "file"));

  EXPECT_TRUE(platform_delete_file(at("tmp/member.dat").c_str()));
  EXPECT_TRUE(platform_remove_directory(at("tmp").c_str()));
  EXPECT_FALSE(fs::exists(root / "tmp"));
}

TEST_F(PlatformFiles, ReadOnlyAttributeGuardsDeletion) {
  const std::string locked = at("locked.dat");
  write_file(locked, "keep");
  const uint32_t plain = platform_get_file_attributes(locked.c_str());
  ASSERT_NE(plain, INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(plain & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY), 0u);

  // FILE_ATTRIBUTE_NORMAL stands only for "none of the others".
  const uint32_t others = plain & ~FILE_ATTRIBUTE_NORMAL;
  ASSERT_TRUE(platform_set_file_attributes(locked.c_str(), others | FILE_ATTRIBUTE_READONLY));
  const uint32_t read_only = platform_get_file_attributes(locked.c_str());
  EXPECT_EQ(read_only, others | FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(platform_delete_file(locked.c_str()));
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(read_all(locked), "keep");

  // The search reports the attribute too, as the program's delete_tree reads it.
  PlatformFindData data;
  FindHandle find = platform_find_first_file(at("locked.*").c_str(), &data);
  ASSERT_NE(find, nullptr);
  EXPECT_EQ(data.attributes & FILE_ATTRIBUTE_READONLY, static_cast<uint32_t>(FILE_ATTRIBUTE_READONLY));
  platform_find_close(find);

  // Clearing keeps the other attributes as they were, as delete_tree does.
  ASSERT_TRUE(platform_set_file_attributes(locked.c_str(), read_only & ~FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(platform_get_file_attributes(locked.c_str()), plain);
  EXPECT_TRUE(platform_delete_file(locked.c_str()));

  fs::create_directory(root / "dir");
  EXPECT_EQ(platform_get_file_attributes(at("dir").c_str()) & FILE_ATTRIBUTE_DIRECTORY,
            static_cast<uint32_t>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(platform_get_file_attributes(at("absent").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
}

TEST_F(PlatformFiles, JoinedPathsReachTheFiles) {
  // The program's "base\anim\title" built with the platform's separator.
  const std::string anim = at("anim");
  ASSERT_TRUE(platform_create_directory(anim.c_str()));
  char pattern[MAX_PATH];
  char copy[MAX_PATH];
  ASSERT_TRUE(platform_join_path(pattern, sizeof pattern, anim.c_str(), "*.dat"));
  ASSERT_TRUE(platform_join_path(copy, sizeof copy, anim.c_str(), "a.dat"));
  write_file(root / "a.dat", "package");
  ASSERT_TRUE(platform_copy_file(at("a.dat").c_str(), copy));
  EXPECT_EQ(read_all(root / "anim" / "a.dat"), "package");
  EXPECT_EQ(search(pattern), std::vector<std::string>{"a.dat"});

  // A directory given with its separator takes no second one.
  char with_separator[MAX_PATH];
  char again[MAX_PATH];
  ASSERT_TRUE(platform_join_path(with_separator, sizeof with_separator, anim.c_str(), ""));
  ASSERT_TRUE(platform_join_path(again, sizeof again, with_separator, "a.dat"));
  EXPECT_STREQ(again, copy);

#ifdef _WIN32
  // Windows takes either separator and any letter case for the same file.
  const std::string other = root.string() + "/ANIM/A.DAT";
  EXPECT_FALSE(platform_copy_file(at("a.dat").c_str(), other.c_str()));
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_FILE_EXISTS));
  EXPECT_NE(platform_get_file_attributes(other.c_str()), INVALID_FILE_ATTRIBUTES);
#else
  // On Linux a backslash is part of a name, and letter case tells names apart.
  EXPECT_EQ(platform_get_file_attributes((root.string() + "\\anim\\a.dat").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(platform_copy_file(at("a.dat").c_str(), at("anim/A.DAT").c_str()));
#endif
}

TEST_F(PlatformFiles, CurrentDirectory) {
  const fs::path before = fs::current_path();
  ASSERT_TRUE(platform_set_current_directory(root.string().c_str()));
  char buffer[1024];
  const uint32_t length = platform_get_current_directory(buffer, sizeof buffer);
  EXPECT_EQ(length, strlen(buffer));
  EXPECT_TRUE(fs::equivalent(fs::path(buffer), root));

  // Names without a directory are taken from the current one, as the program's "*.dat" search.
  write_file(root / "here.dat", "");
  EXPECT_EQ(search("*.dat"), std::vector<std::string>{"here.dat"});

  char small[4] = "abc";
  EXPECT_EQ(platform_get_current_directory(small, sizeof small), length + 1);  // the size needed
  EXPECT_STREQ(small, "abc");
  EXPECT_FALSE(platform_set_current_directory(at("absent").c_str()));
  EXPECT_FALSE(platform_set_current_directory(""));
  fs::current_path(before);
}

// Explorer's "hide extensions" never shortens a title: "x.kar" stays "x.kar" ("" for no title).
TEST_F(PlatformFiles, FileTitleIsTheLastPartOfThePath) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"pack.kar", "pack.kar"}, {"/home/j/cat.dat", "cat.dat"}, {"dir/two.dots.kar", "two.dots.kar"},
      {"folder/", ""},          {"", ""},
#ifdef _WIN32
      {"C:\\Users\\j\\x.kar", "x.kar"}, {"C:\\mixed/sep\\cat.DAT", "cat.DAT"}, {"D:name.dat", "name.dat"},
      {"C:\\folder\\", ""},
#else
      {"back\\slash.kar", "back\\slash.kar"},  // a Linux name may hold a backslash
#endif
  };
  for (const auto& [path, expected] : cases) {
    char title[260] = "";
    EXPECT_EQ(platform_get_file_title(path.c_str(), title, sizeof title) == 0, !expected.empty()) << path;
    if (!expected.empty()) {
      EXPECT_EQ(title, expected) << path;
    }
  }
  char tiny[4];  // too small: the size needed with the terminator
  EXPECT_EQ(platform_get_file_title(at("Name.Dat").c_str(), tiny, sizeof tiny), 9);
}

}  // namespace
