// velissa-pack as a program (usage, help, exit statuses) and its inspect command on packages.
#include <string>
#include <vector>

#include "package/pack_writer.h"
#include "support/test_packages.h"
#include "tool_test_support.h"

namespace {

std::string sample_package(const TempDir& dir, const char* tag) {
  PackBuilder b;
  add_entry(b, 0, "abc", 3);
  add_entry(b, 12, "hello world", 11, -4);
  std::string path = dir.file("sample.dat");
  EXPECT_TRUE(write_package(b, tag, path.c_str()));
  return path;
}

// A package with a catalogue entry and a ks03 description of two frames; the second frame's alpha
// name is no number and its rectangle is cut short.
std::string described_package(const TempDir& dir) {
  TestDescription d;
  d.magic = "ks03";
  d.loop = 1;
  d.ping_pong = 1;
  d.frame_duration = 0.125;
  d.canvas_width = 200;
  d.canvas_height = 300;
  d.rects = {-1.0f, 1.0f, 0.5f, -0.75f, 0.25f, 0.5f};
  d.color_names = {"2", " 4x"};
  d.alpha_names = {"3", "none"};
  d.extra_flag = 1;
  d.extra = {7};
  PackBuilder b;
  add_entry(b, 0, str("c.1.\r\nsecond \"line\"\r\nCaf\xE9\r\n-40,-20\r\n"));
  add_entry(b, 1, description_bytes(d));
  std::string path = dir.file("described.dat");
  EXPECT_TRUE(write_package(b, "pck02z", path.c_str()));
  return path;
}

}  // namespace

TEST(VelissaPackProgram, HelpListsTheCommandsAndUsageErrorsExitTwo) {
  TempDir dir;
  ToolRun help = run_pack_program(dir, {"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* usage : {"create OUT.dat --name NAME", "inspect FILE [--json]", "verify FILE", "render FILE.dat",
                            "kar create OUT.kar FILE.dat ...", "kar list FILE.kar", "kar extract FILE.kar DIR"})
    EXPECT_TRUE(contains(help.out, usage)) << usage;
  for (const std::vector<std::string>& command : std::vector<std::vector<std::string>>{
           {"create"}, {"inspect"}, {"verify"}, {"render"}, {"kar", "create"}, {"kar", "list"}, {"kar", "extract"}}) {
    std::vector<std::string> args = command;
    args.push_back("--help");
    ToolRun run = run_pack(args);
    EXPECT_EQ(run.status, 0) << command.back();
    EXPECT_EQ(run.out.rfind("usage: velissa-pack " + command[0], 0), 0u) << run.out;
  }
  EXPECT_EQ(run_pack({"kar", "--help"}).status, 0);

  std::string path = sample_package(dir, "pck01");
  const std::vector<std::vector<std::string>> wrong = {
      {},          {"frobnicate"}, {"inspect"}, {"inspect", "--bogus", path}, {"inspect", path, path},
      {"kar"},     {"kar", "pack"}, {"verify"},  {"verify", "--json", path},   {"kar", "list", path, path},
      {"inspect", "--json=yes", path}};
  for (const auto& args : wrong) {
    ToolRun run = run_pack_program(dir, args);
    EXPECT_EQ(run.status, 2) << (args.empty() ? "(none)" : args.back());
    EXPECT_TRUE(run.out.empty());
    EXPECT_TRUE(contains(run.err, "usage: velissa-pack"));
  }
}

TEST(VelissaPackInspect, ReportsTagFlagsSizeAndRows) {
  TempDir dir;
  std::string path = sample_package(dir, "pck02zs");
  ToolRun text = run_pack_program(dir, {"inspect", path});
  EXPECT_EQ(text.status, 0);
  EXPECT_EQ(text.out,
            "tag: pck02zs\n"
            "flags: zs\n"
            "body_size: 62\n"
            "entries: 2\n"
            "         id      offset        size       extra\n"
            "          0           0           3           0\n"
            "         12           3          11          -4\n"
            "catalogue:\n"
            "  header: abc\n"
            "  second_line: \n"
            "  name: \n"
            "  position: 0,0\n"
            "  version: unreadable\n"
            "description: none\n");
  EXPECT_TRUE(text.err.empty());

  ToolRun json = run_pack({"inspect", "--json", path});
  EXPECT_EQ(json.status, 0);
  EXPECT_EQ(json.out,
            "{\"kind\": \"package\", \"tag\": \"pck02zs\", \"flags\": \"zs\", \"body_size\": 62, \"entries\": ["
            "{\"id\": 0, \"offset\": 0, \"size\": 3, \"extra\": 0}, "
            "{\"id\": 12, \"offset\": 3, \"size\": 11, \"extra\": -4}], "
            "\"catalogue\": {\"header\": \"abc\", \"second_line\": \"\", \"name\": \"\", \"x\": 0, \"y\": 0, "
            "\"version\": null}, \"description\": null}\n");
}

TEST(VelissaPackInspect, CatalogueEntryAndDescriptionAsThePlayerReadsThem) {
  TempDir dir;
  const std::string path = described_package(dir);
  ToolRun json = run_pack({"inspect", path, "--json"});
  EXPECT_EQ(json.status, 0);
  const std::string tail = json.out.substr(json.out.find("\"catalogue\""));
  EXPECT_EQ(tail,
            "\"catalogue\": {\"header\": \"c.1.\", \"second_line\": \"second \\\"line\\\"\", \"name\": \"Caf\\u00e9\", "
            "\"x\": -40, \"y\": -20, \"version\": 1}, "
            "\"description\": {\"magic\": \"ks03\", \"version\": 3, \"loop\": true, \"ping_pong\": true, "
            "\"frame_duration\": 0.125, \"canvas_width\": 200, \"canvas_height\": 300, \"frames\": ["
            "{\"rect\": [-1, 1, 0.5, -0.75], \"color_id\": 2, \"alpha_id\": 3}, "
            "{\"rect\": null, \"color_id\": 4, \"alpha_id\": null}]}}\n");

  ToolRun text = run_pack({"inspect", path});
  const std::string description = text.out.substr(text.out.find("catalogue:"));
  EXPECT_EQ(description,
            "catalogue:\n"
            "  header: c.1.\n"
            "  second_line: second \"line\"\n"
            "  name: Caf\\xe9\n"
            "  position: -40,-20\n"
            "  version: 1\n"
            "description:\n"
            "  magic: ks03 (version 3)\n"
            "  loop: yes\n"
            "  ping_pong: yes\n"
            "  frame_duration: 0.125\n"
            "  canvas: 200x300\n"
            "  frames: 2\n"
            "   frame        left         top       right      bottom      colour       alpha\n"
            "       0          -1           1         0.5       -0.75           2           3\n"
            "       1           -           -           -           -           4           -\n");

  // An unrecognised magic leaves the rest unread.
  PackBuilder b;
  TestDescription odd;
  odd.magic = "KS02";
  add_entry(b, 1, description_bytes(odd));
  const std::string odd_path = dir.file("odd.dat");
  ASSERT_TRUE(write_package(b, "pck01", odd_path.c_str()));
  json = run_pack({"inspect", odd_path, "--json"});
  EXPECT_TRUE(contains(json.out,
                       "\"catalogue\": null, \"description\": {\"magic\": \"KS02\", \"version\": null, \"loop\": null, "
                       "\"ping_pong\": null, \"frame_duration\": null, \"canvas_width\": null, \"canvas_height\": null, "
                       "\"frames\": []}}"))
      << json.out;
}

TEST(VelissaPackInspect, JsonEscapesEveryTagByte) {
  TempDir dir;
  std::string path = sample_package(dir, "pck01\"\\\x01\xE9z");
  ToolRun json = run_pack({"inspect", path, "--json"});
  EXPECT_EQ(json.status, 0);
  const std::string start = "{\"kind\": \"package\", \"tag\": \"pck01\\\"\\\\\\u0001\\u00e9z\", \"flags\": \"z\", ";
  EXPECT_EQ(json.out.substr(0, start.size()), start);

  ToolRun text = run_pack({"inspect", path});
  EXPECT_EQ(text.out.substr(0, text.out.find('\n')), "tag: pck01\"\\x5c\\x01\\xe9z");
}

TEST(VelissaPackInspect, BadFilesFailWithOneLine) {
  TempDir dir;
  std::string junk = dir.file("junk.dat");
  write_bytes(junk, {5, 0, 0, 0, 'h', 'e', 'l', 'l', 'o', 1, 2, 3});
  std::string empty = dir.file("empty.dat");
  write_bytes(empty, {});
  for (const std::string& path : {junk, empty, dir.file("missing.dat"), dir.path().string()}) {
    ToolRun run = run_pack_program(dir, {"inspect", path});
    EXPECT_EQ(run.status, 1) << path;
    EXPECT_TRUE(run.out.empty());
    EXPECT_EQ(count_lines(run.err), 1u) << run.err;
    EXPECT_EQ(run.err.rfind("velissa-pack inspect: ", 0), 0u);
  }

  // Cut packages and archives either inspect or fail cleanly; the tool never dies.
  std::vector<unsigned char> whole = read_bytes(described_package(dir));
  std::string cut = dir.file("cut.dat");
  for (size_t length = 0; length < whole.size(); length += 3) {
    write_bytes(cut, std::vector<unsigned char>(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length)));
    ToolRun run = run_pack({"inspect", "--json", cut});
    EXPECT_TRUE(run.status == 0 || run.status == 1) << length;
  }
}
