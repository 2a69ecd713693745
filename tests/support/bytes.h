// Byte strings for tests that build file contents by hand: little-endian integers, texts, and
// concatenation with +.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

inline Bytes le32(int32_t v) {
  Bytes b(4);
  std::memcpy(b.data(), &v, 4);  // hosts are little-endian
  return b;
}

inline Bytes str(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
