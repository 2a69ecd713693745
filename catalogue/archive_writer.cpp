#include "catalogue/archive_writer.h"

#include <cstdio>
#include <cstring>

void append_int32(std::vector<unsigned char>& out, int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<unsigned char>(bits >> shift));
}

void append_bytes(std::vector<unsigned char>& out, const void* bytes, size_t size) {
  const auto* first = static_cast<const unsigned char*>(bytes);
  out.insert(out.end(), first, first + size);
}

void append_text(std::vector<unsigned char>& out, const std::string& text) {
  append_int32(out, static_cast<int32_t>(text.size()));
  append_bytes(out, text.data(), text.size());
}

void append_member(std::vector<unsigned char>& out, const ArchiveMember& member) {
  append_text(out, member.name);
  append_int32(out, static_cast<int32_t>(member.content.size()));
  append_bytes(out, member.content.data(), member.content.size());
}

bool encode_archive(const std::vector<ArchiveMember>& members, std::vector<unsigned char>& archive) {
  archive.clear();
  if (members.size() > INT32_MAX) return false;
  for (const ArchiveMember& member : members)
    if (member.name.size() > INT32_MAX || member.content.size() > INT32_MAX) return false;
  append_text(archive, kArchiveTag);
  append_int32(archive, static_cast<int32_t>(members.size()));
  for (const ArchiveMember& member : members) append_member(archive, member);
  return true;
}

bool write_archive(const std::vector<ArchiveMember>& members, const char* path) {
  std::vector<unsigned char> archive;
  if (!encode_archive(members, archive)) return false;
  FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(archive.data(), 1, archive.size(), file) == archive.size();
  return std::fclose(file) == 0 && written;
}
