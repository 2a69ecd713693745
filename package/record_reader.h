// Reading text and list records (the record form of foundation/record_form.h) from bytes in memory
// through a ByteReader. Nothing is read past the reader's block; missing data reads as zero or null.
#pragma once

#include "foundation/arrays.h"
#include "foundation/fixed_string.h"
#include "package/byte_reader.h"

// Clears text, then reads a text record. Fewer than 4 bytes left: empty, the cursor stays. A length of 0
// or below: empty, the cursor 4 bytes on. A length above the bytes left: empty, the cursor at the end of
// the block. Otherwise the first 1023 bytes at most are kept and the cursor steps past the whole record.
void read_fixed_string(ByteReader& r, FixedString& text);

// Release the array, then read a count N and N elements. Fewer than 4 bytes left, N <= 0, or N beyond
// list_count_fits (foundation/record_form.h) against the bytes left: the array stays empty, with no block.
// Otherwise the array ends with exactly N elements; those past the end of the data are 0, 0.0 or null.
// Strings are read as text records, so each holds at most 1023 characters and an empty one is null.
void read_int_array(ByteReader& r, IntArray& a);
void read_float_array(ByteReader& r, FloatArray& a);
void read_string_array(ByteReader& r, StringArray& a);
