#include "package/byte_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

// A reader together with the bytes it reads.
struct Reading {
  std::string bytes;
  ByteReader r;
  explicit Reading(std::string b) : bytes(std::move(b)) { init(r, bytes.data(), static_cast<int32_t>(bytes.size())); }
  Reading(const Reading&) = delete;
};

std::string next_line(ByteReader& r) {
  FixedString line;
  read_line(r, line);
  EXPECT_EQ(line.text[line.length], '\0');
  return std::string(line.text, static_cast<size_t>(line.length));
}

}  // namespace

TEST(ByteReaderLines, BreakRunsAreSkippedAsOne) {
  Reading r_bytes("abc\r\ndef");
  ByteReader& r = r_bytes.r;
  EXPECT_EQ(next_line(r), "abc");
  EXPECT_EQ(next_line(r), "def");
  EXPECT_EQ(next_line(r), "");

  Reading leading_bytes("\n\n\nabc");
  ByteReader& leading = leading_bytes.r;
  EXPECT_EQ(next_line(leading), "abc");

  Reading mixed_bytes(" a \n\r\n\r\tb\t\r");
  ByteReader& mixed = mixed_bytes.r;
  EXPECT_EQ(next_line(mixed), " a ");
  EXPECT_EQ(next_line(mixed), "\tb\t");
  EXPECT_EQ(next_line(mixed), "");
  EXPECT_EQ(mixed.remaining, 0);
}

TEST(ByteReaderLines, NulIsNeverConsumed) {
  Reading r_bytes(std::string("abc\0def", 7));
  ByteReader& r = r_bytes.r;
  EXPECT_EQ(next_line(r), "abc");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(next_line(r), "");
  EXPECT_EQ(r.remaining, 4);
  EXPECT_EQ(*r.cursor, '\0');

  Reading after_break_bytes(std::string("\r\n\0x", 4));
  ByteReader& after_break = after_break_bytes.r;
  EXPECT_EQ(next_line(after_break), "");
  EXPECT_EQ(after_break.remaining, 2);
}

TEST(ByteReaderLines, LongLinesAreCutButConsumed) {
  std::string line;
  for (int i = 0; i < 1500; ++i) line += static_cast<char>('a' + i % 26);
  Reading r_bytes(line + "\nnext");
  ByteReader& r = r_bytes.r;
  EXPECT_EQ(next_line(r), line.substr(0, 1023));
  EXPECT_EQ(r.cursor, r.base + 1500);
  EXPECT_EQ(next_line(r), "next");
}

TEST(ByteReaderValues, ShortReadsYieldZeroAndMoveNothing) {
  Reading r_bytes(std::string("\x01\x02\x03", 3));
  ByteReader& r = r_bytes.r;
  EXPECT_EQ(read_int32(r), 0);
  EXPECT_EQ(read_float32(r), 0.0f);
  EXPECT_EQ(r.remaining, 3);
  EXPECT_TRUE(read_bool(r));  // the first of the three bytes is still there
  EXPECT_FALSE(read_bool(r));  // 2 is not true
  EXPECT_EQ(r.remaining, 1);

  Reading seven_bytes(std::string(7, '\x11'));
  ByteReader& seven = seven_bytes.r;
  EXPECT_EQ(read_float64(seven), 0.0);
  EXPECT_EQ(seven.remaining, 7);

  Reading empty_bytes("");
  ByteReader& empty = empty_bytes.r;
  EXPECT_FALSE(read_bool(empty));
  EXPECT_EQ(read_int32(empty), 0);
  EXPECT_EQ(next_line(empty), "");
  EXPECT_EQ(take(empty, 1), nullptr);
}

TEST(ByteReaderValues, LittleEndianValuesAndTake) {
  double d = -2.5;
  float f = 0.25f;
  std::string bytes("\x78\x56\x34\x12\xFE\xFF\xFF\xFF", 8);
  bytes.append(reinterpret_cast<const char*>(&f), 4);
  bytes.append(reinterpret_cast<const char*>(&d), 8);
  bytes += "xyz";
  Reading r_bytes(bytes);
  ByteReader& r = r_bytes.r;
  EXPECT_EQ(read_int32(r), 0x12345678);
  EXPECT_EQ(read_int32(r), -2);
  EXPECT_EQ(read_float32(r), 0.25f);
  EXPECT_EQ(read_float64(r), -2.5);
  EXPECT_EQ(take(r, 4), nullptr);
  EXPECT_EQ(take(r, -1), nullptr);
  const unsigned char* xyz = take(r, 3);
  ASSERT_NE(xyz, nullptr);
  EXPECT_EQ(xyz[0], 'x');
  EXPECT_EQ(take(r, 0), r.cursor);  // an exhausted reader still gives 0 bytes

  rewind(r);
  EXPECT_EQ(r.remaining, r.size);
  EXPECT_EQ(read_int32(r), 0x12345678);
}

TEST(ByteReaderValues, BadBlocksReadAsEmpty) {
  ByteReader fresh;
  EXPECT_EQ(fresh.base, nullptr);
  EXPECT_EQ(read_int32(fresh), 0);
  ByteReader negative;
  char block[4] = {1, 2, 3, 4};
  init(negative, block, -4);
  EXPECT_EQ(negative.size, 0);
  EXPECT_EQ(negative.remaining, 0);
  EXPECT_EQ(read_int32(negative), 0);
}
