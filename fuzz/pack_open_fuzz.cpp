// Fuzz target: any bytes as a package file. Open must fail cleanly or give four lists of one length
// whose every entry lies inside the data block; every entry is then read to its last byte. The bound on
// the decoded body is small here, so that inputs reach it (and what U claims beyond it) as bombs would.
#include <cstdint>

#include "fuzz_support.h"
#include "package/pack_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = scratch_file("input.dat");
  if (!write_input(path, data, size)) return 0;

  constexpr uint32_t kBound = 64 << 10;
  PackFile pack;
  PackDetails details;
  if (!open_within(pack, path.c_str(), kBound, &details)) {
    FUZZ_CHECK(details.problem != nullptr);
    FUZZ_CHECK(pack.body == nullptr && pack.ids.count == 0 && pack.entries.empty());
    return 0;
  }
  const int32_t rows = pack.ids.count;
  FUZZ_CHECK(pack.offsets.count == rows && pack.sizes.count == rows && pack.extras.count == rows);
  FUZZ_CHECK(pack.entries.size() == static_cast<size_t>(rows));
  FUZZ_CHECK(pack.data_size <= details.body_size);
  FUZZ_CHECK(details.body_size <= kBound && decoded_size(pack) == details.body_size);

  unsigned checksum = 0;
  for (int32_t i = 0; i < rows; ++i) {
    ByteReader* entry = find_entry(pack, pack.ids.data[i]);
    FUZZ_CHECK(entry != nullptr);
    FUZZ_CHECK(entry->base >= pack.data && entry->base + entry->size <= pack.data + pack.data_size);
    // Touch every byte so that a reader outside the body shows up under AddressSanitizer.
    for (const unsigned char* byte = take(*entry, entry->remaining); byte != nullptr && byte < entry->cursor; ++byte)
      checksum += *byte;
    checksum += static_cast<unsigned>(extra_of(pack, pack.ids.data[i]));
  }
  // Keeps the reads from being optimised away.
  volatile unsigned sink = checksum;
  (void)sink;
  return 0;
}
