#include "package/pack_writer.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>

#include "package/pack_file.h"
#include "package/square_transpose.h"

namespace {

void put_int32(std::vector<unsigned char>& out, int32_t value) {
  unsigned char bytes[4];
  std::memcpy(bytes, &value, 4);  // hosts are little-endian
  out.insert(out.end(), bytes, bytes + 4);
}

void put_list(std::vector<unsigned char>& out, const std::vector<int32_t>& list) {
  put_int32(out, static_cast<int32_t>(list.size()));
  for (int32_t value : list) put_int32(out, value);
}

}  // namespace

void add_entry(PackBuilder& builder, int32_t id, const void* bytes, int32_t size, int32_t extra) {
  add_row(builder, id, static_cast<int32_t>(builder.data.size()), size, extra);
  const auto* first = static_cast<const unsigned char*>(bytes);
  if (size > 0) builder.data.insert(builder.data.end(), first, first + size);
}

void add_row(PackBuilder& builder, int32_t id, int32_t offset, int32_t size, int32_t extra) {
  builder.ids.push_back(id);
  builder.offsets.push_back(offset);
  builder.sizes.push_back(size);
  builder.extras.push_back(extra);
}

std::vector<unsigned char> encode_body(const PackBuilder& builder) {
  std::vector<unsigned char> body;
  put_list(body, builder.ids);
  put_list(body, builder.offsets);
  put_list(body, builder.sizes);
  put_list(body, builder.extras);
  body.insert(body.end(), builder.data.begin(), builder.data.end());
  return body;
}

bool encode_package(const PackBuilder& builder, const char* tag, std::vector<unsigned char>& file) {
  file.clear();
  std::vector<unsigned char> body = encode_body(builder);
  if (body.size() > kMaxPackBody) return false;
  PackFlags flags = flags_of_tag(tag);
  // The reader decompresses first and transposes second, so the writer does the reverse.
  if (flags.transposed) square_transpose(body.data(), static_cast<uint32_t>(body.size()));

  size_t tag_length = tag == nullptr ? 0 : std::strlen(tag);
  put_int32(file, static_cast<int32_t>(tag_length));
  file.insert(file.end(), tag, tag + tag_length);
  if (!flags.compressed) {
    file.insert(file.end(), body.begin(), body.end());
    return true;
  }
  put_int32(file, static_cast<int32_t>(body.size()));
  uLongf stored = compressBound(static_cast<uLong>(body.size()));
  size_t header = file.size();
  file.resize(header + stored);
  if (compress2(file.data() + header, &stored, body.data(), static_cast<uLong>(body.size()), Z_BEST_COMPRESSION) != Z_OK) {
    file.clear();
    return false;
  }
  file.resize(header + stored);
  return true;
}

bool write_package(const PackBuilder& builder, const char* tag, const char* path) {
  std::vector<unsigned char> bytes;
  if (!encode_package(builder, tag, bytes)) return false;
  FILE* out = std::fopen(path, "wb");
  if (out == nullptr) return false;
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  return std::fclose(out) == 0 && written;
}
