// kar create, kar list, kar extract: ".kar" archives of packages, made and opened with the installer's
// rules on member names.
#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "catalogue/archive_writer.h"
#include "catalogue/installer.h"
#include "package/pack_file.h"
#include "tools/commands.h"
#include "tools/kar_reader.h"

namespace fs = std::filesystem;

namespace {

const char kKarCreateHelp[] =
    "Each FILE.dat becomes a member under its file name. Only what the installer takes is packed: a\n"
    "package whose catalogue entry passes its test, under a plain \"*.dat\" name, each name once (letter\n"
    "case aside, as on Windows).\n"
    "\n"
    "options:\n"
    "  --force   replace OUT.kar when it exists\n";

const char kKarListHelp[] =
    "Prints one line per member: its size in bytes and its name. An archive that the installer would\n"
    "stop in is listed up to the break, which is then named (exit status 1).\n";

const char kKarExtractHelp[] =
    "Writes every member to DIR/NAME (DIR is made when missing). The whole archive is checked first\n"
    "with the installer's rules: a member name that is not a plain file name (a directory part, \"..\",\n"
    "a drive, a device name), a broken size or content, or a name given twice refuses the archive\n"
    "before anything is written.\n"
    "\n"
    "options:\n"
    "  --force   replace files of DIR that have a member's name\n";

int run_kar_create(const Command& self, int argc, char** argv, const ToolStreams& io) {
  ParsedArgs args;
  int status = 0;
  if (!start_command(self, argc, argv, io, {{"--force", false}}, 2, SIZE_MAX, args, status)) return status;

  std::vector<ArchiveMember> members;
  std::set<std::string> names;
  std::string why;
  for (size_t i = 1; i < args.operands.size(); ++i) {
    const char* path = args.operands[i].c_str();
    ArchiveMember member;
    member.name = file_title(path);
    if (!is_plain_file_name(FixedString(member.name.c_str())))
      return refuse(self, io, std::string(path) + ": \"" + printable(member.name.c_str()) + "\" is not a plain file name");
    if (const char* problem = package_name_problem(member.name.c_str()))
      return refuse(self, io, std::string(path) + ": " + problem);
    if (!names.insert(ascii_lower(member.name)).second)
      return refuse(self, io, std::string(path) + ": a member named \"" + member.name + "\" is already in");
    PackFile pack;
    CatalogueLines lines;
    if (!open(pack, path) || check_catalogue_entry(pack, lines) != ENTRY_INSTALLABLE)
      return refuse(self, io, std::string(path) + ": the installer refuses this package (velissa-pack verify says why)");
    if (!read_whole_file(path, member.content, why)) return refuse(self, io, std::string(path) + ": " + why);
    members.push_back(std::move(member));
  }
  std::vector<unsigned char> archive;
  if (!encode_archive(members, archive)) return refuse(self, io, "the archive would be too large");
  if (!write_file_atomically(args.operands[0], archive, has_option(args, "--force"), why))
    return refuse(self, io, args.operands[0] + ": " + why);
  return kExitSuccess;
}

int run_kar_list(const Command& self, int argc, char** argv, const ToolStreams& io) {
  ParsedArgs args;
  int status = 0;
  if (!start_command(self, argc, argv, io, {}, 1, 1, args, status)) return status;
  const std::string& path = args.operands[0];
  std::vector<unsigned char> bytes;
  std::string why;
  KarReader kar;
  if (!read_whole_file(path.c_str(), bytes, why) || !open_kar(kar, bytes, why)) return refuse(self, io, path + ": " + why);
  KarMember member;
  KarStep step;
  while ((step = next_member(kar, member, why)) == KAR_MEMBER)
    std::fprintf(io.out, "%11d  %s\n", member.size, printable(member.name.text).c_str());
  return step == KAR_BROKEN ? refuse(self, io, path + ": " + why) : kExitSuccess;
}

struct ExtractedMember {
  std::string name;
  const unsigned char* content;
  int32_t size;
};

int run_kar_extract(const Command& self, int argc, char** argv, const ToolStreams& io) {
  ParsedArgs args;
  int status = 0;
  if (!start_command(self, argc, argv, io, {{"--force", false}}, 2, 2, args, status)) return status;
  const std::string& path = args.operands[0];
  const fs::path directory = args.operands[1];
  const bool force = has_option(args, "--force");
  std::vector<unsigned char> bytes;
  std::string why;
  KarReader kar;
  if (!read_whole_file(path.c_str(), bytes, why) || !open_kar(kar, bytes, why)) return refuse(self, io, path + ": " + why);

  // Everything is checked before the first file is written.
  std::vector<ExtractedMember> members;
  std::set<std::string> names;
  KarMember member;
  KarStep step;
  std::error_code error;
  while ((step = next_member(kar, member, why)) == KAR_MEMBER) {
    const std::string name = member.name.text;
    if (!names.insert(ascii_lower(name)).second)
      return refuse(self, io, path + ": the name \"" + printable(name.c_str()) + "\" comes twice");
    if (!force && fs::exists(fs::symlink_status(directory / name, error)))
      return refuse(self, io, (directory / name).string() + ": exists (--force replaces it)");
    members.push_back({name, member.content, member.size});
  }
  if (step == KAR_BROKEN) return refuse(self, io, path + ": " + why);

  fs::create_directories(directory, error);
  if (!fs::is_directory(directory, error)) return refuse(self, io, directory.string() + ": cannot be made a directory");
  for (const ExtractedMember& extracted : members) {
    const std::string target = (directory / extracted.name).string();
    const std::vector<unsigned char> content(extracted.content, extracted.content + extracted.size);
    if (!write_file_atomically(target, content, force, why)) return refuse(self, io, target + ": " + why);
  }
  return kExitSuccess;
}

}  // namespace

const Command kKarCreateCommand = {"kar create", "OUT.kar FILE.dat ... [--force]",
                                   "pack packages into a .kar archive to drop on the character", kKarCreateHelp,
                                   run_kar_create};
const Command kKarListCommand = {"kar list", "FILE.kar", "list an archive's members and their sizes", kKarListHelp,
                                 run_kar_list};
const Command kKarExtractCommand = {"kar extract", "FILE.kar DIR [--force]",
                                    "unpack an archive's members into DIR, with the installer's name rules",
                                    kKarExtractHelp, run_kar_extract};
