// Fuzz target: any bytes as a description file, loaded and every frame presented. Its image names are
// file names: the directory holds a colour and an alpha JPEG ("c.jpg", "a.jpg") and the description
// itself ("input.ksd"), which the library may be asked to decode as an image too.
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "description_fuzz.h"
#include "support/test_packages.h"

namespace {

// A name with a separator reaches files outside the scratch directory ("/dev/zero" never ends): such
// a description is loaded and released but not presented.
bool names_stay_inside(const StringArray& names) {
  for (int32_t i = 0; i < names.count; ++i)
    if (names.data[i] != nullptr && std::strpbrk(names.data[i], "/\\") != nullptr) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string directory = scratch_file("files");
  static const bool ready = [] {
    std::filesystem::create_directories(directory);
    const Bytes colour = flat_color_jpeg(8, 8, 200, 120, 40);  // before the player initialises the library
    const Bytes alpha = flat_alpha_jpeg(8, 8, 180);
    return write_input(directory + "/c.jpg", colour.data(), colour.size()) &&
           write_input(directory + "/a.jpg", alpha.data(), alpha.size()) &&
           platform_set_current_directory(directory.c_str());
  }();
  FUZZ_CHECK(ready);
  AnimationPlayer& player = fuzz_player();
  if (!write_input("input.ksd", data, size)) return 0;

  load_from_file(player, "input.ksd");
  if (names_stay_inside(player.color_images) && names_stay_inside(player.alpha_images)) present_every_frame(player);
  release_and_check(player);
  return 0;
}
