#include "package/record_reader.h"

#include <cstring>

#include "foundation/record_form.h"

namespace {

// Element-by-element pushes would grow the block to this same size one step at a time; one reserve
// gives the same final array without the quadratic copying.
template <class Array>
bool reserve_for_pushes(Array& a, int32_t n) {
  int64_t step = a.grow_step > 0 ? a.grow_step : 1;
  int64_t slots = (n + step - 1) / step * step;
  if (slots > INT32_MAX) slots = n;
  return reserve(a, static_cast<int32_t>(slots));
}

// The count of a list whose elements take 4 bytes or more each; 0 when there is none to read.
template <class Array>
int32_t start_list(ByteReader& r, Array& a) {
  release(a);
  if (r.remaining < 4) return 0;
  int32_t n = read_int32(r);
  if (n <= 0 || !list_count_fits(n, r.remaining) || !reserve_for_pushes(a, n)) return 0;
  return n;
}

}  // namespace

void read_fixed_string(ByteReader& r, FixedString& text) {
  clear(text);
  if (r.remaining < 4) return;
  int32_t length = read_int32(r);
  if (length <= 0) return;
  if (length > r.remaining) {
    take(r, r.remaining);
    return;
  }
  const unsigned char* bytes = take(r, length);
  int32_t kept = length < FixedString::kMaxLength ? length : FixedString::kMaxLength;
  std::memcpy(text.text, bytes, static_cast<size_t>(kept));
  text.text[kept] = '\0';
  text.length = kept;
}

void read_int_array(ByteReader& r, IntArray& a) {
  int32_t n = start_list(r, a);
  for (int32_t i = 0; i < n; ++i) push(a, read_int32(r));
}

void read_float_array(ByteReader& r, FloatArray& a) {
  int32_t n = start_list(r, a);
  for (int32_t i = 0; i < n; ++i) push(a, read_float32(r));
}

void read_string_array(ByteReader& r, StringArray& a) {
  int32_t n = start_list(r, a);
  FixedString entry;
  for (int32_t i = 0; i < n; ++i) {
    read_fixed_string(r, entry);
    push(a, entry.text);
  }
}
