// Fuzz target: any bytes as the package that "velissa-pack inspect" reports on, in text and in JSON.
// The tool's main is compiled under another name (see CMakeLists.txt) and called in-process.
#include <cstdint>
#include <cstdio>

#include "fuzz_support.h"

int velissa_pack_main(int argc, char** argv);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string path = scratch_file("input.dat");
  static const bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr;  // the reports themselves
  FUZZ_CHECK(quiet);
  if (!write_input(path, data, size)) return 0;

  char tool[] = "velissa-pack";
  char command[] = "inspect";
  char json[] = "--json";
  char* text_args[] = {tool, command, path.data(), nullptr};
  char* json_args[] = {tool, command, path.data(), json, nullptr};
  const int text_status = velissa_pack_main(3, text_args);
  const int json_status = velissa_pack_main(4, json_args);
  FUZZ_CHECK((text_status == 0 || text_status == 1) && json_status == text_status);
  return 0;
}
