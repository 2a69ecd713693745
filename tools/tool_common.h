// What the velissa-pack commands share: the command table's entry, option parsing, the usage and
// refusal messages, text for terminals and JSON, whole-file reads and atomic writes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/velissa_pack.h"

struct ToolStreams {
  FILE* out;
  FILE* err;
};

struct Command {
  const char* name;     // "create", or "kar list" for a subcommand of kar
  const char* usage;    // the arguments after the name
  const char* summary;  // one line
  const char* help;     // the options and what the output holds, for --help; may be empty
  // argv[0] is the command's last word; the options and operands follow.
  int (*run)(const Command& self, int argc, char** argv, const ToolStreams& io);
};

// "velissa-pack NAME: message", then the command's usage line; returns kExitUsage.
int usage_error(const Command& command, const ToolStreams& io, const std::string& message);
// "velissa-pack NAME: message" on one line; returns kExitRefused.
int refuse(const Command& command, const ToolStreams& io, const std::string& message);

// ---- Options ----
// "--name VALUE" and "--name=VALUE" for options that take a value, "--name" for flags; "--" ends the
// options; a lone "-" is an operand. A repeated option keeps its last value.
struct OptionSpec {
  const char* name;  // with its dashes: "--frame"
  bool takes_value;
  const char* alias = nullptr;  // another spelling ("-o"), kept under name
};

struct ParsedArgs {
  std::vector<std::string> operands;
  std::vector<std::pair<std::string, std::string>> options;  // name, value ("" for flags), in order
  bool help = false;                                         // --help or -h
};

bool has_option(const ParsedArgs& parsed, const char* name);
// The last value given for the option; null when it was not given.
const char* option_value(const ParsedArgs& parsed, const char* name);

// The start of every command: parses the options, prints the help for --help, and checks that there
// are min_operands to max_operands operands. False, with the exit status in status, when the command
// ends there.
bool start_command(const Command& self, int argc, char** argv, const ToolStreams& io,
                   const std::vector<OptionSpec>& specs, size_t min_operands, size_t max_operands, ParsedArgs& args,
                   int& status);

// Parses the whole text as a decimal integer within [low, high]; no blanks, no trailing characters.
bool parse_int(const char* text, int64_t low, int64_t high, int32_t* value);

// ---- Text ----
// ASCII letters in lower case: names compared as Windows compares file names.
std::string ascii_lower(const std::string& text);
// The text as UTF-8: as it is when it is valid UTF-8, else read as Windows-1252, as the desktop shows
// the program's texts.
std::string utf8_text(const char* text);
// The shortest decimal text that reads back as the same value ("nan", "inf" for those).
std::string number_text(double value);
std::string number_text(float value);
// Text for a terminal: bytes outside printable ASCII, and the backslash, as \xNN.
std::string printable(const char* text);

// ---- Files ----
// Largest input file read into memory; packages are bounded by the same size.
constexpr uint64_t kMaxInputFile = uint64_t{1} << 30;

// The whole file; false with why set when it cannot be read or exceeds kMaxInputFile.
bool read_whole_file(const char* path, std::vector<unsigned char>& bytes, std::string& why);
// Writes bytes to a temporary file beside path, then renames it over path, so that path never holds a
// partly written file. An existing path (a link included) is refused unless force is set; a directory
// always is.
bool write_file_atomically(const std::string& path, const std::vector<unsigned char>& bytes, bool force,
                           std::string& why);

// The file name part of a path, as the installer takes it (the platform's file title).
std::string file_title(const char* path);
// Why a package under this file name would not reach the catalogue: too short for the installer, taken
// for an archive, not a "*.dat" name, or passed over as an uninstaller's file; null when none applies.
const char* package_name_problem(const char* title);

// DevIL initialised as the player initialises it, once per process.
void use_image_library();
