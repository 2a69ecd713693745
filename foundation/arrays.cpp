#include "foundation/arrays.h"

#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <utility>

namespace {

template <class Array>
using ElementOf = std::remove_pointer_t<decltype(Array::data)>;

template <class Array>
bool reserve_slots(Array& a, int32_t n) {
  using Element = ElementOf<Array>;
  if (a.capacity >= n) return true;
  // calloc refuses products that overflow size_t (32-bit builds), so huge requests fail cleanly.
  auto* block = static_cast<Element*>(std::calloc(static_cast<size_t>(n), sizeof(Element)));
  if (block == nullptr) return false;
  int32_t kept = a.count < a.capacity ? a.count : a.capacity;
  if (kept > 0 && a.data != nullptr) std::memcpy(block, a.data, static_cast<size_t>(kept) * sizeof(Element));
  std::free(a.data);
  a.data = block;
  a.capacity = n;
  return true;
}

// Makes room for one more element by the growth rule; false when no room could be had.
template <class Array>
bool room_for_one(Array& a) {
  if (a.count < a.capacity) return true;
  int64_t wanted = static_cast<int64_t>(a.capacity) + (a.grow_step > 0 ? a.grow_step : 1);
  if (wanted > INT32_MAX) return false;
  return reserve_slots(a, static_cast<int32_t>(wanted));
}

template <class Array>
int32_t push_value(Array& a, ElementOf<Array> value) {
  if (!room_for_one(a)) return a.count;
  a.data[a.count] = value;
  return ++a.count;
}

template <class Array>
int32_t insert_value(Array& a, int32_t index, ElementOf<Array> value) {
  if (index < 0 || index > a.count) return push_value(a, value);
  if (a.count >= a.capacity) {
    if (a.count == INT32_MAX || !reserve_slots(a, a.count + 1)) return a.count;
  }
  std::memmove(a.data + index + 1, a.data + index, static_cast<size_t>(a.count - index) * sizeof(a.data[0]));
  a.data[index] = value;
  return ++a.count;
}

template <class Array>
ElementOf<Array> first_value(const Array& a) {
  return a.count > 0 ? a.data[0] : ElementOf<Array>();
}

template <class Array>
ElementOf<Array> last_value(const Array& a) {
  return a.count > 0 ? a.data[a.count - 1] : ElementOf<Array>();
}

template <class Array>
void move_element(Array& a, int32_t index, int32_t direction) {
  if (direction > 0 && index >= 0 && index < a.count - 1) {
    std::swap(a.data[index], a.data[index + 1]);
  } else if (direction < 0 && index > 0 && index < a.count) {
    std::swap(a.data[index - 1], a.data[index]);
  }
}

// Closes the gap at index; the vacated last slot keeps its old value.
template <class Array>
void close_gap(Array& a, int32_t index) {
  std::memmove(a.data + index, a.data + index + 1, static_cast<size_t>(a.count - index - 1) * sizeof(a.data[0]));
  a.count -= 1;
}

template <class Array>
void release_block(Array& a) {
  std::free(a.data);
  a.data = nullptr;
  a.count = 0;
  a.capacity = 0;
}

bool is_null_or_empty(const char* s) { return s == nullptr || s[0] == '\0'; }

// A heap copy of a non-null string; null when memory is short.
char* copy_string(const char* value) {
  size_t size = std::strlen(value) + 1;
  auto* copy = static_cast<char*>(std::malloc(size));
  if (copy != nullptr) std::memcpy(copy, value, size);
  return copy;
}

// The element stored for value: a heap copy, or null for null or "". False when memory is short.
bool copy_nonempty(const char* value, char** copy) {
  *copy = is_null_or_empty(value) ? nullptr : copy_string(value);
  return *copy != nullptr || is_null_or_empty(value);
}

}  // namespace

IntArray::~IntArray() { release(*this); }
FloatArray::~FloatArray() { release(*this); }
StringArray::~StringArray() { release(*this); }

void release(IntArray& a) { release_block(a); }
void release(FloatArray& a) { release_block(a); }
void release(StringArray& a) {
  clear(a);
  release_block(a);
}

void clear(IntArray& a) { a.count = 0; }
void clear(FloatArray& a) { a.count = 0; }
void clear(StringArray& a) {
  for (int32_t i = 0; i < a.count; ++i) {
    std::free(a.data[i]);
    a.data[i] = nullptr;
  }
  a.count = 0;
}

bool reserve(IntArray& a, int32_t n) { return reserve_slots(a, n); }
bool reserve(FloatArray& a, int32_t n) { return reserve_slots(a, n); }
bool reserve(StringArray& a, int32_t n) { return reserve_slots(a, n); }

int32_t push(IntArray& a, int32_t value) { return push_value(a, value); }
int32_t push(FloatArray& a, float value) { return push_value(a, value); }
int32_t push(StringArray& a, const char* value) {
  char* copy;
  if (!copy_nonempty(value, &copy)) return a.count;
  int32_t before = a.count;
  int32_t after = push_value(a, copy);
  if (after == before) std::free(copy);
  return after;
}

int32_t insert(IntArray& a, int32_t index, int32_t value) { return insert_value(a, index, value); }
int32_t insert(FloatArray& a, int32_t index, float value) { return insert_value(a, index, value); }
int32_t insert(StringArray& a, int32_t index, const char* value) {
  char* copy;
  if (!copy_nonempty(value, &copy)) return a.count;
  int32_t before = a.count;
  int32_t after = insert_value(a, index, copy);
  if (after == before) std::free(copy);
  return after;
}

int32_t pop(IntArray& a) { return a.count < 1 ? 0 : a.data[--a.count]; }
float pop(FloatArray& a) { return a.count < 1 ? 0.0f : a.data[--a.count]; }
void pop(StringArray& a) {
  if (a.count <= 0) return;
  a.count -= 1;
  std::free(a.data[a.count]);
  a.data[a.count] = nullptr;
}

void add_slot(IntArray& a) {
  if (room_for_one(a)) a.count += 1;
}

int32_t first(const IntArray& a) { return first_value(a); }
float first(const FloatArray& a) { return first_value(a); }
const char* first(const StringArray& a) { return first_value(a); }
int32_t last(const IntArray& a) { return last_value(a); }
float last(const FloatArray& a) { return last_value(a); }
const char* last(const StringArray& a) { return last_value(a); }

int32_t find(const IntArray& a, int32_t value) {
  for (int32_t i = 0; i < a.count; ++i)
    if (a.data[i] == value) return i;
  return -1;
}

int32_t find(const StringArray& a, const char* value) {
  for (int32_t i = 0; i < a.count; ++i) {
    const char* slot = a.data[i];
    if (slot == value) return i;
    bool slot_empty = is_null_or_empty(slot);
    bool value_empty = is_null_or_empty(value);
    if (slot_empty && value_empty) return i;
    if (!slot_empty && !value_empty && std::strcmp(slot, value) == 0) return i;
  }
  return -1;
}

void move(IntArray& a, int32_t index, int32_t direction) { move_element(a, index, direction); }
void move(FloatArray& a, int32_t index, int32_t direction) { move_element(a, index, direction); }
void move(StringArray& a, int32_t index, int32_t direction) { move_element(a, index, direction); }

void remove_at(IntArray& a, int32_t index) {
  if (index >= 0 && index < a.count) close_gap(a, index);
}
void remove_at(FloatArray& a, int32_t index) {
  if (index >= 0 && index < a.count) close_gap(a, index);
}
void remove_at(StringArray& a, int32_t index) {
  if (index < 0 || index >= a.count) return;
  std::free(a.data[index]);
  close_gap(a, index);
  a.data[a.count] = nullptr;
}

int32_t remove_value(IntArray& a, int32_t value) {
  int32_t index = find(a, value);
  remove_at(a, index);
  return index;
}

int32_t remove_value(StringArray& a, const char* value) {
  int32_t index = find(a, value);
  remove_at(a, index);
  return index;
}

void set(StringArray& a, int32_t index, const char* value) {
  if (index < 0 || index >= a.count) return;
  char* copy = value == nullptr ? nullptr : copy_string(value);
  if (value != nullptr && copy == nullptr) return;
  std::free(a.data[index]);
  a.data[index] = copy;
}

bool is_empty(const IntArray& a) { return a.count <= 0; }
bool is_empty(const FloatArray& a) { return a.count <= 0; }
bool is_empty(const StringArray& a) { return a.count <= 0; }
