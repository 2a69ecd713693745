#include "package/trace_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

TEST(TraceLog, ClosedLogWritesNothing) {
  TempDir dir;
  trace("dropped %d\n", 1);
  trace_close();  // closing a closed log does nothing
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(TraceLog, LinesStandBetweenOpeningAndClosingLines) {
  TempDir dir;
  std::string path = dir.file("trace.txt");
  trace_open(path.c_str());
  trace("#pos: %d, %d\n", -3, 12);
  trace("no end ");
  trace("runs on\n");
  EXPECT_EQ(read_text(path), "## OpenTraces: " + path + "\n#pos: -3, 12\nno end runs on\n");  // flushed at once
  trace_close();
  EXPECT_EQ(read_text(path), "## OpenTraces: " + path + "\n#pos: -3, 12\nno end runs on\n## CloseTraces\n");
  trace("after close\n");
  EXPECT_EQ(read_text(path).find("after close"), std::string::npos);
}

TEST(TraceLog, OpeningAgainClosesTheFirstFile) {
  TempDir dir;
  std::string first = dir.file("first.txt"), second = dir.file("second.txt");
  trace_open(first.c_str());
  trace("one\n");
  trace_open(second.c_str());
  trace("two\n");
  trace_close();
  EXPECT_EQ(read_text(first), "## OpenTraces: " + first + "\none\n## CloseTraces\n");
  EXPECT_EQ(read_text(second), "## OpenTraces: " + second + "\ntwo\n## CloseTraces\n");
}

TEST(TraceLog, UncreatableFileLeavesTheLogClosed) {
  TempDir dir;
  std::string good = dir.file("good.txt");
  std::string bad = dir.file("missing/trace.txt");
  trace_open(good.c_str());
  trace_open(bad.c_str());  // closes the good one, then fails
  trace("lost\n");
  trace_close();
  EXPECT_FALSE(std::filesystem::exists(bad));
  EXPECT_EQ(read_text(good), "## OpenTraces: " + good + "\n## CloseTraces\n");
}
