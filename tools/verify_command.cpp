// verify: every check the program makes on a package before and while it shows it, through the
// program's own code (the installer's test of the catalogue entry, the player's loader and decoder).
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "animation/animation_player.h"
#include "catalogue/installer.h"
#include "package/pack_file.h"
#include "tools/commands.h"
#include "tools/kar_reader.h"

namespace fs = std::filesystem;

namespace {

const char kVerifyHelp[] =
    "Checks a package as the program would: its file name (installed, listed by the catalogue), that\n"
    "it opens and decodes, the installer's test of its catalogue entry (entry 0: \"c.1.\", a free line,\n"
    "the name, \"X,Y\"), that the player loads its description (entry 1), and that every frame has a\n"
    "usable rectangle and two images that the player decodes (a 3-byte colour JPEG, a 1-byte\n"
    "greyscale alpha JPEG of the same size, within the canvas). An archive is checked as the\n"
    "installer unpacks it, and each member as a package. Every problem is printed on a line of its\n"
    "own; warnings name what plays, but oddly. The exit status is 0 only when there is no problem:\n"
    "the program would install the file and show every frame.\n";

struct VerifyReport {
  FILE* out;
  int32_t problems = 0;
  int32_t frames = 0;    // frames that drew
  int32_t packages = 0;  // packages that passed
};

void problem(VerifyReport& report, const std::string& where, const std::string& text) {
  std::fprintf(report.out, "%s: %s\n", where.c_str(), text.c_str());
  ++report.problems;
}

void warning(VerifyReport& report, const std::string& where, const std::string& text) {
  std::fprintf(report.out, "%s: warning: %s\n", where.c_str(), text.c_str());
}

std::string catalogue_problem(EntryVerdict verdict, const CatalogueLines& lines) {
  switch (verdict) {
    case ENTRY_INSTALLABLE: return "";
    case ENTRY_UNREADABLE:
      if (!lines.version_read && is_empty(lines.header)) return "no catalogue entry (entry 0), or it is empty";
      if (!lines.version_read) return "catalogue line 1 \"" + printable(lines.header.text) + "\" is not \"c.VERSION.\"";
      return "catalogue line 4 is not \"X,Y\"";
    case ENTRY_NEWER_VERSION:
      return "catalogue version " + std::to_string(lines.version) + ": made for a newer program";
    case ENTRY_CORRUPTED: return "catalogue version " + std::to_string(lines.version) + ": a damaged package";
  }
  return "";
}

std::string image_name(const StringArray& names, int32_t frame) {
  if (frame >= names.count || names.data[frame] == nullptr) return "no name";
  return "name \"" + printable(names.data[frame]) + "\"";
}

// Frames with problems named one by one; the rest are counted, so that a description of a million
// broken frames stays readable.
constexpr int32_t kFramesNamed = 20;

struct FrameReport {
  AnimationPlayer* player;
  const std::string* where;
  VerifyReport* report;
  int32_t broken;
};

void report_frame(void* context, int32_t frame, bool placed, FrameResult result) {
  FrameReport& frames = *static_cast<FrameReport*>(context);
  if (++frames.broken > kFramesNamed) return;
  const bool alpha = result >= FRAME_ALPHA_MISSING;
  const std::string text = !placed ? "no usable rectangle (four finite edges, some width and height)"
                                   : std::string(frame_result_text(result)) + " (" +
                                         image_name(alpha ? frames.player->alpha_images : frames.player->color_images, frame) + ")";
  problem(*frames.report, *frames.where + ": frame " + std::to_string(frame), text);
}

void verify_frames(AnimationPlayer& player, const std::string& where, VerifyReport& report) {
  FrameReport frames{&player, &where, &report, 0};
  report.frames += check_frames(player, report_frame, &frames);
  if (frames.broken > kFramesNamed) {
    report.problems += frames.broken - kFramesNamed;
    std::fprintf(report.out, "%s: %d more frames with problems\n", where.c_str(), frames.broken - kFramesNamed);
  }
}

void verify_package(const char* path, const char* title, const std::string& where, VerifyReport& report) {
  const int32_t problems_before = report.problems;
  if (const char* name_problem = package_name_problem(title)) problem(report, where, name_problem);

  PackFile pack;
  PackDetails details;
  if (!open(pack, path, &details)) {
    problem(report, where, std::string("not a package: ") + details.problem);
    return;
  }
  if (details.decompress_failed) problem(report, where, "the body does not decompress");
  if (details.dropped_rows > 0)
    problem(report, where, std::to_string(details.dropped_rows) + " entry rows are incomplete or outside the data");

  CatalogueLines lines;
  const std::string catalogue = catalogue_problem(check_catalogue_entry(pack, lines), lines);
  if (!catalogue.empty()) problem(report, where, catalogue);

  AnimationPlayer player;
  player_init(player);
  load_from_package(player, &pack, 1);
  if (frame_count(player) == 0) {
    FixedString why;
    description_problem(pack, why);
    problem(report, where, printable(why.text));
  } else {
    const double duration = player.frame_duration;
    if (frame_duration_stalls(player))
      problem(report, where, "frame duration " + number_text(duration) + ": playback never leaves the first frame");
    else if (frame_count(player) > 1 && duration <= 0.0)
      warning(report, where, "frame duration " + number_text(duration) + ": every frame stays one tick");
    if (player.ping_pong && !player.loop)
      warning(report, where, "ping-pong without loop: the animation plays once and stays on its last frame");
    verify_frames(player, where, report);
  }
  player_destroy(player);
  if (report.problems == problems_before) ++report.packages;
}

// A directory of our own under the system's temporary directory, for an archive's members.
bool make_scratch_directory(std::string& path) {
  std::error_code error;
  const fs::path base = fs::temp_directory_path(error);
  if (error) return false;
  // create_directory says whether it made the directory, so a name taken by anyone else is passed over.
  const auto start = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate = base / ("velissa-pack-verify-" + std::to_string(start + attempt));
    if (fs::create_directory(candidate, error)) {
      path = candidate.string();
      return true;
    }
  }
  return false;
}

bool ends_with_kar(const char* title) {
  const size_t length = std::strlen(title);
  return length > 3 && std::strcmp(title + length - 4, ".kar") == 0;
}

void verify_file_by_title(const char* path, const char* title, const std::string& where, int32_t depth,
                          VerifyReport& report);

void verify_archive(const char* path, const std::string& where, int32_t depth, VerifyReport& report) {
  std::vector<unsigned char> bytes;
  std::string why;
  KarReader kar;
  if (!read_whole_file(path, bytes, why) || !open_kar(kar, bytes, why)) {
    problem(report, where, why);
    return;
  }
  std::string scratch;
  if (!make_scratch_directory(scratch)) {
    problem(report, where, "no temporary directory to check the members in");
    return;
  }
  std::set<std::string> names;
  KarMember member;
  KarStep step;
  while ((step = next_member(kar, member, why)) == KAR_MEMBER) {
    const std::string member_where = where + ": member \"" + printable(member.name.text) + "\"";
    // The installer copies without replacing, so of two members of one name only the first gets in;
    // on Windows names that differ only in letter case are one name.
    if (!names.insert(ascii_lower(member.name.text)).second) {
      problem(report, member_where, "a member of this name (letter case aside) came before: the installer cannot copy it");
      continue;
    }
    const std::string member_path = (fs::path(scratch) / member.name.text).string();
    std::string write_problem;
    const std::vector<unsigned char> content(member.content, member.content + member.size);
    if (!write_file_atomically(member_path, content, true, write_problem)) {
      problem(report, member_where, "cannot be written to check it: " + write_problem);
      continue;
    }
    verify_file_by_title(member_path.c_str(), member.name.text, member_where, depth + 1, report);
  }
  if (step == KAR_BROKEN) problem(report, where, why + ": the installer stops there");
  std::error_code ignored;
  fs::remove_all(scratch, ignored);
}

// As the installer tells archives from packages: by the title's last four characters.
void verify_file_by_title(const char* path, const char* title, const std::string& where, int32_t depth,
                          VerifyReport& report) {
  if (!ends_with_kar(title)) {
    verify_package(path, title, where, report);
  } else if (depth > kMaxArchiveDepth) {
    problem(report, where, "an archive nested this deep is refused");
  } else {
    verify_archive(path, where, depth, report);
  }
}

int run_verify(const Command& self, int argc, char** argv, const ToolStreams& io) {
  ParsedArgs args;
  int status = 0;
  if (!start_command(self, argc, argv, io, {}, 1, 1, args, status)) return status;
  const char* path = args.operands[0].c_str();
  const std::string title = file_title(path);
  use_image_library();

  VerifyReport report{io.out};
  const bool is_archive = is_kar_file(path);
  if (is_archive) {
    if (!ends_with_kar(title.c_str()))
      problem(report, path, "an archive is unpacked only under a name ending in \".kar\"");
    verify_archive(path, path, 0, report);
  } else {
    verify_package(path, title.c_str(), path, report);
  }
  if (report.problems > 0)
    return refuse(self, io, std::string(path) + ": " + std::to_string(report.problems) +
                                (report.problems == 1 ? " problem" : " problems"));
  if (is_archive)
    std::fprintf(io.out, "%s: ok: %d packages, %d frames\n", path, report.packages, report.frames);
  else
    std::fprintf(io.out, "%s: ok: %d frames\n", path, report.frames);
  return kExitSuccess;
}

}  // namespace

const Command kVerifyCommand = {"verify", "FILE",
                                "check a package (or each package of a .kar archive) as the program would",
                                kVerifyHelp, run_verify};
