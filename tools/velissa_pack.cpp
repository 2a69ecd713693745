// velissa-pack's command table and dispatch: "velissa-pack COMMAND ...", with "kar" grouping the
// archive commands ("velissa-pack kar create ...").
#include "tools/velissa_pack.h"

#include <cstring>
#include <string>

#include "tools/commands.h"

namespace {

const Command* const kCommands[] = {&kCreateCommand,    &kInspectCommand, &kVerifyCommand,    &kRenderCommand,
                                    &kKarCreateCommand, &kKarListCommand, &kKarExtractCommand};

bool is_help(const char* arg) { return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0; }

// The commands whose name begins with prefix ("" for all, "kar " for the archive commands).
void print_usage(FILE* out, const char* prefix) {
  std::fprintf(out, "usage: velissa-pack COMMAND [ARGS]\n\ncommands:\n");
  for (const Command* command : kCommands)
    if (std::strncmp(command->name, prefix, std::strlen(prefix)) == 0)
      std::fprintf(out, "  %s %s\n      %s\n", command->name, command->usage, command->summary);
  std::fprintf(out,
               "\nvelissa-pack COMMAND --help prints the options of one command. Exit status: 0 on success, 1\n"
               "when the input is refused (the reason on one line of standard error), 2 on a usage error.\n");
}

}  // namespace

int velissa_pack_run(int argc, char** argv, FILE* out, FILE* err) {
  const ToolStreams io{out, err};
  if (argc < 2) {
    print_usage(err, "");
    return kExitUsage;
  }
  if (is_help(argv[1]) || std::strcmp(argv[1], "help") == 0) {
    print_usage(out, "");
    return kExitSuccess;
  }
  // "kar NAME" is one command of two words; its arguments start after NAME.
  std::string name = argv[1];
  int first = 1;
  if (name == "kar") {
    if (argc < 3 || is_help(argv[2])) {
      print_usage(argc < 3 ? err : out, "kar ");
      return argc < 3 ? kExitUsage : kExitSuccess;
    }
    name += std::string(" ") + argv[2];
    first = 2;
  }
  for (const Command* command : kCommands)
    if (name == command->name) return command->run(*command, argc - first, argv + first, io);
  std::fprintf(err, "velissa-pack: unknown command '%s'\n", name.c_str());
  print_usage(err, "");
  return kExitUsage;
}
