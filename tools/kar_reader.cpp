#include "tools/kar_reader.h"

#include <cstdio>

#include "catalogue/archive_writer.h"
#include "catalogue/installer.h"
#include "foundation/record_form.h"
#include "package/record_reader.h"
#include "tools/tool_common.h"

namespace {

// Points the reader at the bytes and reads the tag; false when the bytes are beyond a reader's reach.
bool read_tag(KarReader& kar, const std::vector<unsigned char>& bytes, FixedString& tag) {
  kar = KarReader();
  if (bytes.size() > INT32_MAX) return false;
  init(kar.reader, bytes.data(), static_cast<int32_t>(bytes.size()));
  read_fixed_string(kar.reader, tag);
  return true;
}

}  // namespace

bool is_kar_file(const char* path) {
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  FixedString tag;
  read_from(tag, file);
  std::fclose(file);
  return equals(tag, kArchiveTag);
}

bool open_kar(KarReader& kar, const std::vector<unsigned char>& bytes, std::string& why) {
  FixedString tag;
  if (!read_tag(kar, bytes, tag)) {
    why = "too large";
    return false;
  }
  if (!equals(tag, kArchiveTag)) {
    why = "not a \"kar.1.0\" archive (tag \"" + printable(tag.text) + "\")";
    return false;
  }
  if (kar.reader.remaining < 4) {
    why = "the archive ends before its member count";
    return false;
  }
  kar.count = read_int32(kar.reader);
  if (kar.count <= 0) {
    why = "empty archive: member count " + std::to_string(kar.count);
    return false;
  }
  return true;
}

KarStep next_member(KarReader& kar, KarMember& member, std::string& why) {
  if (kar.index >= kar.count) return KAR_END;
  const std::string which = "member " + std::to_string(++kar.index);
  member = KarMember();
  read_fixed_string(kar.reader, member.name);
  if (is_empty(member.name)) {
    why = which + ": no name, or the archive ends before it";
    return KAR_BROKEN;
  }
  if (!is_plain_file_name(member.name)) {
    why = which + ": \"" + printable(member.name.text) + "\" is not a plain file name";
    return KAR_BROKEN;
  }
  if (kar.reader.remaining < 4) {
    why = which + ": the archive ends before its size";
    return KAR_BROKEN;
  }
  member.size = read_int32(kar.reader);
  if (member.size < 0) {
    why = which + ": negative size " + std::to_string(member.size);
    return KAR_BROKEN;
  }
  const int32_t left = kar.reader.remaining;
  member.content = take(kar.reader, member.size);
  if (member.content == nullptr) {
    why = which + ": the archive ends inside its content (" + std::to_string(left) + " of " +
          std::to_string(member.size) + " bytes)";
    return KAR_BROKEN;
  }
  return KAR_MEMBER;
}
