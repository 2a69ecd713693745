#include "package/pack_file.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "foundation/record_form.h"
#include "package/record_reader.h"
#include "package/square_transpose.h"
#include "package/trace_log.h"

namespace {

bool fail(PackDetails& details, const char* problem) {
  details.problem = problem;
  return false;
}

// The bytes from the position now to the end of the file; -1 when the stream cannot tell.
int64_t bytes_to_end(FILE* file) {
  long here = std::ftell(file);
  if (here < 0 || std::fseek(file, 0, SEEK_END) != 0) return -1;
  long end = std::ftell(file);
  if (std::fseek(file, here, SEEK_SET) != 0 || end < here) return -1;
  return end - here;
}

// Reads the tag, U and the stored body (one read call); on success body holds the stored body.
bool read_stored(FILE* file, uint32_t max_body, PackDetails& details, int32_t& expanded_size, unsigned char*& stored) {
  read_from(details.tag, file);
  if (details.tag.length <= 0) return fail(details, "not a package: no tag");
  if (!equals_prefix(details.tag, "pck01", 5) && !equals_prefix(details.tag, "pck02", 5))
    return fail(details, "not a package: unknown tag");
  details.flags = flags_of_tag(details.tag.text);
  expanded_size = 0;
  if (details.flags.compressed) {
    int32_t value = 0;
    if (std::fread(&value, sizeof value, 1, file) == 1) expanded_size = value;
  }
  int64_t length = bytes_to_end(file);
  if (length < 0) return fail(details, "cannot measure the file");
  if (length > max_body) return fail(details, "stored body too large");
  stored = static_cast<unsigned char*>(std::malloc(length > 0 ? static_cast<size_t>(length) : 1));
  if (stored == nullptr) return fail(details, "out of memory");
  // Should the file shrink meanwhile, the body is what could be read.
  details.stored_size = static_cast<uint32_t>(std::fread(stored, 1, static_cast<size_t>(length), file));
  return true;
}

enum InflateEnd { INFLATED, INFLATE_FAILED, INFLATE_TOO_LARGE, INFLATE_NO_MEMORY };

// Inflates the zlib stream into out, a buffer that grows with the output actually produced, up to limit
// bytes (as uncompress with a destination of limit bytes: more output than that is a failure). With
// limit_is_bound, output beyond limit is a body too large instead. produced: the bytes kept in out.
InflateEnd inflate_growing(const unsigned char* in, uint32_t in_length, uint32_t limit, bool limit_is_bound,
                           unsigned char*& out, uint32_t& produced) {
  produced = 0;
  out = nullptr;
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return INFLATE_NO_MEMORY;
  stream.next_in = const_cast<Bytef*>(in);
  stream.avail_in = in_length;
  constexpr uint64_t kFirstPiece = 64u << 10;
  uint64_t capacity = std::min<uint64_t>(std::max<uint64_t>(uint64_t{in_length} * 4, kFirstPiece), limit);
  out = static_cast<unsigned char*>(std::malloc(capacity > 0 ? static_cast<size_t>(capacity) : 1));
  InflateEnd end = out != nullptr ? INFLATE_FAILED : INFLATE_NO_MEMORY;
  while (out != nullptr) {
    unsigned char spare = 0;  // a full buffer takes one more byte here, to see whether the stream has more
    const bool full = stream.total_out >= limit;
    if (!full && stream.total_out == capacity) {
      const uint64_t grown = std::min<uint64_t>(capacity * 2, limit);
      auto* larger = static_cast<unsigned char*>(std::realloc(out, static_cast<size_t>(grown)));
      if (larger == nullptr) {
        end = INFLATE_NO_MEMORY;
        break;
      }
      out = larger;
      capacity = grown;
    }
    stream.next_out = full ? &spare : out + stream.total_out;
    stream.avail_out = full ? 1u : static_cast<uInt>(capacity - stream.total_out);
    const int result = inflate(&stream, Z_NO_FLUSH);
    if (stream.total_out > limit) {
      end = limit_is_bound ? INFLATE_TOO_LARGE : INFLATE_FAILED;
      break;
    }
    if (result == Z_STREAM_END) {
      end = INFLATED;
      break;
    }
    if (result != Z_OK) break;  // damaged, or the input ends before the stream does
  }
  produced = static_cast<uint32_t>(std::min<uint64_t>(stream.total_out, limit));
  inflateEnd(&stream);
  if (end == INFLATE_NO_MEMORY || end == INFLATE_TOO_LARGE) {
    std::free(out);
    out = nullptr;
    return end;
  }
  // Give back what the last doubling did not use.
  if (produced > 0 && produced < capacity) {
    if (auto* fitted = static_cast<unsigned char*>(std::realloc(out, produced))) out = fitted;
  }
  return end;
}

// Replaces the stored body by its decompression. The length is what zlib produced, even on failure.
bool inflate_body(PackDetails& details, int32_t expanded_size, uint32_t max_body, unsigned char*& body,
                  uint32_t& length) {
  if (expanded_size < 0 || static_cast<uint64_t>(expanded_size) > static_cast<uint64_t>(length) * kMaxInflateRatio)
    return fail(details, "decoded size out of bounds");
  const bool bounded = static_cast<uint32_t>(expanded_size) > max_body;
  const uint32_t limit = bounded ? max_body : static_cast<uint32_t>(expanded_size);
  unsigned char* expanded = nullptr;
  uint32_t produced = 0;
  const InflateEnd end = inflate_growing(body, length, limit, bounded, expanded, produced);
  if (end == INFLATE_NO_MEMORY) return fail(details, "out of memory");
  if (end == INFLATE_TOO_LARGE) return fail(details, "decoded body too large");
  if (end == INFLATE_FAILED) {
    trace("uncompress failed\n");
    details.decompress_failed = true;
  }
  std::free(body);
  body = expanded;
  length = produced;
  return true;
}

bool row_inside(int32_t offset, int32_t size, uint32_t data_size) {
  return offset >= 0 && size >= 0 && static_cast<int64_t>(offset) + size <= static_cast<int64_t>(data_size);
}

// Keeps the rows that all four lists have and whose bytes lie inside the data block, in order.
void keep_sound_rows(PackFile& pack, PackDetails& details) {
  int32_t rows = pack.ids.count;
  int32_t longest = rows;
  for (const IntArray* list : {&pack.offsets, &pack.sizes, &pack.extras}) {
    if (list->count < rows) rows = list->count;
    if (list->count > longest) longest = list->count;
  }
  int32_t kept = 0;
  for (int32_t i = 0; i < rows; ++i) {
    if (!row_inside(pack.offsets.data[i], pack.sizes.data[i], pack.data_size)) continue;
    for (IntArray* list : {&pack.ids, &pack.offsets, &pack.sizes, &pack.extras}) list->data[kept] = list->data[i];
    ++kept;
  }
  for (IntArray* list : {&pack.ids, &pack.offsets, &pack.sizes, &pack.extras}) list->count = kept;
  details.dropped_rows = longest - kept;
}

}  // namespace

PackFile::~PackFile() { release(*this); }

PackFlags flags_of_tag(const char* tag) {
  PackFlags flags;
  if (tag == nullptr || std::strlen(tag) <= 5) return flags;
  for (const char* letter = tag + 5; *letter != '\0'; ++letter) {
    if (*letter == 'z') flags.compressed = true;
    if (*letter == 's') flags.transposed = true;
  }
  return flags;
}

bool open(PackFile& pack, const char* path, PackDetails* details) { return open_within(pack, path, kMaxPackBody, details); }

bool open_within(PackFile& pack, const char* path, uint32_t max_body, PackDetails* details_out) {
  PackDetails local;
  PackDetails& details = details_out != nullptr ? *details_out : local;
  details = PackDetails();
  release(pack);
  if (path == nullptr) return fail(details, "cannot open the file");
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return fail(details, "cannot open the file");
  int32_t expanded_size = 0;
  unsigned char* body = nullptr;
  bool read = read_stored(file, max_body, details, expanded_size, body);
  std::fclose(file);
  if (!read) return false;

  uint32_t length = details.stored_size;
  if (details.flags.compressed && !inflate_body(details, expanded_size, max_body, body, length)) {
    std::free(body);
    return false;
  }
  if (details.flags.transposed) square_transpose(body, length);
  details.body_size = length;

  // The data block stays where it lies in the decoded body: no copy.
  ByteReader directory;
  init(directory, body, static_cast<int32_t>(length));
  read_int_array(directory, pack.ids);
  read_int_array(directory, pack.offsets);
  read_int_array(directory, pack.sizes);
  read_int_array(directory, pack.extras);
  pack.body = body;
  pack.data = directory.cursor;
  pack.data_size = static_cast<uint32_t>(directory.remaining);
  keep_sound_rows(pack, details);

  // The row count is the file's claim: a table that does not fit in memory refuses the package.
  try {
    pack.entries.resize(static_cast<size_t>(pack.offsets.count));
  } catch (const std::exception&) {
    release(pack);
    return fail(details, "out of memory");
  }
  for (int32_t i = 0; i < pack.offsets.count; ++i)
    init(pack.entries[i], pack.data + pack.offsets.data[i], pack.sizes.data[i]);
  return true;
}

uint32_t decoded_size(const PackFile& pack) {
  return pack.body != nullptr ? static_cast<uint32_t>(pack.data + pack.data_size - pack.body) : 0;
}

ByteReader* find_entry(PackFile& pack, int32_t id) {
  for (int32_t i = 0; i < pack.ids.count; ++i) {
    if (pack.ids.data[i] == id) {
      rewind(pack.entries[i]);
      return &pack.entries[i];
    }
  }
  return nullptr;
}

int32_t extra_of(const PackFile& pack, int32_t id) {
  for (int32_t i = 0; i < pack.ids.count; ++i)
    if (pack.ids.data[i] == id) return pack.extras.data[i];
  return -1;
}

void release(PackFile& pack) {
  std::free(pack.body);
  pack.body = nullptr;
  pack.data = nullptr;
  pack.data_size = 0;
  release(pack.ids);
  release(pack.offsets);
  release(pack.sizes);
  release(pack.extras);
  decltype(pack.entries)().swap(pack.entries);
}
