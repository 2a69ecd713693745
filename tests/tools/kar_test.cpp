// velissa-pack kar create / list / extract: archives the installer takes, and hostile ones refused
// before anything is written.
#include <filesystem>

#include "catalogue/installer.h"
#include "platform/headless/headless.h"
#include "support/bytes.h"
#include "support/test_archives.h"
#include "tool_test_support.h"

namespace fs = std::filesystem;

namespace {

// Every file below the directory, by path relative to it.
std::vector<std::string> files_below(const fs::path& directory) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(directory))
    files.push_back(fs::relative(entry.path(), directory).string());
  std::sort(files.begin(), files.end());
  return files;
}

std::string write_archive_file(const TempDir& dir, const std::string& name, const Bytes& bytes) {
  const std::string path = dir.file(name);
  write_bytes(path, bytes);
  return path;
}

}  // namespace

TEST(Kar, CreateListExtractAndInstall) {
  TempDir dir;
  const std::string slime = create_package(dir, "slime.dat", moving_discs(), {"--name", "Slime", "--loop"});
  const std::string ghost = create_package(dir, "Ghost.dat", {moving_discs()[2]}, {"--name", "Ghost", "--crop"});
  const std::string kar = dir.file("both.kar");
  ToolRun run = run_pack({"kar", "create", kar, slime, ghost});
  ASSERT_EQ(run.status, 0) << run.err;

  const size_t slime_size = read_bytes(slime).size(), ghost_size = read_bytes(ghost).size();
  run = run_pack({"kar", "list", kar});
  EXPECT_EQ(run.status, 0);
  char expected[128];
  std::snprintf(expected, sizeof expected, "%11zu  slime.dat\n%11zu  Ghost.dat\n", slime_size, ghost_size);
  EXPECT_EQ(run.out, expected);

  run = run_pack({"inspect", kar, "--json"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "{\"kind\": \"archive\", \"tag\": \"kar.1.0\", \"member_count\": 2, \"members\": [{\"name\": "
                     "\"slime.dat\", \"size\": " + std::to_string(slime_size) +
                         "}, {\"name\": \"Ghost.dat\", \"size\": " + std::to_string(ghost_size) +
                         "}], \"problem\": null}\n");
  EXPECT_EQ(run_pack({"verify", kar}).status, 0);

  const fs::path out = dir.path() / "out" / "deeper";
  ASSERT_EQ(run_pack({"kar", "extract", kar, out.string()}).status, 0);
  EXPECT_EQ(files_below(out), (std::vector<std::string>{"Ghost.dat", "slime.dat"}));
  EXPECT_EQ(read_bytes((out / "slime.dat").string()), read_bytes(slime));
  EXPECT_EQ(read_bytes((out / "Ghost.dat").string()), read_bytes(ghost));

  // The program's installer takes the archive as it is.
  headless_reset();
  fs::create_directories(dir.path() / "base" / "anim");
  const std::string base = (dir.path() / "base").string();
  InstallContext context;
  context.base_directory = base.c_str();
  char name[kInstallNameSize] = "";
  EXPECT_EQ(install_file(context, kar.c_str(), name), 2);
  EXPECT_STREQ(name, "Slime");
  EXPECT_TRUE(headless_message_boxes().empty());
}

TEST(Kar, CreateTakesOnlyWhatTheInstallerTakes) {
  TempDir dir;
  const std::string good = create_package(dir, "good.dat", moving_discs(), {"--name", "Good"});
  fs::create_directories(dir.path() / "other");
  const std::string same_name = (dir.path() / "other" / "GOOD.dat").string();
  fs::copy_file(good, same_name);
  const std::string not_dat = dir.file("good.bin");
  fs::copy_file(good, not_dat);
  const std::string newer = dir.file("newer.dat");
  write_bytes(newer, test_package("Newer", 2));
  const std::string junk = dir.file("junk.dat");
  write_bytes(junk, str("junk"));
  const std::string kar = dir.file("out.kar");
  for (const std::string& second : {same_name, not_dat, newer, junk, dir.file("missing.dat")}) {
    const ToolRun run = run_pack({"kar", "create", kar, good, second});
    EXPECT_EQ(run.status, 1) << second;
    EXPECT_EQ(count_lines(run.err), 1u) << run.err;
  }
  EXPECT_FALSE(fs::exists(kar));

  write_bytes(kar, str("old"));
  EXPECT_EQ(run_pack({"kar", "create", kar, good}).status, 1);
  EXPECT_EQ(read_text(kar), "old");
  EXPECT_EQ(run_pack({"kar", "create", kar, good, "--force"}).status, 0);
  EXPECT_EQ(run_pack({"kar", "list", kar}).status, 0);
}

TEST(Kar, HostileArchivesAreRefusedBeforeAnythingIsWritten) {
  TempDir dir;
  const std::vector<unsigned char> package = test_package("Fine");
  const ArchiveMember fine{"fine.dat", package};
  const std::string long_name(1100, 'x');
  const std::vector<std::string> hostile_names = {
      "../evil.dat", "/tmp/evil.dat", "sub/evil.dat", "sub\\evil.dat", "C:evil.dat", "..", ".",
      "CON",         "nul.dat",       "com1.txt",     std::string("ev\0il.dat", 9), long_name};
  std::vector<std::pair<std::string, Bytes>> archives;
  for (const std::string& name : hostile_names)
    archives.emplace_back("name " + name.substr(0, 20), test_archive({fine, {name, package}}));
  Bytes negative = test_archive({fine});
  negative[11] = 2;  // two members declared: the second has a name and a negative size
  append_text(negative, "second.dat");
  append_int32(negative, -5);
  archives.emplace_back("negative size", negative);
  Bytes cut = test_archive({fine, {"cut.dat", package}});
  cut.resize(cut.size() - 1);
  archives.emplace_back("cut content", cut);
  archives.emplace_back("twice", test_archive({fine, {"FINE.dat", package}}));
  archives.emplace_back("no members", test_archive({}));
  Bytes newer_tag;
  append_text(newer_tag, "kar.1.1");
  append_int32(newer_tag, 1);
  append_member(newer_tag, fine);
  archives.emplace_back("tag", newer_tag);

  const fs::path out = dir.path() / "out";
  for (const auto& [label, bytes] : archives) {
    SCOPED_TRACE(label);
    const std::string kar = write_archive_file(dir, "hostile.kar", bytes);
    const std::vector<std::string> before = files_below(dir.path());
    const ToolRun extract = run_pack({"kar", "extract", kar, out.string(), "--force"});
    EXPECT_EQ(extract.status, 1);
    EXPECT_EQ(count_lines(extract.err), 1u) << extract.err;
    EXPECT_EQ(files_below(dir.path()), before);  // not even the output directory
    EXPECT_FALSE(fs::exists("/tmp/evil.dat"));

    const ToolRun list = run_pack({"kar", "list", kar});
    EXPECT_EQ(list.status, label == "twice" ? 0 : 1);  // listing shows both; only extracting collides
    EXPECT_EQ(run_pack({"verify", kar}).status, 1);
  }

  // Listing shows the members before the break, and names it.
  const std::string kar = write_archive_file(dir, "break.kar", test_archive({fine, {"../evil.dat", package}}));
  const ToolRun list = run_pack({"kar", "list", kar});
  EXPECT_TRUE(contains(list.out, "fine.dat"));
  EXPECT_TRUE(contains(list.err, "member 2: \"../evil.dat\" is not a plain file name")) << list.err;
}

TEST(Kar, ExtractKeepsExistingFilesUnlessForced) {
  TempDir dir;
  const std::vector<unsigned char> package = test_package("Fine");
  const std::string kar = write_archive_file(dir, "a.kar", test_archive({{"one.dat", package}, {"two.dat", package}}));
  const fs::path out = dir.path() / "out";
  fs::create_directories(out);
  write_bytes((out / "two.dat").string(), str("mine"));
  const ToolRun run = run_pack({"kar", "extract", kar, out.string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(contains(run.err, "two.dat: exists")) << run.err;
  EXPECT_EQ(files_below(out), (std::vector<std::string>{"two.dat"}));
  EXPECT_EQ(read_text((out / "two.dat").string()), "mine");

  EXPECT_EQ(run_pack({"kar", "extract", kar, out.string(), "--force"}).status, 0);
  EXPECT_EQ(read_bytes((out / "two.dat").string()), package);
  EXPECT_EQ(read_bytes((out / "one.dat").string()), package);

  const std::string file = dir.file("plain");
  write_bytes(file, str("x"));
  EXPECT_EQ(run_pack({"kar", "extract", kar, file}).status, 1);  // DIR is a file
}
