// Writes package files: a directory of rows and a data block, encoded under any tag, transposed and
// then zlib-compressed as the tag's flag letters ask ("z", "s"), to a memory buffer or a file.
#pragma once

#include <cstdint>
#include <vector>

// The four lists are kept apart so that a directory may be built malformed on purpose (unequal lists,
// rows pointing anywhere); add_entry keeps them in step.
struct PackBuilder {
  std::vector<int32_t> ids;
  std::vector<int32_t> offsets;
  std::vector<int32_t> sizes;
  std::vector<int32_t> extras;
  std::vector<unsigned char> data;  // the data block
};

// Appends size bytes to the data block and a row that covers them.
void add_entry(PackBuilder& builder, int32_t id, const void* bytes, int32_t size, int32_t extra = 0);

// Appends a row exactly as given, without data.
void add_row(PackBuilder& builder, int32_t id, int32_t offset, int32_t size, int32_t extra = 0);

// The decoded body: the four integer lists, then the data block.
std::vector<unsigned char> encode_body(const PackBuilder& builder);

// The whole package file under tag (its flag letters choose the encoding). False when the body is too
// large for the format or compression fails.
bool encode_package(const PackBuilder& builder, const char* tag, std::vector<unsigned char>& file);

// As encode_package, written to path; false also when the file cannot be written.
bool write_package(const PackBuilder& builder, const char* tag, const char* path);
