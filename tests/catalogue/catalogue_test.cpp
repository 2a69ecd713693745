// The catalogue scan on real directories: which files become rows, what a row holds, the warnings of the
// refused ones, install_match, rescans and the 100-row table.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "catalogue/catalogue.h"
#include "platform/headless/headless.h"
#include "support/bytes.h"
#include "support/fifo_watch.h"
#include "support/temp_dir.h"
#include "support/test_archives.h"

namespace {

class CatalogueScan : public ::testing::Test {
 protected:
  void SetUp() override {
    headless_reset();
    previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());  // the scan reads the current directory
  }
  void TearDown() override { std::filesystem::current_path(previous); }

  void scan(const char* installed_name = "") { scan_catalogue(*catalogue, menu_ids, installed_name, install_match); }

  std::vector<std::string> row_names() const {
    std::vector<std::string> names;
    for (int32_t i = 0; i < row_count(*catalogue); ++i) names.push_back(catalogue->rows[i].name.text);
    return names;
  }

  // In directory order, which no test may rely on.
  std::multiset<std::string> warnings() const {
    const std::vector<std::string> texts = warning_texts();
    return std::multiset<std::string>(texts.begin(), texts.end());
  }

  TempDir dir;
  std::filesystem::path previous;
  std::unique_ptr<Catalogue> catalogue = std::make_unique<Catalogue>();
  IntArray menu_ids;
  int32_t install_match = -1;
};

TEST_F(CatalogueScan, PassesOverUninstallerFilesAndWhatIsNoRegularFile) {
  write_bytes(dir.file("unins000.dat"), test_package("Uninstaller"));
  write_bytes(dir.file("unins.dat"), str("not a package"));
  write_bytes(dir.file("Unins001.dat"), test_package("Capital"));  // another name also where case is ignored
  write_bytes(dir.file("readme.txt"), test_package("Not a dat"));
  write_bytes(dir.file("~velissa-copy-1-1.tmp"), test_package("On its way"));
  std::filesystem::create_directory(dir.file("folder.dat"));
#ifndef _WIN32
  FifoWatch fifo(dir.file("pipe.dat"));  // a FIFO is passed over unopened
  ASSERT_TRUE(fifo.made);
#endif
  scan();
#ifndef _WIN32
  EXPECT_FALSE(fifo.reader_waited);
#endif
  EXPECT_EQ(row_names(), std::vector<std::string>{"Capital"});
  ASSERT_EQ(row_count(*catalogue), 1);
  EXPECT_STREQ(catalogue->file_names.data[0], "Unins001.dat");
  EXPECT_TRUE(headless_message_boxes().empty());
}

TEST_F(CatalogueScan, KeepsVersionOneAndWarnsAboutEveryOtherFile) {
  write_bytes(dir.file("one.dat"), package_with_entry(catalogue_text("c.1", "No final dot", "1,2")));
  write_bytes(dir.file("two.dat"), test_package("Newer", 2));
  write_bytes(dir.file("zero.dat"), test_package("Zero", 0));
  write_bytes(dir.file("minus.dat"), test_package("Minus", -1));
  write_bytes(dir.file("x.dat"), package_with_entry(catalogue_text("x.1.", "Letter", "0,0")));
  write_bytes(dir.file("empty.dat"), package_with_entry(""));
  write_bytes(dir.file("junk.dat"), str("no package at all"));
  scan();

  EXPECT_EQ(row_names(), std::vector<std::string>{"No final dot"});
  EXPECT_EQ(catalogue->rows[0].version, 1);
  EXPECT_EQ(warnings(), (std::multiset<std::string>{
                            "Animation \"Newer\" from file \"two.dat\" needs a higher version of Velissa Player.\n",
                            "Animation \"Zero\" from file \"zero.dat\" is corrupted.\n",
                            "Animation \"Minus\" from file \"minus.dat\" is corrupted.\n",
                            "Animation \"Letter\" from file \"x.dat\" is corrupted.\n",
                            "Animation \"\" from file \"empty.dat\" is corrupted.\n",
                            "Animation \"\" from file \"junk.dat\" is corrupted.\n",
                        }));
}

TEST_F(CatalogueScan, ReadsTheFourLinesAndTheOffsets) {
  write_bytes(dir.file("a.dat"), package_with_entry("\r\n\nc.1.\n\n\r\nsecond line\r\n\r\n  Spaced Name \n\n-120,-300\n"));
  write_bytes(dir.file("b.dat"), test_package("X only", 1, "-120"));
  write_bytes(dir.file("c.dat"), package_with_entry("c.1.\nsecond\nNo offsets"));
  write_bytes(dir.file("d.dat"), test_package("Unreadable", 1, "left,up"));
  scan();
  ASSERT_EQ(row_count(*catalogue), 4);
  for (int32_t i = 0; i < 4; ++i) {
    const CatalogueEntry& row = catalogue->rows[i];
    ASSERT_NE(row.package, nullptr);
    ASSERT_NE(find_entry(*row.package, 0), nullptr);  // the row's package is open and readable
    const std::string name = row.name.text;
    if (name == "  Spaced Name ") {
      EXPECT_STREQ(row.header.text, "c.1.");
      EXPECT_STREQ(row.second_line.text, "second line");
      EXPECT_EQ(std::make_pair(row.x, row.y), std::make_pair(-120, -300));
    } else if (name == "X only") {
      EXPECT_EQ(std::make_pair(row.x, row.y), std::make_pair(-120, 0));
    } else {
      EXPECT_TRUE(name == "No offsets" || name == "Unreadable") << name;
      EXPECT_EQ(std::make_pair(row.x, row.y), std::make_pair(0, 0));
    }
  }
}

TEST_F(CatalogueScan, FileNamesFollowRowsAndInstallMatchFindsTheLastEqualName) {
  for (const char* file : {"p.dat", "q.dat", "r.dat"})
    write_bytes(dir.file(file), test_package(file[0] == 'q' ? "Other" : "Twin"));
  push(menu_ids, 3);
  scan("Twin");
  ASSERT_EQ(row_count(*catalogue), 3);
  EXPECT_EQ(menu_ids.count, 0);
  int32_t other = -1, last_twin = -1;
  for (int32_t i = 0; i < 3; ++i) {
    const std::string file = catalogue->file_names.data[i];
    EXPECT_EQ(std::string(catalogue->rows[i].name.text), file == "q.dat" ? "Other" : "Twin");
    (file == "q.dat" ? other : last_twin) = i;
  }
  EXPECT_EQ(install_match, last_twin);
  EXPECT_EQ(find_row(*catalogue, "Other"), other);

  install_match = -1;
  scan("twin");  // case counts
  EXPECT_EQ(install_match, -1);
  scan("");
  EXPECT_EQ(install_match, -1);
  EXPECT_EQ(find_row(*catalogue, "Absent"), -1);
}

TEST_F(CatalogueScan, RescanReleasesEveryEarlierPackage) {
  write_bytes(dir.file("a.dat"), test_package("A"));
  write_bytes(dir.file("b.dat"), test_package("B"));
  scan();
  const uint32_t first_generation = catalogue->generation;
  ASSERT_EQ(row_count(*catalogue), 2);

  std::filesystem::remove(dir.file("a.dat"));
  write_bytes(dir.file("c.dat"), test_package("C"));
  write_bytes(dir.file("d.dat"), test_package("D"));
  scan();
  EXPECT_NE(catalogue->generation, first_generation);
  std::vector<std::string> names = row_names();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"B", "C", "D"}));

  std::filesystem::remove(dir.file("c.dat"));
  std::filesystem::remove(dir.file("d.dat"));
  scan();
  EXPECT_EQ(row_names(), std::vector<std::string>{"B"});
  for (int32_t i = 1; i < kCatalogueRows; ++i) EXPECT_EQ(catalogue->rows[i].package, nullptr) << i;

  release_rows(*catalogue);
  EXPECT_EQ(row_count(*catalogue), 0);
  EXPECT_EQ(catalogue->rows[0].package, nullptr);
}

TEST_F(CatalogueScan, KeepsTheFirstHundredAndSaysOnceThatTheRestWereLeftOut) {
  for (int i = 0; i < kCatalogueRows + 3; ++i)
    write_bytes(dir.file("anim" + std::to_string(i) + ".dat"), test_package("Animation " + std::to_string(i)));
  write_bytes(dir.file("broken.dat"), str("broken"));
  scan();
  EXPECT_EQ(row_count(*catalogue), kCatalogueRows);
  EXPECT_NE(catalogue->rows[kCatalogueRows - 1].package, nullptr);
  EXPECT_EQ(warnings(), (std::multiset<std::string>{
                            "Animation \"\" from file \"broken.dat\" is corrupted.\n",
                            "Only 100 animations can be loaded: 3 further animation files were not loaded.\n",
                        }));
  EXPECT_EQ(headless_message_boxes().back().text.rfind("Only 100", 0), 0u);  // after the whole scan
}

TEST_F(CatalogueScan, EmptyDirectoryGivesEmptyCatalogueSilently) {
  scan();
  EXPECT_EQ(row_count(*catalogue), 0);
  EXPECT_TRUE(headless_message_boxes().empty());
}

}  // namespace
