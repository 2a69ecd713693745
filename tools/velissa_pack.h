// velissa-pack, the authoring tool for packages and ".kar" archives, as a library: the program's main
// is a thin wrapper around velissa_pack_run, and tests and fuzz targets run the commands in-process.
#pragma once

#include <cstdio>

// Exit statuses of every command.
constexpr int kExitSuccess = 0;
constexpr int kExitRefused = 1;  // refused input: one line saying why on the error stream
constexpr int kExitUsage = 2;    // a usage error: what was wrong, then the command's usage

// Runs the command line argv[1] ... argv[argc - 1] (argv[0] is the program's name): normal output to
// out, messages to err. Returns the exit status. Never writes outside the paths the command names.
int velissa_pack_run(int argc, char** argv, FILE* out, FILE* err);

// The inspect command on one file: a package's tag, entries, catalogue entry and description, or an
// archive's members; as text or as JSON (the shape is in the command's --help). kExitRefused when the
// file is neither, or an archive breaks off (what was read before is printed).
int inspect_file(const char* path, bool json, FILE* out, FILE* err);
