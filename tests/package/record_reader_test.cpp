#include "package/record_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/record_form.h"

namespace {

std::string le32(int32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }

ByteReader over(const std::string& bytes) {
  ByteReader r;
  init(r, bytes.data(), static_cast<int32_t>(bytes.size()));
  return r;
}

}  // namespace

TEST(MemoryRecordText, LengthsDecideTextAndCursor) {
  FixedString s("old");
  std::string three("\x03\x00\x00", 3);
  ByteReader short_reader = over(three);
  read_fixed_string(short_reader, s);
  EXPECT_TRUE(is_empty(s));
  EXPECT_EQ(short_reader.remaining, 3);

  std::string negative = le32(-1) + "abc";
  ByteReader r = over(negative);
  read_fixed_string(r, s);
  EXPECT_TRUE(is_empty(s));
  EXPECT_EQ(r.remaining, 3);

  std::string good = le32(3) + "abc" + le32(2) + "de";
  r = over(good);
  read_fixed_string(r, s);
  EXPECT_STREQ(s.text, "abc");
  EXPECT_EQ(s.length, 3);
  read_fixed_string(r, s);
  EXPECT_STREQ(s.text, "de");
}

TEST(MemoryRecordText, LongAndOverrunningRecords) {
  // Longer than 1023: the first 1023 bytes, and the cursor past the whole record.
  std::string long_record = le32(2000) + std::string(2000, 'q') + le32(1) + "z";
  ByteReader r = over(long_record);
  FixedString s;
  read_fixed_string(r, s);
  EXPECT_EQ(s.length, 1023);
  EXPECT_EQ(s.text[1023], '\0');
  EXPECT_EQ(std::string(s.text), std::string(1023, 'q'));
  read_fixed_string(r, s);
  EXPECT_STREQ(s.text, "z");

  // Longer than the bytes left: empty, and the cursor at the end.
  std::string overrun = le32(10) + "abc";
  r = over(overrun);
  read_fixed_string(r, s);
  EXPECT_TRUE(is_empty(s));
  EXPECT_EQ(r.remaining, 0);
  std::string huge = le32(0x7FFFFFFF) + "abc";
  r = over(huge);
  read_fixed_string(r, s);
  EXPECT_TRUE(is_empty(s));
  EXPECT_EQ(r.remaining, 0);
}

TEST(MemoryRecordList, MissingValuesReadAsZero) {
  std::string bytes = le32(3) + le32(7);
  ByteReader r = over(bytes);
  IntArray a;
  read_int_array(r, a);
  ASSERT_EQ(a.count, 3);
  EXPECT_EQ(a.data[0], 7);
  EXPECT_EQ(a.data[1], 0);
  EXPECT_EQ(a.data[2], 0);
  EXPECT_EQ(a.capacity, 3);

  float half = 0.5f;
  std::string floats = le32(2) + std::string(reinterpret_cast<const char*>(&half), 4) + "\x01\x02";
  r = over(floats);
  FloatArray f;
  read_float_array(r, f);
  ASSERT_EQ(f.count, 2);
  EXPECT_EQ(f.data[0], 0.5f);
  EXPECT_EQ(f.data[1], 0.0f);
  EXPECT_EQ(r.remaining, 2);

  // Built as by pushes: the capacity follows the array's step.
  IntArray stepped(8);
  std::string two = le32(2) + le32(1) + le32(2);
  r = over(two);
  read_int_array(r, stepped);
  EXPECT_EQ(stepped.count, 2);
  EXPECT_EQ(stepped.capacity, 8);
}

TEST(MemoryRecordList, EmptyResultsHaveNoBlock) {
  IntArray a;
  push(a, 1);
  std::string short_bytes("\x01\x00", 2);
  ByteReader r = over(short_bytes);
  read_int_array(r, a);
  EXPECT_EQ(a.count, 0);
  EXPECT_EQ(a.data, nullptr);
  EXPECT_EQ(r.remaining, 2);

  StringArray s;
  push(s, "x");
  std::string zero = le32(0) + le32(5);
  r = over(zero);
  read_string_array(r, s);
  EXPECT_EQ(s.count, 0);
  EXPECT_EQ(s.data, nullptr);
  EXPECT_EQ(r.remaining, 4);

  std::string negative = le32(-3);
  r = over(negative);
  read_int_array(r, a);
  EXPECT_EQ(a.data, nullptr);
}

TEST(MemoryRecordList, CountsBeyondTheDataAreRefused) {
  // A count of 0x7FFFFFFF behind 8 bytes would otherwise ask for 8 GiB.
  std::string bytes = le32(0x7FFFFFFF) + le32(1) + le32(2);
  ByteReader r = over(bytes);
  IntArray a;
  read_int_array(r, a);
  EXPECT_EQ(a.count, 0);
  EXPECT_EQ(a.data, nullptr);
  EXPECT_EQ(r.remaining, 8);

  r = over(bytes);
  StringArray s;
  read_string_array(r, s);
  EXPECT_EQ(s.count, 0);

  // The slack keeps short lists whole.
  std::string slack = le32(2 + kListCountSlack) + le32(1) + le32(2);
  r = over(slack);
  read_int_array(r, a);
  EXPECT_EQ(a.count, 2 + kListCountSlack);
  std::string beyond = le32(3 + kListCountSlack) + le32(1) + le32(2);
  r = over(beyond);
  read_int_array(r, a);
  EXPECT_EQ(a.count, 0);
}

TEST(MemoryRecordList, StringListsUseTextRecords) {
  std::string bytes = le32(2) + le32(2) + "ab";
  ByteReader r = over(bytes);
  StringArray s;
  read_string_array(r, s);
  ASSERT_EQ(s.count, 2);
  EXPECT_STREQ(s.data[0], "ab");
  EXPECT_EQ(s.data[1], nullptr);

  std::string mixed = le32(3) + le32(3) + "abc" + le32(0) + le32(1200) + std::string(1200, 'k');
  r = over(mixed);
  read_string_array(r, s);
  ASSERT_EQ(s.count, 3);
  EXPECT_STREQ(s.data[0], "abc");
  EXPECT_EQ(s.data[1], nullptr);
  EXPECT_EQ(std::strlen(s.data[2]), 1023u);
  EXPECT_EQ(r.remaining, 0);
}
