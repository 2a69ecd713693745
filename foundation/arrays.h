// Growable arrays of 32-bit integers, 32-bit floats and owned strings: one layout (data, count, capacity,
// grow step), one growth rule (a full array grows by grow_step slots), read directly by their owners.
#pragma once

#include <cstdint>

// Blocks are allocated with calloc and freed with free; every slot never written is zero. When a block
// cannot be had (no memory, or more slots than the address space holds) the array is left as it was:
// reserve changes nothing, and push / insert / add_slot add nothing and return the old count.
// A grow_step below 1 grows by one slot.

struct IntArray {
  int32_t* data = nullptr;
  int32_t count = 0;
  int32_t capacity = 0;
  int32_t grow_step = 1;

  IntArray() = default;
  explicit IntArray(int32_t step) : grow_step(step) {}
  ~IntArray();
  IntArray(const IntArray&) = delete;
  IntArray& operator=(const IntArray&) = delete;
};

struct FloatArray {
  float* data = nullptr;
  int32_t count = 0;
  int32_t capacity = 0;
  int32_t grow_step = 1;

  FloatArray() = default;
  explicit FloatArray(int32_t step) : grow_step(step) {}
  ~FloatArray();
  FloatArray(const FloatArray&) = delete;
  FloatArray& operator=(const FloatArray&) = delete;
};

// Owns every non-null string in it (heap copies made with malloc). A null entry stands for the empty
// string; slots at or beyond count are always null.
struct StringArray {
  char** data = nullptr;
  int32_t count = 0;
  int32_t capacity = 0;
  int32_t grow_step = 1;

  StringArray() = default;
  explicit StringArray(int32_t step) : grow_step(step) {}
  ~StringArray();
  StringArray(const StringArray&) = delete;
  StringArray& operator=(const StringArray&) = delete;
};

// Frees the block (and the strings); the array is as constructed, grow_step kept.
void release(IntArray& a);
void release(FloatArray& a);
void release(StringArray& a);

// count = 0; the block stays (a StringArray frees its strings first).
void clear(IntArray& a);
void clear(FloatArray& a);
void clear(StringArray& a);

// Grows the block to n slots, keeping the first count elements and zero-filling the rest. Never shrinks.
// Returns false when the block could not be had.
bool reserve(IntArray& a, int32_t n);
bool reserve(FloatArray& a, int32_t n);
bool reserve(StringArray& a, int32_t n);

// Appends the value (a StringArray stores a fresh copy, or null for null or ""); returns the new count.
int32_t push(IntArray& a, int32_t value);
int32_t push(FloatArray& a, float value);
int32_t push(StringArray& a, const char* value);

// Inserts before index; a negative index or one beyond count appends. A full array grows by exactly one
// slot. Returns the new count.
int32_t insert(IntArray& a, int32_t index, int32_t value);
int32_t insert(FloatArray& a, int32_t index, float value);
int32_t insert(StringArray& a, int32_t index, const char* value);

// Removes the last element: ints and floats return it (0 when empty; the value stays in its slot),
// strings free it.
int32_t pop(IntArray& a);
float pop(FloatArray& a);
void pop(StringArray& a);

// Adds one element without storing: 0 in a new slot, else the value last left in that slot.
void add_slot(IntArray& a);

// The element at 0 or count - 1; the empty element (0, 0.0, null) on an empty array.
int32_t first(const IntArray& a);
float first(const FloatArray& a);
const char* first(const StringArray& a);
int32_t last(const IntArray& a);
float last(const FloatArray& a);
const char* last(const StringArray& a);

// Lowest index holding the value, or -1. For strings: the same pointer, or both null/empty, or equal by
// strcmp (case-sensitive).
int32_t find(const IntArray& a, int32_t value);
int32_t find(const StringArray& a, const char* value);

// Swaps the element at index with its neighbour toward the end (direction > 0) or the start (< 0);
// indexes without such a neighbour change nothing.
void move(IntArray& a, int32_t index, int32_t direction);
void move(FloatArray& a, int32_t index, int32_t direction);
void move(StringArray& a, int32_t index, int32_t direction);

// Removes the element at index (freeing a string); out-of-range indexes change nothing.
void remove_at(IntArray& a, int32_t index);
void remove_at(FloatArray& a, int32_t index);
void remove_at(StringArray& a, int32_t index);

// Removes the first element equal to value (as find); returns its index, or -1 when there was none.
int32_t remove_value(IntArray& a, int32_t value);
int32_t remove_value(StringArray& a, const char* value);

// Replaces the string at index with a copy of value ("" is kept as a copy of "", null as null).
// Indexes outside 0..count-1 change nothing.
void set(StringArray& a, int32_t index, const char* value);

bool is_empty(const IntArray& a);
bool is_empty(const FloatArray& a);
bool is_empty(const StringArray& a);
