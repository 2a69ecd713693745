// Writes ".kar" archives: the tag "kar.1.0", a member count, then each member's name and content. The
// append functions write one field at a time, so that malformed archives can be made on purpose.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr char kArchiveTag[] = "kar.1.0";

struct ArchiveMember {
  std::string name;  // any bytes; a plain file name in a well-formed archive
  std::vector<unsigned char> content;
};

// One field each, little-endian: a 32-bit integer, a text record (length, then the bytes), raw bytes.
void append_int32(std::vector<unsigned char>& out, int32_t value);
void append_text(std::vector<unsigned char>& out, const std::string& text);
void append_bytes(std::vector<unsigned char>& out, const void* bytes, size_t size);
// The member's name record, its size and its content.
void append_member(std::vector<unsigned char>& out, const ArchiveMember& member);

// The whole archive; false when a name or a content is too long for a 32-bit length.
bool encode_archive(const std::vector<ArchiveMember>& members, std::vector<unsigned char>& archive);
// As encode_archive, written to path; false also when the file cannot be written.
bool write_archive(const std::vector<ArchiveMember>& members, const char* path);
