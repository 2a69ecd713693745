#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "package/pack_writer.h"
#include "support/temp_dir.h"

namespace {

struct ToolRun {
  int status = -1;  // exit status; -1 when the tool did not exit normally (a crash)
  std::string out;
  std::string err;
};

// Runs velissa-pack with arguments (each quoted for the shell), capturing both streams.
ToolRun run_tool(const TempDir& dir, const std::vector<std::string>& args) {
  std::string err_path = dir.file("stderr.txt");
  std::string command = std::string("'") + VELISSA_PACK + "'";
  for (const std::string& arg : args) command += " '" + arg + "'";
  command += " 2>'" + err_path + "'";
  ToolRun run;
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, got);
  int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.err = read_text(err_path);
  return run;
}

std::string sample_package(const TempDir& dir, const char* tag) {
  PackBuilder b;
  add_entry(b, 0, "abc", 3);
  add_entry(b, 12, "hello world", 11, -4);
  std::string path = dir.file("sample.dat");
  EXPECT_TRUE(write_package(b, tag, path.c_str()));
  return path;
}

size_t lines_in(const std::string& text) {
  size_t lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

}  // namespace

TEST(VelissaPackUsage, HelpSucceedsAndUsageErrorsExitTwo) {
  TempDir dir;
  ToolRun help = run_tool(dir, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("inspect FILE [--json]"), std::string::npos);
  EXPECT_EQ(run_tool(dir, {"inspect", "--help"}).status, 0);

  std::string path = sample_package(dir, "pck01");
  const std::vector<std::vector<std::string>> wrong = {
      {}, {"frobnicate"}, {"inspect"}, {"inspect", "--bogus", path}, {"inspect", path, path}};
  for (const auto& args : wrong) {
    ToolRun run = run_tool(dir, args);
    EXPECT_EQ(run.status, 2) << (args.empty() ? "(none)" : args[0]);
    EXPECT_TRUE(run.out.empty());
    EXPECT_NE(run.err.find("usage: velissa-pack"), std::string::npos);
  }
}

TEST(VelissaPackInspect, ReportsTagFlagsSizeAndRows) {
  TempDir dir;
  std::string path = sample_package(dir, "pck02zs");
  ToolRun text = run_tool(dir, {"inspect", path});
  EXPECT_EQ(text.status, 0);
  EXPECT_EQ(text.out,
            "tag: pck02zs\n"
            "flags: zs\n"
            "body_size: 62\n"
            "entries: 2\n"
            "         id      offset        size       extra\n"
            "          0           0           3           0\n"
            "         12           3          11          -4\n");
  EXPECT_TRUE(text.err.empty());

  ToolRun json = run_tool(dir, {"inspect", "--json", path});
  EXPECT_EQ(json.status, 0);
  EXPECT_EQ(json.out,
            "{\"tag\": \"pck02zs\", \"flags\": \"zs\", \"body_size\": 62, \"entries\": ["
            "{\"id\": 0, \"offset\": 0, \"size\": 3, \"extra\": 0}, "
            "{\"id\": 12, \"offset\": 3, \"size\": 11, \"extra\": -4}]}\n");
}

TEST(VelissaPackInspect, JsonEscapesEveryTagByte) {
  TempDir dir;
  std::string path = sample_package(dir, "pck01\"\\\x01\xE9z");
  ToolRun json = run_tool(dir, {"inspect", path, "--json"});
  EXPECT_EQ(json.status, 0);
  const std::string start = "{\"tag\": \"pck01\\\"\\\\\\u0001\\u00e9z\", \"flags\": \"z\", ";
  EXPECT_EQ(json.out.substr(0, start.size()), start);

  ToolRun text = run_tool(dir, {"inspect", path});
  EXPECT_EQ(text.out.substr(0, text.out.find('\n')), "tag: pck01\"\\x5c\\x01\\xe9z");
}

TEST(VelissaPackInspect, BadFilesFailWithOneLine) {
  TempDir dir;
  std::string junk = dir.file("junk.dat");
  write_bytes(junk, {5, 0, 0, 0, 'h', 'e', 'l', 'l', 'o', 1, 2, 3});
  std::string empty = dir.file("empty.dat");
  write_bytes(empty, {});
  for (const std::string& path : {junk, empty, dir.file("missing.dat")}) {
    ToolRun run = run_tool(dir, {"inspect", path});
    EXPECT_EQ(run.status, 1) << path;
    EXPECT_TRUE(run.out.empty());
    EXPECT_EQ(lines_in(run.err), 1u) << run.err;
    EXPECT_EQ(run.err.rfind("velissa-pack: ", 0), 0u);
  }

  // Cut packages either inspect or fail cleanly; the tool never dies.
  std::vector<unsigned char> whole = read_bytes(sample_package(dir, "pck02zs"));
  std::string cut = dir.file("cut.dat");
  for (size_t length : {4ul, 9ul, 12ul, 15ul, 30ul, whole.size() - 1}) {
    write_bytes(cut, std::vector<unsigned char>(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length)));
    ToolRun run = run_tool(dir, {"inspect", "--json", cut});
    EXPECT_TRUE(run.status == 0 || run.status == 1) << length;
  }
}
