// Fuzz target: any bytes as the catalogue entry (entry 0) of a package, read as the catalogue scan and
// the installer of a dropped package read it. Both must agree with the lines read on their own.
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "catalogue/catalogue.h"
#include "catalogue/installer.h"
#include "fuzz_support.h"
#include "package/pack_writer.h"
#include "platform/headless/headless.h"

namespace {

bool terminated(const FixedString& text) {
  return text.length >= 0 && text.length <= FixedString::kMaxLength && text.text[text.length] == '\0' &&
         std::strlen(text.text) == static_cast<size_t>(text.length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string scan_directory = scratch_file("scan");
  static const std::string base = scratch_file("base");
  static const std::string path = scratch_file("scan/input.dat");
  static const std::string installed = scratch_file("base/anim/input.dat");
  static const bool ready = [] {
    std::filesystem::create_directories(scan_directory);
    std::filesystem::create_directories(base + "/anim");
    return platform_set_current_directory(scan_directory.c_str());
  }();
  FUZZ_CHECK(ready);
  if (size > INT32_MAX) return 0;

  PackBuilder builder;
  add_entry(builder, 0, data, static_cast<int32_t>(size));
  if (!write_package(builder, "pck01", path.c_str())) return 0;
  headless_reset();

  PackFile pack;
  CatalogueLines lines;
  FUZZ_CHECK(open(pack, path.c_str()));
  FUZZ_CHECK(read_catalogue_lines(pack, lines));
  FUZZ_CHECK(terminated(lines.header) && terminated(lines.second_line) && terminated(lines.name));
  const bool accepted = lines.version == kCatalogueVersion;

  static Catalogue catalogue;
  static IntArray menu_ids;
  int32_t match = -1;
  scan_catalogue(catalogue, menu_ids, lines.name.text, match);
  FUZZ_CHECK(row_count(catalogue) == (accepted ? 1 : 0));
  if (accepted) {
    const CatalogueEntry& row = catalogue.rows[0];
    FUZZ_CHECK(std::strcmp(row.name.text, lines.name.text) == 0 && row.x == lines.x && row.y == lines.y);
    FUZZ_CHECK(row.package != nullptr && match == (lines.name.length > 0 ? 0 : -1));
  }
  FUZZ_CHECK(headless_message_boxes().size() == (accepted ? 0u : 1u));

  // The installer also wants the offsets line and a package it could show; it copies what it accepts
  // into base/anim.
  CatalogueLines checked;
  const bool installable = check_catalogue_entry(pack, checked) == ENTRY_INSTALLABLE;
  FUZZ_CHECK(installable == (accepted && lines.offsets_read));
  const InstallContext context{base.c_str(), nullptr};
  char name[kInstallNameSize] = "";
  const int32_t count = install_file(context, path.c_str(), name);
  // A package of a catalogue entry alone has nothing to show, so the installer may refuse even an
  // installable entry; it never installs one the entry check refuses.
  FUZZ_CHECK(count == 0 || (count == 1 && installable));
  FUZZ_CHECK(std::filesystem::exists(installed) == (count == 1));
  FUZZ_CHECK(count == 0 || std::strncmp(name, lines.name.text, kInstallNameSize - 1) == 0);
  std::remove(installed.c_str());
  release_rows(catalogue);
  return 0;
}
