// velissa-pack as a program (usage, help, exit statuses) and its inspect command on packages.
#include <nlohmann/json.hpp>

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

using Json = nlohmann::ordered_json;

// The tool's JSON line, read back; a line that is not JSON fails the test (null).
Json json_of(const ToolRun& run) {
  EXPECT_EQ(count_lines(run.out), 1u) << run.out;
  return Json::parse(run.out, nullptr, false);
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
  // The keys in their documented order.
  EXPECT_EQ(json_of(json), Json::parse(R"({"kind": "package", "tag": "pck02zs", "flags": "zs", "body_size": 62,
      "entries": [{"id": 0, "offset": 0, "size": 3, "extra": 0}, {"id": 12, "offset": 3, "size": 11, "extra": -4}],
      "catalogue": {"header": "abc", "second_line": "", "name": "", "x": 0, "y": 0, "version": null},
      "description": null})"));
}

TEST(VelissaPackInspect, CatalogueEntryAndDescriptionAsThePlayerReadsThem) {
  TempDir dir;
  const std::string path = described_package(dir);
  ToolRun json = run_pack({"inspect", path, "--json"});
  EXPECT_EQ(json.status, 0);
  // A name that is not UTF-8 is read as Windows-1252, as the desktop shows it.
  const Json got = json_of(json);
  EXPECT_EQ(got["catalogue"], Json::parse(R"({"header": "c.1.", "second_line": "second \"line\"", "name": "Caf\u00e9",
                                             "x": -40, "y": -20, "version": 1})"));
  EXPECT_EQ(got["description"], Json::parse(R"({"magic": "ks03", "version": 3, "loop": true, "ping_pong": true,
      "frame_duration": 0.125, "canvas_width": 200, "canvas_height": 300, "frames": [
      {"rect": [-1, 1, 0.5, -0.75], "color_id": 2, "alpha_id": 3}, {"rect": null, "color_id": 4, "alpha_id": null}]})"));

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
  const Json odd_json = json_of(json);
  EXPECT_TRUE(odd_json["catalogue"].is_null());
  EXPECT_EQ(odd_json["description"],
            Json::parse(R"({"magic": "KS02", "version": null, "loop": null, "ping_pong": null, "frame_duration": null,
                            "canvas_width": null, "canvas_height": null, "frames": []})"));
}

TEST(VelissaPackInspect, JsonTextsAreUtf8) {
  TempDir dir;
  // Bytes that are not UTF-8 are Windows-1252 (0x80 is the euro sign); control characters are escaped.
  std::string path = sample_package(dir, "pck01\"\\\x01\xE9\x80z");
  ToolRun json = run_pack({"inspect", path, "--json"});
  EXPECT_EQ(json.status, 0);
  EXPECT_EQ(json_of(json)["tag"], "pck01\"\\\x01\u00e9\u20acz");
  EXPECT_TRUE(contains(json.out, "\"tag\":\"pck01\\\"\\\\\\u0001\xC3\xA9\xE2\x82\xACz\"")) << json.out;

  ToolRun text = run_pack({"inspect", path});
  EXPECT_EQ(text.out.substr(0, text.out.find('\n')), "tag: pck01\"\\x5c\\x01\\xe9\\x80z");

  // Valid UTF-8 stays as it is.
  PackBuilder b;
  add_entry(b, 0, str("c.1.\r\nfree\r\nB\xC3\xA4llchen\r\n0,0\r\n"));
  const std::string named = dir.file("named.dat");
  ASSERT_TRUE(write_package(b, "pck01", named.c_str()));
  json = run_pack({"inspect", named, "--json"});
  EXPECT_EQ(json_of(json)["catalogue"]["name"], "B\u00e4llchen");
  EXPECT_TRUE(contains(json.out, "\"name\":\"B\xC3\xA4llchen\"")) << json.out;
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
