#include "tools/tool_common.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "animation/animation_player.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

void print_command_help(const Command& command, FILE* out) {
  std::fprintf(out, "usage: velissa-pack %s %s\n  %s\n", command.name, command.usage, command.summary);
  if (command.help[0] != '\0') std::fprintf(out, "\n%s", command.help);
}

// False with why set on an unknown option or a missing value.
bool parse_args(const std::vector<OptionSpec>& specs, int argc, char** argv, ParsedArgs& parsed, std::string& why) {
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      parsed.operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      parsed.help = true;
      continue;
    }
    const size_t equals_at = arg.find('=');
    const std::string name = arg.substr(0, equals_at);
    const OptionSpec* spec = nullptr;
    for (const OptionSpec& candidate : specs)
      if (name == candidate.name || (candidate.alias != nullptr && name == candidate.alias)) spec = &candidate;
    if (spec == nullptr) {
      why = "unknown option " + name;
      return false;
    }
    if (!spec->takes_value) {
      if (equals_at != std::string::npos) {
        why = name + " takes no value";
        return false;
      }
      parsed.options.emplace_back(spec->name, "");
    } else if (equals_at != std::string::npos) {
      parsed.options.emplace_back(spec->name, arg.substr(equals_at + 1));
    } else if (i + 1 < argc) {
      parsed.options.emplace_back(spec->name, argv[++i]);
    } else {
      why = name + " needs a value";
      return false;
    }
  }
  return true;
}

template <typename Number>
std::string shortest_text(Number value, Number (*read_back)(const char*, char**)) {
  char text[40];
  for (int digits = 1; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
    if (read_back(text, nullptr) == value) break;
  }
  return text;
}

}  // namespace

int usage_error(const Command& command, const ToolStreams& io, const std::string& message) {
  std::fprintf(io.err, "velissa-pack %s: %s\n", command.name, message.c_str());
  std::fprintf(io.err, "usage: velissa-pack %s %s\n", command.name, command.usage);
  return kExitUsage;
}

int refuse(const Command& command, const ToolStreams& io, const std::string& message) {
  std::fprintf(io.err, "velissa-pack %s: %s\n", command.name, message.c_str());
  return kExitRefused;
}

bool start_command(const Command& self, int argc, char** argv, const ToolStreams& io,
                   const std::vector<OptionSpec>& specs, size_t min_operands, size_t max_operands, ParsedArgs& args,
                   int& status) {
  std::string why;
  if (!parse_args(specs, argc, argv, args, why)) {
    status = usage_error(self, io, why);
    return false;
  }
  if (args.help) {
    print_command_help(self, io.out);
    status = kExitSuccess;
    return false;
  }
  if (args.operands.size() < min_operands || args.operands.size() > max_operands) {
    status = usage_error(self, io, args.operands.size() < min_operands ? "missing operands" : "too many operands");
    return false;
  }
  return true;
}

bool has_option(const ParsedArgs& parsed, const char* name) { return option_value(parsed, name) != nullptr; }

const char* option_value(const ParsedArgs& parsed, const char* name) {
  const char* value = nullptr;
  for (const auto& option : parsed.options)
    if (option.first == name) value = option.second.c_str();
  return value;
}

bool parse_int(const char* text, int64_t low, int64_t high, int32_t* value) {
  if (text == nullptr || !(*text == '-' || *text == '+' || (*text >= '0' && *text <= '9'))) return false;
  errno = 0;
  char* end = nullptr;
  const long long parsed = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || parsed < low || parsed > high) return false;
  *value = static_cast<int32_t>(parsed);
  return true;
}

std::string ascii_lower(const std::string& text) {
  std::string lower = text;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

std::string json_string(const char* text) {
  std::string out = "\"";
  for (const char* p = text; *p != '\0'; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}


std::string number_text(double value) { return shortest_text<double>(value, std::strtod); }
std::string number_text(float value) { return shortest_text<float>(value, std::strtof); }

std::string json_number(double value) { return std::isfinite(value) ? number_text(value) : "null"; }
std::string json_number(float value) { return std::isfinite(value) ? number_text(value) : "null"; }

std::string printable(const char* text) {
  std::string out;
  for (const char* p = text; *p != '\0'; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      out += escaped;
    }
  }
  return out;
}

bool read_whole_file(const char* path, std::vector<unsigned char>& bytes, std::string& why) {
  bytes.clear();
  std::error_code error;
  if (fs::is_directory(path, error)) {
    why = "is a directory";
    return false;
  }
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    why = std::strerror(errno);
    return false;
  }
  unsigned char piece[65536];
  size_t got = 0;
  bool fits = true;
  while ((got = std::fread(piece, 1, sizeof piece, file)) > 0) {
    if (bytes.size() + got > kMaxInputFile) {
      fits = false;
      break;
    }
    bytes.insert(bytes.end(), piece, piece + got);
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (!fits) why = "larger than 1 GiB";
  if (failed) why = "read error";
  return fits && !failed;
}

bool write_file_atomically(const std::string& path, const std::vector<unsigned char>& bytes, bool force,
                           std::string& why) {
  std::error_code error;
  const fs::file_status status = fs::symlink_status(path, error);
  if (fs::is_directory(status)) {
    why = "is a directory";
    return false;
  }
  if (fs::exists(status) && !force) {
    why = "exists (--force replaces it)";
    return false;
  }
  // A stale temporary file of an interrupted run is replaced; removing a link removes only the link.
  const std::string temporary = path + ".velissa-pack-partial";
  fs::remove(temporary, error);
  FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    why = std::string("cannot be written: ") + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (std::fclose(file) != 0 || !written) {
    fs::remove(temporary, error);
    why = "cannot be written (disk full?)";
    return false;
  }
  // Checked again just before the rename: a file that appeared meanwhile is not replaced either.
  if (!force && fs::exists(fs::symlink_status(path, error))) {
    fs::remove(temporary, error);
    why = "exists (--force replaces it)";
    return false;
  }
  fs::rename(temporary, path, error);
  if (error) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    why = "cannot be replaced: " + error.message();
    return false;
  }
  return true;
}

std::string file_title(const char* path) {
  char title[MAX_PATH] = "";
  if (platform_get_file_title(path, title, sizeof title) != 0) return "";
  return title;
}

const char* package_name_problem(const char* title) {
  const size_t length = std::strlen(title);
  if (length <= 3) return "a file name of 3 characters or fewer is refused by the installer";
  if (std::strcmp(title + length - 4, ".kar") == 0) return "a file name ending in \".kar\" is installed as an archive";
  if (!platform_match_pattern("*.dat", title)) return "the catalogue lists only files whose name ends in \".dat\"";
  if (length > 5 && std::strncmp(title, "unins", 5) == 0)
    return "the catalogue passes over files whose name begins with \"unins\"";
  return nullptr;
}

void use_image_library() {
  static const bool initialised = (animation_library_init(), true);
  (void)initialised;
}
