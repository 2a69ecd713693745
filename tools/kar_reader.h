// ".kar" archives read from their bytes in memory, one member at a time, by the installer's rules:
// whatever the installer would refuse to unpack is a broken archive here too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/fixed_string.h"
#include "package/byte_reader.h"

struct KarReader {
  ByteReader reader;
  int32_t count = 0;  // members the archive declares
  int32_t index = 0;  // members read so far
};

struct KarMember {
  FixedString name;
  int32_t size = 0;
  const unsigned char* content = nullptr;  // size bytes inside the archive's bytes
};

// Whether the file begins with the text record "kar.1.0", as the installer reads an archive's tag.
bool is_kar_file(const char* path);

// Reads the tag and the member count. False, with why set, when the tag is not "kar.1.0", the count
// is missing or not above 0, or the bytes are larger than a reader covers.
bool open_kar(KarReader& kar, const std::vector<unsigned char>& bytes, std::string& why);

enum KarStep { KAR_MEMBER, KAR_END, KAR_BROKEN };
// The next member; KAR_END after the last declared one. KAR_BROKEN, with why set, on a member the
// installer stops at: a name that is not a plain file name (is_plain_file_name), a missing or
// negative size, or content the archive ends before.
KarStep next_member(KarReader& kar, KarMember& member, std::string& why);
