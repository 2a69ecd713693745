// Fuzz target: any bytes as a dropped ".kar" archive, unpacked and its members installed into a base
// directory. After each input, nothing outside base/anim and base/tmp may have changed, base/anim holds
// only plain files (the installed packages) and base/tmp is gone or empty.
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>

#include "catalogue/installer.h"
#include "fuzz_support.h"
#include "platform/headless/headless.h"

namespace fs = std::filesystem;

namespace {

struct Seen {
  bool directory;
  uintmax_t size;
  fs::file_time_type written;
  bool operator==(const Seen& other) const {
    return directory == other.directory && size == other.size && written == other.written;
  }
};

// Everything below root but what lies inside the two directories the installer may write.
std::map<std::string, Seen> snapshot(const fs::path& root, const fs::path& anim, const fs::path& temp) {
  std::map<std::string, Seen> seen;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const fs::path& path = it->path();
    if (path.parent_path() == anim || path == temp) {
      if (it->is_directory() && !it->is_symlink()) it.disable_recursion_pending();
      if (path == temp) continue;
      FUZZ_CHECK(it->is_regular_file() && !it->is_symlink());  // anim receives package files only
      continue;
    }
    // A directory's time changes with its entries, which the listing itself compares.
    const bool directory = it->is_directory();
    seen[path.string()] =
        directory ? Seen{true, 0, fs::file_time_type()} : Seen{false, it->file_size(), it->last_write_time()};
  }
  FUZZ_CHECK(!ec);
  return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fs::path root = scratch_directory();
  static const fs::path base = root / "box" / "base";
  static const fs::path anim = base / "anim";
  static const fs::path temp = base / "tmp";
  static const std::string base_text = base.string();
  static const std::string path = (root / "box" / "drops" / "input.kar").string();
  static const bool ready = [] {
    fs::create_directories(anim);
    fs::create_directories(root / "box" / "drops");
    return true;
  }();
  (void)ready;
  if (!write_input(path, data, size)) return 0;
  headless_reset();

  const std::map<std::string, Seen> before = snapshot(root, anim, temp);
  const InstallContext context{base_text.c_str(), nullptr};
  char name[kInstallNameSize] = "";
  const int32_t installed = install_file(context, path.c_str(), name);
  FUZZ_CHECK(snapshot(root, anim, temp) == before);

  int32_t files = 0;
  for (const auto& entry : fs::directory_iterator(anim)) {
    (void)entry;
    ++files;
  }
  // Fewer when a later member stops the unpacking: the members before it stay installed.
  FUZZ_CHECK(installed <= files);
  FUZZ_CHECK(!fs::exists(temp) || fs::is_empty(temp));

  std::error_code ignored;
  fs::remove_all(temp, ignored);
  for (const auto& entry : fs::directory_iterator(anim)) fs::remove(entry.path(), ignored);
  return 0;
}
