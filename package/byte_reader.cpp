#include "package/byte_reader.h"

#include <cstring>

namespace {

bool is_line_break(unsigned char c) { return c == '\n' || c == '\r'; }

template <class Value>
Value read_value(ByteReader& r) {
  Value value{};
  const unsigned char* bytes = take(r, static_cast<int32_t>(sizeof value));
  if (bytes != nullptr) std::memcpy(&value, bytes, sizeof value);  // hosts are little-endian
  return value;
}

}  // namespace

void init(ByteReader& r, const void* block, int32_t length) {
  if (block == nullptr || length < 0) length = 0;
  r.base = static_cast<const unsigned char*>(block);
  r.size = length;
  r.cursor = r.base;
  r.remaining = length;
}

void rewind(ByteReader& r) {
  r.cursor = r.base;
  r.remaining = r.size;
}

const unsigned char* take(ByteReader& r, int32_t n) {
  if (n < 0 || r.remaining < n) return nullptr;
  const unsigned char* bytes = r.cursor;
  r.cursor += n;
  r.remaining -= n;
  return bytes;
}

bool read_bool(ByteReader& r) {
  const unsigned char* byte = take(r, 1);
  return byte != nullptr && *byte == 1;
}

int32_t read_int32(ByteReader& r) { return read_value<int32_t>(r); }
float read_float32(ByteReader& r) { return read_value<float>(r); }
double read_float64(ByteReader& r) { return read_value<double>(r); }

void read_line(ByteReader& r, FixedString& text) {
  clear(text);
  while (r.remaining > 0 && is_line_break(*r.cursor)) take(r, 1);
  while (r.remaining > 0 && *r.cursor != '\0' && !is_line_break(*r.cursor)) {
    if (text.length < FixedString::kMaxLength) {
      text.text[text.length++] = static_cast<char>(*r.cursor);
    }
    take(r, 1);
  }
  text.text[text.length] = '\0';
}
