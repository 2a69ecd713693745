// PackFile: a package file read wholly into memory in one go, decoded (zlib, square transposition),
// its directory parsed and every entry served as a ByteReader over the data block. No disk access after open.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "foundation/arrays.h"
#include "foundation/fixed_string.h"
#include "package/byte_reader.h"

// File layout (little-endian): tag length L, tag ("pck01"/"pck02" then flag letters), the decoded body
// size U when the tag holds "z", then the stored body. Flags: "z" zlib stream, "s" square transposition;
// decoding always decompresses first. Decoded body: four integer lists (ids, offsets, sizes, extras),
// then the data block; row i is entry ids[i], sizes[i] bytes at data + offsets[i].
//
// Bounds on bad packages: a stored body above kMaxPackBody, a negative U, or a U above what zlib could
// expand the stored bytes to (kMaxInflateRatio) make open fail; so does a body that decodes to more than
// kMaxPackBody bytes, whatever U claims. U is a claim, not a size to allocate: the body grows with what
// zlib really produces (never past U). Rows are kept only when all four lists have them and the entry
// lies wholly inside the data block; other rows are dropped, so after open the four lists and entries
// always have one count and every reader lies inside data. Memory that runs out fails the open.
constexpr uint32_t kMaxPackBody = 256u << 20;
constexpr uint32_t kMaxInflateRatio = 1032;

// The flag letters of a tag: every character after the fifth, up to its end; others are ignored.
struct PackFlags {
  bool compressed = false;  // "z"
  bool transposed = false;  // "s"
};
PackFlags flags_of_tag(const char* tag);

// Allocates with malloc and throws std::bad_alloc when it fails, so that a table sized by a file fails
// as a refusal also where the runtime's operator new cannot return (a sanitizer, a hard limit).
template <class T>
struct MallocAllocator {
  typedef T value_type;
  MallocAllocator() = default;
  template <class U>
  MallocAllocator(const MallocAllocator<U>&) {}
  T* allocate(size_t n);
  void deallocate(T* p, size_t) { std::free(p); }
};
template <class T>
T* MallocAllocator<T>::allocate(size_t n) {
  void* block = n <= SIZE_MAX / sizeof(T) ? std::malloc(n * sizeof(T)) : nullptr;
  if (block == nullptr) throw std::bad_alloc();
  return static_cast<T*>(block);
}
template <class T, class U>
bool operator==(const MallocAllocator<T>&, const MallocAllocator<U>&) { return true; }
template <class T, class U>
bool operator!=(const MallocAllocator<T>&, const MallocAllocator<U>&) { return false; }

struct PackFile {
  const unsigned char* data = nullptr;  // the data block: the tail of body
  uint32_t data_size = 0;
  IntArray ids;
  IntArray offsets;
  IntArray sizes;
  IntArray extras;
  std::vector<ByteReader, MallocAllocator<ByteReader>> entries;  // one per row, over data + offsets[i]
  unsigned char* body = nullptr;    // the decoded body, owned (malloc)

  PackFile() = default;
  ~PackFile();
  PackFile(const PackFile&) = delete;
  PackFile& operator=(const PackFile&) = delete;
};

// What open saw, for tools that report on a package.
struct PackDetails {
  FixedString tag;
  PackFlags flags;
  bool decompress_failed = false;  // traced as "uncompress failed"; open still succeeds
  uint32_t stored_size = 0;        // bytes after the tag (and U) in the file
  uint32_t body_size = 0;          // bytes of the decoded body
  int32_t dropped_rows = 0;        // rows dropped by the bounds above
  const char* problem = nullptr;   // why open failed; null when it succeeded
};

// Releases the pack, then reads the package at path. False on failure, with the pack empty. A body that
// fails to decompress is traced and parsed from what zlib produced (the rest of the buffer is zero).
bool open(PackFile& pack, const char* path, PackDetails* details = nullptr);
// open with another bound than kMaxPackBody on the stored and the decoded body (fuzzing reaches it).
bool open_within(PackFile& pack, const char* path, uint32_t max_body, PackDetails* details = nullptr);
// The decoded body's size in bytes: what the pack holds in memory, beside its small lists.
uint32_t decoded_size(const PackFile& pack);

// The reader of the first row with this id, rewound to its first byte; null when no row has it. The
// reader stays owned by the pack and valid until it is released, opened again or destroyed.
ByteReader* find_entry(PackFile& pack, int32_t id);

// extras[i] of the first row with this id; -1 when no row has it.
int32_t extra_of(const PackFile& pack, int32_t id);

// Frees the body and the readers and empties the lists.
void release(PackFile& pack);
