#include "package/square_transpose.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
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

// Tiles of kTile x kTile bytes are copied out into contiguous scratch tiles, transposed there and
// copied back: rows of the matrix lie n bytes apart, and near power-of-two n they all fall into the
// same few cache sets, so working on them in place would miss the cache on nearly every access.
// Long row runs per copy also let the hardware prefetch.
constexpr size_t kTile = 256;  // two scratch tiles: 128 KiB, within the second-level cache
using Tile = unsigned char[kTile * kTile];

// Copies rows x columns bytes at m (row stride n) into the tile (row stride kTile), or back. Whole
// rows of kTile bytes get a copy of constant size, which compiles to a few moves instead of a call.
void gather(const unsigned char* m, size_t n, Tile tile, size_t rows, size_t columns) {
  if (columns == kTile) {
    for (size_t r = 0; r < rows; ++r) std::memcpy(tile + r * kTile, m + r * n, kTile);
  } else {
    for (size_t r = 0; r < rows; ++r) std::memcpy(tile + r * kTile, m + r * n, columns);
  }
}

void scatter(const Tile tile, unsigned char* m, size_t n, size_t rows, size_t columns) {
  if (columns == kTile) {
    for (size_t r = 0; r < rows; ++r) std::memcpy(m + r * n, tile + r * kTile, kTile);
  } else {
    for (size_t r = 0; r < rows; ++r) std::memcpy(m + r * n, tile + r * kTile, columns);
  }
}

// to (columns x rows) = transpose of from (rows x columns); both multiples of 8.
void transpose_tile(const Tile from, Tile to, size_t rows, size_t columns) {
  Block x;
  for (size_t r = 0; r < rows; r += 8) {
    for (size_t c = 0; c < columns; c += 8) {
      load_block(x, from + r * kTile + c, kTile);
      transpose_block(x);
      store_block(x, to + c * kTile + r, kTile);
    }
  }
}

// Transposes the tile at (ti, tj), h x w bytes, together with its mirror at (tj, ti); a and b are
// scratch tiles.
void exchange_tiles(unsigned char* m, size_t n, size_t ti, size_t tj, size_t h, size_t w, Tile a, Tile b) {
  unsigned char* upper = m + ti * n + tj;
  unsigned char* lower = m + tj * n + ti;
  gather(upper, n, a, h, w);
  transpose_tile(a, b, h, w);
  if (ti == tj) {
    scatter(b, upper, n, w, h);
    return;
  }
  gather(lower, n, a, w, h);
  scatter(b, lower, n, w, h);
  transpose_tile(a, b, w, h);
  scatter(b, upper, n, h, w);
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
  size_t whole = n & ~size_t{7};  // rows and columns covered by 8 x 8 blocks
  auto* scratch = whole > 0 ? static_cast<unsigned char*>(std::calloc(2, sizeof(Tile))) : nullptr;
  if (scratch == nullptr) whole = 0;  // without scratch tiles everything goes byte by byte below
  for (size_t ti = 0; ti < whole; ti += kTile) {
    for (size_t tj = ti; tj < whole; tj += kTile) {
      exchange_tiles(bytes, n, ti, tj, std::min(kTile, whole - ti), std::min(kTile, whole - tj), scratch,
                     scratch + sizeof(Tile));
    }
  }
  std::free(scratch);
  // The last n - whole columns against their rows, byte by byte, walking down the rows.
  for (size_t i = 0; i < n; ++i)
    for (size_t j = std::max(whole, i + 1); j < n; ++j) std::swap(bytes[i * n + j], bytes[j * n + i]);
}
