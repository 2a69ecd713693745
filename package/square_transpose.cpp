#include "package/square_transpose.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

// 8 x 8 byte blocks are transposed in eight 64-bit words (byte c of word r is row r, column c, as
// little-endian loads give), by swapping 4x4, then 2x2, then 1x1 sub-blocks across the diagonal.
using Block = uint64_t[8];

void load_block(Block rows, const unsigned char* at, size_t stride) {
  for (int r = 0; r < 8; ++r) std::memcpy(&rows[r], at + r * stride, 8);
}

void store_block(const Block rows, unsigned char* at, size_t stride) {
  for (int r = 0; r < 8; ++r) std::memcpy(at + r * stride, &rows[r], 8);
}

void swap_across(uint64_t& upper, uint64_t& lower, int shift, uint64_t mask) {
  uint64_t t = ((upper >> shift) ^ lower) & mask;
  upper ^= t << shift;
  lower ^= t;
}

void transpose_block(Block x) {
  for (int r = 0; r < 4; ++r) swap_across(x[r], x[r + 4], 32, 0x00000000FFFFFFFFull);
  for (int r : {0, 1, 4, 5}) swap_across(x[r], x[r + 2], 16, 0x0000FFFF0000FFFFull);
  for (int r : {0, 2, 4, 6}) swap_across(x[r], x[r + 1], 8, 0x00FF00FF00FF00FFull);
}

// Exchanges the blocks at (i, j) and (j, i), each transposed; the block on the diagonal when i == j.
void exchange_blocks(unsigned char* m, size_t n, size_t i, size_t j) {
  Block a, b;
  load_block(a, m + i * n + j, n);
  transpose_block(a);
  if (i == j) {
    store_block(a, m + i * n + j, n);
    return;
  }
  load_block(b, m + j * n + i, n);
  transpose_block(b);
  store_block(a, m + j * n + i, n);
  store_block(b, m + i * n + j, n);
}

}  // namespace

uint32_t integer_sqrt(uint32_t value) {
  auto root = static_cast<uint64_t>(std::sqrt(static_cast<double>(value)));
  while (root * root > value) --root;
  while ((root + 1) * (root + 1) <= value) ++root;
  return static_cast<uint32_t>(root);
}

void square_transpose(unsigned char* bytes, uint32_t length) {
  const size_t n = integer_sqrt(length);
  const size_t whole = n & ~size_t{7};  // rows and columns covered by 8 x 8 blocks
  // Tiles of 64 x 64 bytes: a tile and its mirror stay in the first-level cache while they are swapped.
  const size_t tile = 64;
  for (size_t ti = 0; ti < whole; ti += tile) {
    for (size_t tj = ti; tj < whole; tj += tile) {
      const size_t i_end = std::min(ti + tile, whole), j_end = std::min(tj + tile, whole);
      for (size_t i = ti; i < i_end; i += 8)
        for (size_t j = (ti == tj ? i : tj); j < j_end; j += 8) exchange_blocks(bytes, n, i, j);
    }
  }
  // The last n - whole rows and columns, byte by byte.
  for (size_t j = whole; j < n; ++j)
    for (size_t i = 0; i < j; ++i) std::swap(bytes[i * n + j], bytes[j * n + i]);
}
