// Fuzz target: any bytes as a package file whose entry 1 is loaded as the animation description, every
// frame then decoded from the package's JPEG entries and presented.
#include <cstdint>

#include "description_fuzz.h"
#include "package/pack_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = scratch_file("input.dat");
  AnimationPlayer& player = fuzz_player();
  if (!write_input(path, data, size)) return 0;

  PackFile pack;
  if (!open(pack, path.c_str())) return 0;
  load_from_package(player, &pack, 1);
  present_every_frame(player);
  release_and_check(player);
  return 0;
}
