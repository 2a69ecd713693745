// Fuzz target: any bytes as the file that "velissa-pack inspect" reports on (a package or an archive),
// in text and in JSON, through the tool's library.
#include <cstdint>
#include <cstdio>

#include "fuzz_support.h"
#include "tools/velissa_pack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = scratch_file("input");
  static FILE* const sink = std::fopen("/dev/null", "w");  // the reports themselves
  FUZZ_CHECK(sink != nullptr);
  if (!write_input(path, data, size)) return 0;

  const int text_status = inspect_file(path.c_str(), false, sink, sink);
  const int json_status = inspect_file(path.c_str(), true, sink, sink);
  FUZZ_CHECK((text_status == kExitSuccess || text_status == kExitRefused) && json_status == text_status);
  return 0;
}
