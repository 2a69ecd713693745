// ByteReader: a cursor over a block of bytes in memory that it does not own. Every read is bounded by
// the bytes left: a read that does not fit yields 0, 0.0, false, null or an empty text and moves nothing.
#pragma once

#include <cstdint>

#include "foundation/fixed_string.h"

struct ByteReader {
  const unsigned char* base = nullptr;
  int32_t size = 0;
  const unsigned char* cursor = nullptr;
  int32_t remaining = 0;  // bytes from cursor to the end; cursor == base + (size - remaining)
};

// Points the reader at a block. A null block or a negative length gives a reader over 0 bytes.
void init(ByteReader& r, const void* block, int32_t length);
void rewind(ByteReader& r);

// The n bytes at the cursor, stepping past them; null (nothing moves) when fewer are left or n < 0.
const unsigned char* take(ByteReader& r, int32_t n);

// Fixed-width little-endian reads.
bool read_bool(ByteReader& r);  // true only for the byte 1
int32_t read_int32(ByteReader& r);
float read_float32(ByteReader& r);
double read_float64(ByteReader& r);

// Reads the next line into text (at most 1023 characters; the rest of a longer line is consumed and
// dropped). A run of CR and LF bytes before the line is skipped as one, so blank lines never appear; the
// byte that ends the line is left for the next call. A NUL byte ends the line and is never consumed:
// from then on every line is empty. An empty result means the end of the block or a NUL.
void read_line(ByteReader& r, FixedString& text);
