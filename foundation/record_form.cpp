#include "foundation/record_form.h"

#include <cstdlib>
#include <cstring>

// Records are stored in host order: every target of this program is little-endian.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "record form assumes a little-endian host");

namespace {

void write_int32(int32_t value, FILE* file) { std::fwrite(&value, sizeof value, 1, file); }

// 0 when the four bytes are not there.
int32_t read_int32(FILE* file) {
  int32_t value = 0;
  if (std::fread(&value, sizeof value, 1, file) != 1) return 0;
  return value;
}

// Offset of the end of the file; the position now when the stream cannot seek (nothing is believed
// to lie beyond it).
int64_t end_of(FILE* file) {
  long here = std::ftell(file);
  if (here < 0) return 0;
  long end = here;
  if (std::fseek(file, 0, SEEK_END) == 0) end = std::ftell(file);
  std::fseek(file, here, SEEK_SET);
  return end < here ? here : end;
}

int64_t bytes_left(FILE* file, int64_t end) {
  long here = std::ftell(file);
  return here < 0 || end < here ? 0 : end - here;
}

template <class Array>
void write_list(const Array& a, FILE* file) {
  int32_t n = (a.data == nullptr || a.count < 0) ? 0 : a.count;
  write_int32(n, file);
  if (n > 0) std::fwrite(a.data, sizeof(a.data[0]) * static_cast<size_t>(n), 1, file);
}

template <class Array>
void read_list(Array& a, FILE* file) {
  int64_t end = end_of(file);
  int32_t n = read_int32(file);
  if (n <= 0 || !list_count_fits(n, bytes_left(file, end)) || !reserve(a, n)) {
    a.count = 0;
    return;
  }
  a.count = n;
  // A short read leaves the slots it did not reach as they were.
  size_t got = std::fread(a.data, sizeof(a.data[0]) * static_cast<size_t>(n), 1, file);
  (void)got;
}

}  // namespace

bool list_count_fits(int32_t count, int64_t left) {
  if (left < 0) left = 0;
  return count <= left / 4 + kListCountSlack;
}

void write_to(const FixedString& s, FILE* file) {
  write_int32(s.length, file);
  if (s.length > 0) std::fwrite(s.text, static_cast<size_t>(s.length), 1, file);
}

void write_to(const IntArray& a, FILE* file) { write_list(a, file); }
void write_to(const FloatArray& a, FILE* file) { write_list(a, file); }

void write_to(const StringArray& a, FILE* file) {
  int32_t n = (a.data == nullptr || a.count < 0) ? 0 : a.count;
  write_int32(n, file);
  for (int32_t i = 0; i < n; ++i) {
    const char* s = a.data[i];
    int32_t length = s == nullptr ? 0 : static_cast<int32_t>(std::strlen(s));
    write_int32(length, file);
    if (length > 0) std::fwrite(s, static_cast<size_t>(length), 1, file);
  }
}

int32_t read_from(FixedString& s, FILE* file) {
  int32_t length = read_int32(file);
  if (length > FixedString::kMaxLength) length = FixedString::kMaxLength;
  if (length <= 0 || std::fread(s.text, static_cast<size_t>(length), 1, file) != 1) {
    clear(s);
    return 0;
  }
  s.text[length] = '\0';
  s.length = length;
  return length;
}

void read_from(IntArray& a, FILE* file) { read_list(a, file); }
void read_from(FloatArray& a, FILE* file) { read_list(a, file); }

void read_from(StringArray& a, FILE* file) {
  clear(a);
  int64_t end = end_of(file);
  int32_t n = read_int32(file);
  if (n <= 0 || !list_count_fits(n, bytes_left(file, end)) || !reserve(a, n)) return;
  a.count = n;
  for (int32_t i = 0; i < n; ++i) {
    int32_t length = read_int32(file);
    if (length <= 0) continue;
    if (length > bytes_left(file, end)) {
      std::fseek(file, 0, SEEK_END);
      continue;
    }
    // calloc: should the file shrink under us, the string ends where the bytes did.
    auto* s = static_cast<char*>(std::calloc(static_cast<size_t>(length) + 1, 1));
    if (s == nullptr) continue;
    size_t got = std::fread(s, static_cast<size_t>(length), 1, file);
    (void)got;
    a.data[i] = s;
  }
}
