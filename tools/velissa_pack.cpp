// velissa-pack: the authoring tool for package files. One subcommand per entry of the command table;
// exit status 0 on success, 1 when the work failed (a bad package), 2 on a usage error.
#include <cstdio>
#include <cstring>
#include <string>

#include "package/pack_file.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct Command {
  const char* name;
  const char* usage;    // arguments after the command name
  const char* summary;  // one line
  int (*run)(const Command& self, int argc, char** argv);  // argv[0] is the command name
};

int run_inspect(const Command& self, int argc, char** argv);

const Command kCommands[] = {
    {"inspect", "FILE [--json]", "print a package's tag, flags, decoded body size and entry rows", run_inspect},
};

void print_usage(FILE* out) {
  std::fprintf(out, "usage: velissa-pack COMMAND [ARGS]\n\ncommands:\n");
  for (const Command& command : kCommands)
    std::fprintf(out, "  %s %s\n      %s\n", command.name, command.usage, command.summary);
  std::fprintf(out, "\nvelissa-pack COMMAND --help prints the usage of one command.\n");
}

void print_command_usage(FILE* out, const Command& command) {
  std::fprintf(out, "usage: velissa-pack %s %s\n  %s\n", command.name, command.usage, command.summary);
}

int usage_error(const Command& command, const char* message) {
  std::fprintf(stderr, "velissa-pack %s: %s\n", command.name, message);
  print_command_usage(stderr, command);
  return kExitUsage;
}

bool is_help(const char* arg) { return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0; }

// JSON string body: quotes, backslashes and control characters escaped; bytes above 127 as \u00XX
// (Latin-1), so any tag yields valid JSON.
std::string json_string(const char* text) {
  std::string out = "\"";
  for (const char* p = text; *p != '\0'; ++p) {
    auto c = static_cast<unsigned char>(*p);
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

// Text for a terminal: bytes outside printable ASCII as \xNN.
std::string printable(const char* text) {
  std::string out;
  for (const char* p = text; *p != '\0'; ++p) {
    auto c = static_cast<unsigned char>(*p);
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

std::string flag_letters(const PackFlags& flags) {
  std::string letters;
  if (flags.compressed) letters += 'z';
  if (flags.transposed) letters += 's';
  return letters;
}

void print_inspect_text(const PackFile& pack, const PackDetails& details) {
  std::printf("tag: %s\n", printable(details.tag.text).c_str());
  std::printf("flags: %s\n", flag_letters(details.flags).c_str());
  std::printf("body_size: %u\n", details.body_size);
  std::printf("entries: %d\n", pack.ids.count);
  std::printf("%11s %11s %11s %11s\n", "id", "offset", "size", "extra");
  for (int32_t i = 0; i < pack.ids.count; ++i)
    std::printf("%11d %11d %11d %11d\n", pack.ids.data[i], pack.offsets.data[i], pack.sizes.data[i], pack.extras.data[i]);
}

void print_inspect_json(const PackFile& pack, const PackDetails& details) {
  std::printf("{\"tag\": %s, \"flags\": %s, \"body_size\": %u, \"entries\": [", json_string(details.tag.text).c_str(),
              json_string(flag_letters(details.flags).c_str()).c_str(), details.body_size);
  for (int32_t i = 0; i < pack.ids.count; ++i) {
    std::printf("%s{\"id\": %d, \"offset\": %d, \"size\": %d, \"extra\": %d}", i == 0 ? "" : ", ", pack.ids.data[i],
                pack.offsets.data[i], pack.sizes.data[i], pack.extras.data[i]);
  }
  std::printf("]}\n");
}

int run_inspect(const Command& self, int argc, char** argv) {
  const char* path = nullptr;
  bool json = false;
  for (int i = 1; i < argc; ++i) {
    if (is_help(argv[i])) {
      print_command_usage(stdout, self);
      return 0;
    }
    if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
      return usage_error(self, (std::string("unknown option ") + argv[i]).c_str());
    } else if (path != nullptr) {
      return usage_error(self, "more than one FILE");
    } else {
      path = argv[i];
    }
  }
  if (path == nullptr) return usage_error(self, "no FILE given");

  PackFile pack;
  PackDetails details;
  if (!open(pack, path, &details)) {
    std::fprintf(stderr, "velissa-pack: %s: %s\n", path, details.problem);
    return kExitFailed;
  }
  if (details.decompress_failed) std::fprintf(stderr, "velissa-pack: %s: warning: body failed to decompress\n", path);
  if (details.dropped_rows > 0)
    std::fprintf(stderr, "velissa-pack: %s: warning: %d malformed rows dropped\n", path, details.dropped_rows);
  if (json) {
    print_inspect_json(pack, details);
  } else {
    print_inspect_text(pack, details);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    print_usage(stderr);
    return kExitUsage;
  }
  if (is_help(argv[1]) || std::strcmp(argv[1], "help") == 0) {
    print_usage(stdout);
    return 0;
  }
  for (const Command& command : kCommands)
    if (std::strcmp(command.name, argv[1]) == 0) return command.run(command, argc - 1, argv + 1);
  std::fprintf(stderr, "velissa-pack: unknown command '%s'\n", argv[1]);
  print_usage(stderr);
  return kExitUsage;
}
