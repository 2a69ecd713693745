#include "foundation/record_form.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/bytes.h"
#include "support/temp_dir.h"

namespace {

// Writes through a callback into a file of the test's directory and returns the bytes.
template <class Write>
Bytes written(const TempDir& dir, Write write) {
  std::string path = dir.file("out.bin");
  FILE* f = std::fopen(path.c_str(), "wb");
  write(f);
  std::fclose(f);
  return read_bytes(path);
}

// Opens a file holding bytes for reading; the caller closes it.
FILE* file_of(const TempDir& dir, const Bytes& bytes) {
  std::string path = dir.file("in.bin");
  write_bytes(path, bytes);
  return std::fopen(path.c_str(), "rb");
}

}  // namespace

TEST(RecordFormWrite, ByteExactEncodings) {
  TempDir dir;
  EXPECT_EQ(written(dir, [](FILE* f) { write_to(FixedString("abc"), f); }), le32(3) + str("abc"));
  EXPECT_EQ(written(dir, [](FILE* f) { write_to(FixedString(), f); }), le32(0));

  IntArray ints;
  push(ints, 1);
  push(ints, -1);
  EXPECT_EQ(written(dir, [&](FILE* f) { write_to(ints, f); }),
            (Bytes{2, 0, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
  FloatArray floats;
  push(floats, 1.0f);
  EXPECT_EQ(written(dir, [&](FILE* f) { write_to(floats, f); }), (Bytes{1, 0, 0, 0, 0, 0, 0x80, 0x3F}));
  IntArray none;
  EXPECT_EQ(written(dir, [&](FILE* f) { write_to(none, f); }), le32(0));

  StringArray strings;
  push(strings, "abc");
  push(strings, nullptr);
  push(strings, "");
  Bytes list = le32(3) + le32(3) + str("abc") + le32(0) + le32(0);
  EXPECT_EQ(written(dir, [&](FILE* f) { write_to(strings, f); }), list);

  FILE* f = file_of(dir, list);
  StringArray back;
  read_from(back, f);
  std::fclose(f);
  ASSERT_EQ(back.count, 3);
  EXPECT_STREQ(back.data[0], "abc");
  EXPECT_EQ(back.data[1], nullptr);
  EXPECT_EQ(back.data[2], nullptr);
}

TEST(RecordFormReadText, LongRecordsAreCutAndShortOnesEmpty) {
  TempDir dir;
  FILE* f = file_of(dir, le32(2000) + Bytes(2000, 'q'));
  FixedString s;
  EXPECT_EQ(read_from(s, f), 1023);
  EXPECT_EQ(std::string(s.text), std::string(1023, 'q'));
  EXPECT_EQ(std::ftell(f), 4 + 1023);  // the file stands inside the record
  std::fclose(f);

  f = file_of(dir, le32(10) + str("abc"));
  assign(s, "old");
  EXPECT_EQ(read_from(s, f), 0);
  EXPECT_TRUE(is_empty(s));
  EXPECT_EQ(s.text[0], '\0');
  std::fclose(f);

  f = file_of(dir, le32(-5) + str("abcde"));
  EXPECT_EQ(read_from(s, f), 0);
  EXPECT_EQ(std::ftell(f), 4);
  std::fclose(f);

  f = file_of(dir, Bytes{3, 0});
  EXPECT_EQ(read_from(s, f), 0);
  std::fclose(f);
}

TEST(RecordFormReadList, ShortDataLeavesSlotsAsTheyWere) {
  TempDir dir;
  FILE* f = file_of(dir, le32(3) + le32(7));
  IntArray a;
  read_from(a, f);
  std::fclose(f);
  EXPECT_EQ(a.count, 3);
  EXPECT_EQ(a.data[0], 7);
  EXPECT_EQ(a.data[1], 0);
  EXPECT_EQ(a.data[2], 0);

  // Slots that held values keep them when the file ends early.
  f = file_of(dir, le32(3) + le32(4) + le32(5) + le32(6));
  read_from(a, f);
  std::fclose(f);
  f = file_of(dir, le32(3) + le32(9));
  read_from(a, f);
  std::fclose(f);
  EXPECT_EQ(a.count, 3);
  EXPECT_EQ(a.data[0], 9);
  EXPECT_EQ(a.data[1], 5);
  EXPECT_EQ(a.data[2], 6);

  FloatArray floats;
  f = file_of(dir, le32(2) + Bytes{0, 0, 0x80, 0x3F, 0, 0, 0, 0x40});
  read_from(floats, f);
  std::fclose(f);
  ASSERT_EQ(floats.count, 2);
  EXPECT_EQ(floats.data[1], 2.0f);
}

TEST(RecordFormReadList, CountsBeyondTheFileAreRefused) {
  TempDir dir;
  IntArray a;
  push(a, 1);
  FILE* f = file_of(dir, le32(0x7FFFFFFF) + le32(7));
  read_from(a, f);
  std::fclose(f);
  EXPECT_EQ(a.count, 0);
  EXPECT_EQ(a.capacity, 1);  // the old block stays, as for a count of 0

  // Just within the slack still reads.
  f = file_of(dir, le32(kListCountSlack + 1) + le32(7));
  read_from(a, f);
  std::fclose(f);
  EXPECT_EQ(a.count, kListCountSlack + 1);

  StringArray strings;
  f = file_of(dir, le32(0x40000000));
  read_from(strings, f);
  std::fclose(f);
  EXPECT_EQ(strings.count, 0);
  EXPECT_EQ(strings.capacity, 0);
}

TEST(RecordFormReadList, StringListsFromFiles) {
  TempDir dir;
  StringArray a;
  push(a, "old");
  FILE* f = file_of(dir, le32(0));
  read_from(a, f);
  std::fclose(f);
  EXPECT_EQ(a.count, 0);
  EXPECT_EQ(a.capacity, 1);  // emptied, block kept

  // Long strings are not cut; an entry running past the end is null and the file is read to its end.
  Bytes bytes = le32(3) + le32(1500) + Bytes(1500, 'x') + le32(100) + str("short");
  f = file_of(dir, bytes);
  read_from(a, f);
  EXPECT_EQ(std::ftell(f), static_cast<long>(bytes.size()));
  std::fclose(f);
  ASSERT_EQ(a.count, 3);
  EXPECT_EQ(std::strlen(a.data[0]), 1500u);
  EXPECT_EQ(a.data[1], nullptr);
  EXPECT_EQ(a.data[2], nullptr);
}
