#include "package/trace_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

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
  EXPECT_EQ(read_text_lines(path), "## OpenTraces: " + path + "\n#pos: -3, 12\nno end runs on\n");  // flushed at once
  trace_close();
  EXPECT_EQ(read_text_lines(path), "## OpenTraces: " + path + "\n#pos: -3, 12\nno end runs on\n## CloseTraces\n");
  trace("after close\n");
  EXPECT_EQ(read_text_lines(path).find("after close"), std::string::npos);
}

TEST(TraceLog, OpeningAgainClosesTheFirstFile) {
  TempDir dir;
  std::string first = dir.file("first.txt"), second = dir.file("second.txt");
  trace_open(first.c_str());
  trace("one\n");
  trace_open(second.c_str());
  trace("two\n");
  trace_close();
  EXPECT_EQ(read_text_lines(first), "## OpenTraces: " + first + "\none\n## CloseTraces\n");
  EXPECT_EQ(read_text_lines(second), "## OpenTraces: " + second + "\ntwo\n## CloseTraces\n");
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
  EXPECT_EQ(read_text_lines(good), "## OpenTraces: " + good + "\n## CloseTraces\n");
}

TEST(TraceLog, TracesRacingWithCloseNeverWriteAfterIt) {
  TempDir dir;
  std::string path = dir.file("race.txt");
  trace_open(path.c_str());
  std::vector<std::thread> writers;
  for (int w = 0; w < 4; ++w)
    writers.emplace_back([w] {
      for (int i = 0; i < 300; ++i) trace("writer %d line %d\n", w, i);
    });
  trace_close();
  for (std::thread& writer : writers) writer.join();
  std::string text = read_text_lines(path);
  const std::string closing = "## CloseTraces\n";
  ASSERT_GE(text.size(), closing.size());
  EXPECT_EQ(text.compare(text.size() - closing.size(), closing.size(), closing), 0);
  EXPECT_EQ(text.find(closing), text.size() - closing.size());
  // Lines written under the lock never interleave.
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "## OpenTraces: " + path);
  while (std::getline(lines, line) && line != "## CloseTraces") EXPECT_EQ(line.rfind("writer ", 0), 0u) << line;
}
