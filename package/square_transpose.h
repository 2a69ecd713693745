// The square transposition of package bodies: the first n*n bytes (n = floor(sqrt(length))) read as an
// n x n matrix row by row are written column by column; the bytes after them stay. Its own inverse.
#pragma once

#include <cstdint>

// Transposes in place, in cache-sized tiles.
void square_transpose(unsigned char* bytes, uint32_t length);

// floor(sqrt(value)), exact for every 32-bit value.
uint32_t integer_sqrt(uint32_t value);
