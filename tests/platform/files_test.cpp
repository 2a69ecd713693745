// File services as the headless (and gtk) backend gives them: search order and case rule, copy that
// never overwrites, directories, the read-only attribute, current directory, file titles, install path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "shell/platform/headless/headless.h"
#include "shell/platform/portable/portable_files.h"

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
  void SetUp() override {
    headless_reset();
    char name[] = "/tmp/velissa-platform-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    root = name;
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
    for (const auto& entry : fs::recursive_directory_iterator(root, ec))
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root, ec);
  }
  std::string at(const std::string& name) const { return (root / name).string(); }

  // Every name a search yields, in its order, and whether it closed cleanly.
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

  fs::path root;
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
  EXPECT_EQ(headless_live_objects().searches, 0);
}

TEST_F(PlatformFiles, SearchMatchesExtensionsWithoutRegardToCase) {
  for (const char* name : {"a.dat", "UPPER.DAT", "Mixed.Dat", "a.dat.bak", "adat", "x.kar", "noext"})
    write_file(root / name, "");
  fs::create_directory(root / "sub.dat");

  std::vector<std::string> found = search(at("*.dat"));
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{"Mixed.Dat", "UPPER.DAT", "a.dat", "sub.dat"}));
  EXPECT_EQ(search(at("*.*")).size(), 8u);  // every name, also without a dot; no "." or ".."

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
  EXPECT_EQ(attributes_of("to-dir"), static_cast<uint32_t>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
  EXPECT_EQ(attributes_of("to-file"), static_cast<uint32_t>(FILE_ATTRIBUTE_REPARSE_POINT));
  EXPECT_EQ(attributes_of("dangling"), static_cast<uint32_t>(FILE_ATTRIBUTE_REPARSE_POINT));
}

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
  write_file(root / "locked.dat", "keep");
  EXPECT_EQ(platform_get_file_attributes(at("locked.dat").c_str()),
            static_cast<uint32_t>(FILE_ATTRIBUTE_NORMAL));

  ASSERT_TRUE(platform_set_file_attributes(at("locked.dat").c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(platform_get_file_attributes(at("locked.dat").c_str()),
            static_cast<uint32_t>(FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(platform_delete_file(at("locked.dat").c_str()));
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(read_all(root / "locked.dat"), "keep");

  // Clearing keeps the other attributes as they were, as the program's delete_tree does.
  const uint32_t attributes = platform_get_file_attributes(at("locked.dat").c_str());
  ASSERT_TRUE(platform_set_file_attributes(at("locked.dat").c_str(), attributes & ~FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(platform_get_file_attributes(at("locked.dat").c_str()),
            static_cast<uint32_t>(FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(platform_delete_file(at("locked.dat").c_str()));

  fs::create_directory(root / "dir");
  EXPECT_EQ(platform_get_file_attributes(at("dir").c_str()), static_cast<uint32_t>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(platform_get_file_attributes(at("absent").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(platform_get_last_error(), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
}

TEST_F(PlatformFiles, CurrentDirectoryAndFileTitle) {
  const fs::path before = fs::current_path();
  ASSERT_TRUE(platform_set_current_directory(root.c_str()));
  char buffer[1024];
  const uint32_t length = platform_get_current_directory(buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer), fs::canonical(root).string());
  EXPECT_EQ(length, strlen(buffer));

  char small[4] = "abc";
  EXPECT_EQ(platform_get_current_directory(small, sizeof small), length + 1);  // the size needed
  EXPECT_STREQ(small, "abc");
  EXPECT_FALSE(platform_set_current_directory(at("absent").c_str()));
  EXPECT_FALSE(platform_set_current_directory(""));
  fs::current_path(before);

  char title[260];
  EXPECT_EQ(platform_get_file_title("/drop/here/Name.Dat", title, sizeof title), 0);
  EXPECT_STREQ(title, "Name.Dat");  // the extension stays on Linux
  EXPECT_EQ(platform_get_file_title("pack.kar", title, sizeof title), 0);
  EXPECT_STREQ(title, "pack.kar");
  EXPECT_LT(platform_get_file_title("/drop/here/", title, sizeof title), 0);
  EXPECT_LT(platform_get_file_title("", title, sizeof title), 0);
  char tiny[4];
  EXPECT_EQ(platform_get_file_title("/x/long.dat", tiny, sizeof tiny), 9);
}

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

TEST_F(PlatformFiles, InstallPathFromEnvironmentThenConfigFile) {
  ScopedEnvironment environment;
  environment.set("VELISSADESK_PATH", nullptr);
  environment.set("XDG_CONFIG_HOME", root.c_str());
  environment.set("HOME", at("home").c_str());
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

}  // namespace
