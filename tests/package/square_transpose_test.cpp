#include "package/square_transpose.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<unsigned char> counting(uint32_t length) {
  std::vector<unsigned char> bytes(length);
  for (uint32_t i = 0; i < length; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + i / 251);
  return bytes;
}

// Output byte i*n + j receives input byte j*n + i; the tail stays.
std::vector<unsigned char> transposed_plainly(const std::vector<unsigned char>& in) {
  std::vector<unsigned char> out = in;
  uint32_t n = integer_sqrt(static_cast<uint32_t>(in.size()));
  for (uint32_t i = 0; i < n; ++i)
    for (uint32_t j = 0; j < n; ++j) out[i * n + j] = in[j * n + i];
  return out;
}

}  // namespace

TEST(SquareTranspose, TenBytes) {
  std::vector<unsigned char> bytes = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  square_transpose(bytes.data(), 10);
  EXPECT_EQ(bytes, (std::vector<unsigned char>{0, 3, 6, 1, 4, 7, 2, 5, 8, 9}));

  std::vector<unsigned char> one = {42};
  square_transpose(one.data(), 1);
  EXPECT_EQ(one[0], 42);
  square_transpose(nullptr, 0);
}

TEST(SquareTranspose, MatchesThePlainDefinitionAcrossTileEdges) {
  // Sides below, at and around the 8-byte blocks and 256-byte tiles, with and without a tail.
  for (uint32_t n : {2u, 7u, 8u, 9u, 15u, 16u, 63u, 64u, 65u, 130u, 255u, 256u, 257u, 263u, 520u}) {
    for (uint32_t tail : {0u, 1u, 2 * n}) {
      std::vector<unsigned char> bytes = counting(n * n + tail);
      std::vector<unsigned char> expected = transposed_plainly(bytes);
      square_transpose(bytes.data(), static_cast<uint32_t>(bytes.size()));
      ASSERT_EQ(bytes, expected) << "n " << n << " tail " << tail;
      square_transpose(bytes.data(), static_cast<uint32_t>(bytes.size()));
      ASSERT_EQ(bytes, counting(n * n + tail)) << "not its own inverse at n " << n;
    }
  }
}

TEST(SquareTranspose, IntegerSquareRootIsExact) {
  EXPECT_EQ(integer_sqrt(0), 0u);
  EXPECT_EQ(integer_sqrt(3), 1u);
  EXPECT_EQ(integer_sqrt(4), 2u);
  EXPECT_EQ(integer_sqrt(10), 3u);
  EXPECT_EQ(integer_sqrt(65535u * 65535u), 65535u);
  EXPECT_EQ(integer_sqrt(65535u * 65535u - 1), 65534u);
  EXPECT_EQ(integer_sqrt(0xFFFFFFFFu), 65535u);
  EXPECT_EQ(integer_sqrt(4096u * 4096u + 4095u), 4096u);
}
