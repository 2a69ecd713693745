// inspect: what a package or an archive holds, as the program reads it, as text or JSON.
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "animation/animation_player.h"
#include "catalogue/catalogue.h"
#include "package/pack_file.h"
#include "tools/commands.h"
#include "tools/kar_reader.h"

namespace {

const char kInspectHelp[] =
    "A package shows its tag and flag letters, the decoded body's size, the entry rows, the catalogue\n"
    "entry (entry 0) and the description (entry 1) with every frame's rectangle (left, top, right,\n"
    "bottom in area units) and the entry ids of its colour and alpha images. An archive shows its\n"
    "members and their sizes. Frames count from 0.\n"
    "\n"
    "options:\n"
    "  --json   one JSON object on one line instead of text, keys in this order:\n"
    "    package: {\"kind\": \"package\", \"tag\": S, \"flags\": S, \"body_size\": N,\n"
    "              \"entries\": [{\"id\": N, \"offset\": N, \"size\": N, \"extra\": N}, ...],\n"
    "              \"catalogue\": null | {\"header\": S, \"second_line\": S, \"name\": S, \"x\": N, \"y\": N,\n"
    "                                   \"version\": N | null},\n"
    "              \"description\": null | {\"magic\": S, \"version\": N | null, \"loop\": B | null,\n"
    "                                     \"ping_pong\": B | null, \"frame_duration\": F | null,\n"
    "                                     \"canvas_width\": N | null, \"canvas_height\": N | null,\n"
    "                                     \"frames\": [{\"rect\": [F, F, F, F] | null,\n"
    "                                                 \"color_id\": N | null, \"alpha_id\": N | null}]}}\n"
    "    archive: {\"kind\": \"archive\", \"tag\": \"kar.1.0\", \"member_count\": N,\n"
    "              \"members\": [{\"name\": S, \"size\": N}, ...], \"problem\": null | S}\n"
    "  S is a string in UTF-8 (a text that is not valid UTF-8 is read as Windows-1252, as the desktop\n"
    "  shows it), N an integer, F a number (null when not finite),\n"
    "  B true or false. catalogue is null without entry 0, description null without entry 1; a\n"
    "  version is null when it does not read (an unrecognised magic leaves the other description\n"
    "  fields null and frames empty); color_id and alpha_id are null when the image name is no number.\n"
    "  A broken archive lists the members before the break and names the problem; the exit status is\n"
    "  then 1.\n";

std::string flag_letters(const PackFlags& flags) {
  std::string letters;
  if (flags.compressed) letters += 'z';
  if (flags.transposed) letters += 's';
  return letters;
}

// What entries 0 and 1 hold, read as the catalogue and the player read them.
struct PackageReport {
  bool has_catalogue = false;
  CatalogueLines lines;
  bool has_description = false;
  FixedString magic;
  int32_t version = 0;
  AnimationPlayer player;  // the description's fields only: no surface, no images
};

void read_report(PackFile& pack, PackageReport& report) {
  report.has_catalogue = read_catalogue_lines(pack, report.lines);
  player_init(report.player);
  ByteReader* description = find_entry(pack, 1);
  report.has_description = description != nullptr;
  if (description != nullptr) report.version = read_description(report.player, *description, &report.magic);
}

// Whether the frame has all four edges; frame_rectangle would also judge them, and a report shows them as they are.
bool has_rect(const AnimationPlayer& player, int32_t frame) { return int64_t{frame} * 4 + 4 <= player.frame_rects.count; }

// The entry id a frame's image name gives, as text; none when the name holds no number.
std::string id_text(const StringArray& names, int32_t frame, const char* none) {
  int32_t id = 0;
  if (frame >= names.count || !parse_entry_id(names.data[frame], &id)) return none;
  return std::to_string(id);
}

void print_text(FILE* out, const PackFile& pack, const PackDetails& details, const PackageReport& report) {
  std::fprintf(out, "tag: %s\n", printable(details.tag.text).c_str());
  std::fprintf(out, "flags: %s\n", flag_letters(details.flags).c_str());
  std::fprintf(out, "body_size: %u\n", details.body_size);
  std::fprintf(out, "entries: %d\n", pack.ids.count);
  std::fprintf(out, "%11s %11s %11s %11s\n", "id", "offset", "size", "extra");
  for (int32_t i = 0; i < pack.ids.count; ++i)
    std::fprintf(out, "%11d %11d %11d %11d\n", pack.ids.data[i], pack.offsets.data[i], pack.sizes.data[i],
                 pack.extras.data[i]);

  if (!report.has_catalogue) {
    std::fprintf(out, "catalogue: none\n");
  } else {
    const CatalogueLines& lines = report.lines;
    std::fprintf(out, "catalogue:\n  header: %s\n  second_line: %s\n  name: %s\n  position: %d,%d\n",
                 printable(lines.header.text).c_str(), printable(lines.second_line.text).c_str(),
                 printable(lines.name.text).c_str(), lines.x, lines.y);
    if (lines.version_read)
      std::fprintf(out, "  version: %d\n", lines.version);
    else
      std::fprintf(out, "  version: unreadable\n");
  }

  if (!report.has_description) {
    std::fprintf(out, "description: none\n");
    return;
  }
  const AnimationPlayer& player = report.player;
  std::fprintf(out, "description:\n  magic: %s", printable(report.magic.text).c_str());
  if (report.version == 0) {
    std::fprintf(out, " (unrecognised)\n");
    return;
  }
  std::fprintf(out, " (version %d)\n  loop: %s\n  ping_pong: %s\n  frame_duration: %s\n  canvas: %dx%d\n",
               report.version, player.loop ? "yes" : "no", player.ping_pong ? "yes" : "no",
               number_text(player.frame_duration).c_str(), player.canvas_width, player.canvas_height);
  std::fprintf(out, "  frames: %d\n", frame_count(player));
  if (frame_count(player) == 0) return;
  std::fprintf(out, "  %6s %11s %11s %11s %11s %11s %11s\n", "frame", "left", "top", "right", "bottom", "colour",
               "alpha");
  for (int32_t i = 0; i < frame_count(player); ++i) {
    std::string edges[4] = {"-", "-", "-", "-"};
    if (has_rect(player, i))
      for (int32_t e = 0; e < 4; ++e) edges[e] = number_text(player.frame_rects.data[i * 4 + e]);
    std::fprintf(out, "  %6d %11s %11s %11s %11s %11s %11s\n", i, edges[0].c_str(), edges[1].c_str(),
                 edges[2].c_str(), edges[3].c_str(), id_text(player.color_images, i, "-").c_str(),
                 id_text(player.alpha_images, i, "-").c_str());
  }
}

using Json = nlohmann::ordered_json;  // keeps the documented order of the keys

Json json_text(const char* text) { return utf8_text(text); }

// A float as the double its shortest text reads as (0.1f as 0.1, not 0.100000001490116); null when not
// finite, which JSON cannot hold.
Json json_number(float value) {
  if (!std::isfinite(value)) return nullptr;
  return std::strtod(number_text(value).c_str(), nullptr);
}
Json json_number(double value) { return std::isfinite(value) ? Json(value) : Json(nullptr); }
Json json_id(const StringArray& names, int32_t frame) {
  int32_t id = 0;
  if (frame >= names.count || !parse_entry_id(names.data[frame], &id)) return nullptr;
  return id;
}

// One line; texts are valid UTF-8 by now, and a replacement character stands in should one not be.
void print_json_line(FILE* out, const Json& json) {
  std::fprintf(out, "%s\n", json.dump(-1, ' ', false, Json::error_handler_t::replace).c_str());
}

void print_json(FILE* out, const PackFile& pack, const PackDetails& details, const PackageReport& report) {
  Json json = {{"kind", "package"},
               {"tag", json_text(details.tag.text)},
               {"flags", flag_letters(details.flags)},
               {"body_size", details.body_size},
               {"entries", Json::array()}};
  for (int32_t i = 0; i < pack.ids.count; ++i)
    json["entries"].push_back(Json{{"id", pack.ids.data[i]},
                                   {"offset", pack.offsets.data[i]},
                                   {"size", pack.sizes.data[i]},
                                   {"extra", pack.extras.data[i]}});

  json["catalogue"] = nullptr;
  if (report.has_catalogue) {
    const CatalogueLines& lines = report.lines;
    json["catalogue"] = Json{{"header", json_text(lines.header.text)},
                             {"second_line", json_text(lines.second_line.text)},
                             {"name", json_text(lines.name.text)},
                             {"x", lines.x},
                             {"y", lines.y},
                             {"version", lines.version_read ? Json(lines.version) : Json(nullptr)}};
  }

  json["description"] = nullptr;
  if (report.has_description) {
    const AnimationPlayer& player = report.player;
    const bool known = report.version != 0;  // an unrecognised magic leaves the rest unread
    Json description = {{"magic", json_text(report.magic.text)},
                        {"version", known ? Json(report.version) : Json(nullptr)},
                        {"loop", known ? Json(player.loop) : Json(nullptr)},
                        {"ping_pong", known ? Json(player.ping_pong) : Json(nullptr)},
                        {"frame_duration", known ? json_number(player.frame_duration) : Json(nullptr)},
                        {"canvas_width", known ? Json(player.canvas_width) : Json(nullptr)},
                        {"canvas_height", known ? Json(player.canvas_height) : Json(nullptr)},
                        {"frames", Json::array()}};
    for (int32_t i = 0; known && i < frame_count(player); ++i) {
      Json rect = nullptr;
      if (has_rect(player, i)) {
        const float* edges = player.frame_rects.data + int64_t{i} * 4;
        rect = Json{json_number(edges[0]), json_number(edges[1]), json_number(edges[2]), json_number(edges[3])};
      }
      description["frames"].push_back(Json{{"rect", rect},
                                           {"color_id", json_id(player.color_images, i)},
                                           {"alpha_id", json_id(player.alpha_images, i)}});
    }
    json["description"] = description;
  }
  print_json_line(out, json);
}

int inspect_package(const char* path, bool json, const ToolStreams& io) {
  PackFile pack;
  PackDetails details;
  if (!open(pack, path, &details)) return refuse(kInspectCommand, io, std::string(path) + ": " + details.problem);
  if (details.decompress_failed)
    std::fprintf(io.err, "velissa-pack inspect: %s: warning: the body does not decompress\n", path);
  if (details.dropped_rows > 0)
    std::fprintf(io.err, "velissa-pack inspect: %s: warning: %d malformed entry rows dropped\n", path,
                 details.dropped_rows);
  PackageReport report;
  read_report(pack, report);
  if (json)
    print_json(io.out, pack, details, report);
  else
    print_text(io.out, pack, details, report);
  player_destroy(report.player);
  return kExitSuccess;
}

int inspect_archive(const char* path, bool json, const ToolStreams& io) {
  std::vector<unsigned char> bytes;
  std::string problem;
  if (!read_whole_file(path, bytes, problem)) return refuse(kInspectCommand, io, std::string(path) + ": " + problem);
  KarReader kar;
  const bool opened = open_kar(kar, bytes, problem);
  Json members = Json::array();
  if (!json) std::fprintf(io.out, "archive: kar.1.0\nmembers: %d\n%11s  %s\n", kar.count, "size", "name");
  KarMember member;
  KarStep step = opened ? next_member(kar, member, problem) : KAR_BROKEN;
  for (; step == KAR_MEMBER; step = next_member(kar, member, problem)) {
    if (json)
      members.push_back(Json{{"name", json_text(member.name.text)}, {"size", member.size}});
    else
      std::fprintf(io.out, "%11d  %s\n", member.size, printable(member.name.text).c_str());
  }
  const bool broken = step == KAR_BROKEN;
  if (json)
    print_json_line(io.out, Json{{"kind", "archive"},
                                 {"tag", "kar.1.0"},
                                 {"member_count", kar.count},
                                 {"members", members},
                                 {"problem", broken ? json_text(problem.c_str()) : Json(nullptr)}});
  return broken ? refuse(kInspectCommand, io, std::string(path) + ": " + problem) : kExitSuccess;
}

int run_inspect(const Command& self, int argc, char** argv, const ToolStreams& io) {
  ParsedArgs args;
  int status = 0;
  if (!start_command(self, argc, argv, io, {{"--json", false}}, 1, 1, args, status)) return status;
  return inspect_file(args.operands[0].c_str(), has_option(args, "--json"), io.out, io.err);
}

}  // namespace

const Command kInspectCommand = {
    "inspect", "FILE [--json]", "print what a package or a .kar archive holds, as the program reads it", kInspectHelp,
    run_inspect};

int inspect_file(const char* path, bool json, FILE* out, FILE* err) {
  const ToolStreams io{out, err};
  return is_kar_file(path) ? inspect_archive(path, json, io) : inspect_package(path, json, io);
}
