// The record form of texts and lists in files: a text is a 32-bit length and that many bytes (no NUL);
// a list is a 32-bit count and its elements. All numbers little-endian. Readers and writers on stdio.
#pragma once

#include <cstdint>
#include <cstdio>

#include "foundation/arrays.h"
#include "foundation/fixed_string.h"

// Bounds on counts read from data. A list count N is believed only when the bytes left behind it could
// nearly hold it: N <= bytes_left / 4 + kListCountSlack (every element, a string entry included, takes at
// least 4 bytes). A larger count reads as an empty list and nothing behind it is read. The slack keeps
// the short-list cases: a count of 3 followed by one value still reads as three elements.
constexpr int32_t kListCountSlack = 64;
bool list_count_fits(int32_t count, int64_t left);

// Writers: one record each; fwrite results are not looked at.
void write_to(const FixedString& s, FILE* file);
void write_to(const IntArray& a, FILE* file);
void write_to(const FloatArray& a, FILE* file);
void write_to(const StringArray& a, FILE* file);

// Reads a text record; returns the new length. A length above 1023 reads 1023 bytes and leaves the file
// inside the record; a length of 0 or below, or a record cut short by the end of the file, gives the
// empty text (the bytes of a short read stay consumed).
int32_t read_from(FixedString& s, FILE* file);

// Reads a list record into the array with one reserve and one read. A count of 0 or below, or one beyond
// the bound above (the bytes left in the file), gives count 0 and keeps the block. Elements the file
// ends before keep what their slots held (0 in new slots).
void read_from(IntArray& a, FILE* file);
void read_from(FloatArray& a, FILE* file);

// Clears the array, then reads a string list; strings are not limited to 1023 characters. An entry of
// length 0 or below is null; so is one whose bytes run past the end of the file, which is then read to
// its end. A count beyond the bound above leaves the array empty.
void read_from(StringArray& a, FILE* file);
