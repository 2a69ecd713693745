#include "package/pack_file.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "package/pack_writer.h"
#include "package/trace_log.h"
#include "support/bytes.h"
#include "support/temp_dir.h"

namespace {

// The smallest package: one entry, id 0, holding "abc".
const Bytes kExample = {
    5, 0, 0, 0, 'p', 'c', 'k', '0', '1',  // the tag
    1, 0, 0, 0, 0, 0, 0, 0,               // ids [0]
    1, 0, 0, 0, 0, 0, 0, 0,               // offsets [0]
    1, 0, 0, 0, 3, 0, 0, 0,               // sizes [3]
    1, 0, 0, 0, 0, 0, 0, 0,               // extras [0]
    'a', 'b', 'c'};                       // the data block

std::string entry_text(PackFile& pack, int32_t id) {
  ByteReader* r = find_entry(pack, id);
  if (r == nullptr) return "<none>";
  return std::string(reinterpret_cast<const char*>(r->cursor), static_cast<size_t>(r->remaining));
}

void add_text(PackBuilder& b, int32_t id, const std::string& text, int32_t extra = 0) {
  add_entry(b, id, text.data(), static_cast<int32_t>(text.size()), extra);
}

// A few entries of mixed content, big enough for the transposition to move most bytes.
PackBuilder sample_builder() {
  PackBuilder b;
  add_text(b, 0, "c.1.\r\nfree line\r\nSample\r\n-10,20\r\n");
  add_text(b, 1, std::string(300, 'r') + "description", 5);
  std::string noise;
  for (int i = 0; i < 400; ++i) noise += static_cast<char>((i * 131 + 17) % 256);
  add_text(b, 7, noise, -2);
  add_text(b, 9, "");
  return b;
}

// Every row of an opened pack lies inside its data block, and the lists are in step.
void expect_sound(const PackFile& pack) {
  ASSERT_EQ(pack.offsets.count, pack.ids.count);
  ASSERT_EQ(pack.sizes.count, pack.ids.count);
  ASSERT_EQ(pack.extras.count, pack.ids.count);
  ASSERT_EQ(pack.entries.size(), static_cast<size_t>(pack.ids.count));
  for (const ByteReader& r : pack.entries) {
    EXPECT_GE(r.base, pack.data);
    EXPECT_LE(r.base + r.size, pack.data + pack.data_size);
  }
}

Bytes transposed_plainly(const Bytes& in) {
  Bytes out = in;
  size_t n = 0;
  while ((n + 1) * (n + 1) <= in.size()) ++n;
  for (size_t i = 0; i < n; ++i)
    for (size_t j = 0; j < n; ++j) out[i * n + j] = in[j * n + i];
  return out;
}

Bytes encoded(const PackBuilder& b, const char* tag) {
  Bytes file;
  EXPECT_TRUE(encode_package(b, tag, file));
  return file;
}

// A "pck01z" package whose U field is replaced.
Bytes with_expanded_size(const PackBuilder& b, int32_t expanded_size) {
  Bytes file = encoded(b, "pck01z");
  std::memcpy(file.data() + 4 + 6, &expanded_size, 4);
  return file;
}

}  // namespace

TEST(PackFileFormat, SmallestPackageReadsAndIsWrittenByteForByte) {
  TempDir dir;
  std::string path = dir.file("example.dat");
  write_bytes(path, kExample);
  PackFile pack;
  PackDetails details;
  ASSERT_TRUE(open(pack, path.c_str(), &details));
  EXPECT_EQ(entry_text(pack, 0), "abc");
  EXPECT_EQ(pack.data_size, 3u);
  EXPECT_EQ(find_entry(pack, 0)->base, pack.data);  // offset 0 is the first byte after the extras list
  EXPECT_EQ(pack.data, pack.body + 32);
  EXPECT_EQ(extra_of(pack, 0), 0);
  EXPECT_EQ(extra_of(pack, 1), -1);
  EXPECT_EQ(find_entry(pack, 1), nullptr);
  EXPECT_EQ(details.body_size, 35u);
  EXPECT_EQ(details.problem, nullptr);

  PackBuilder b;
  add_text(b, 0, "abc");
  EXPECT_EQ(encoded(b, "pck01"), kExample);
}

TEST(PackFileFormat, TagAloneIsAnEmptyPackage) {
  TempDir dir;
  std::string path = dir.file("tag.dat");
  write_bytes(path, le32(5) + str("pck01"));
  PackFile pack;
  ASSERT_TRUE(open(pack, path.c_str()));
  EXPECT_EQ(pack.ids.count, 0);
  EXPECT_EQ(pack.data_size, 0u);
  EXPECT_EQ(find_entry(pack, 0), nullptr);
  EXPECT_EQ(find_entry(pack, -1), nullptr);
}

TEST(PackFileFormat, OtherTagsAreRefusedAndLeaveThePackEmpty) {
  TempDir dir;
  std::string good = dir.file("good.dat");
  write_bytes(good, kExample);
  const Bytes refused[] = {
      le32(5) + str("pck03") + Bytes(40, 0), le32(3) + str("pck"), le32(0) + Bytes(40, 0), le32(-7) + Bytes(40, 0),
      le32(9) + str("pck01"),  // the tag runs past the end of the file
      Bytes{}, Bytes{5, 0},
  };
  PackFile pack;
  for (const Bytes& bytes : refused) {
    ASSERT_TRUE(open(pack, good.c_str()));
    std::string path = dir.file("bad.dat");
    write_bytes(path, bytes);
    PackDetails details;
    EXPECT_FALSE(open(pack, path.c_str(), &details));
    EXPECT_NE(details.problem, nullptr);
    EXPECT_EQ(pack.data, nullptr);
    EXPECT_EQ(pack.ids.count, 0);
    EXPECT_EQ(find_entry(pack, 0), nullptr);
  }
  ASSERT_TRUE(open(pack, good.c_str()));
  EXPECT_FALSE(open(pack, dir.file("missing.dat").c_str()));
  EXPECT_EQ(pack.body, nullptr);
  EXPECT_EQ(extra_of(pack, 0), -1);
}

TEST(PackFileFormat, FlagLettersDecodeInAnyOrder) {
  TempDir dir;
  PackBuilder b = sample_builder();
  for (const char* tag : {"pck01", "pck01x", "pck02z", "pck02s", "pck02zs", "pck02sz", "pck01szzq"}) {
    std::string path = dir.file("flags.dat");
    ASSERT_TRUE(write_package(b, tag, path.c_str()));
    PackFile pack;
    PackDetails details;
    ASSERT_TRUE(open(pack, path.c_str(), &details)) << tag;
    EXPECT_STREQ(details.tag.text, tag);
    EXPECT_EQ(details.flags.compressed, std::strchr(tag + 5, 'z') != nullptr) << tag;
    EXPECT_EQ(details.flags.transposed, std::strchr(tag + 5, 's') != nullptr) << tag;
    EXPECT_EQ(details.body_size, encode_body(b).size());
    EXPECT_EQ(entry_text(pack, 0), "c.1.\r\nfree line\r\nSample\r\n-10,20\r\n") << tag;
    EXPECT_EQ(entry_text(pack, 7).size(), 400u);
    EXPECT_EQ(entry_text(pack, 9), "");
    EXPECT_EQ(extra_of(pack, 7), -2);
    EXPECT_EQ(extra_of(pack, 1), 5);
  }
}

TEST(PackFileFormat, WriterTransposesThenCompresses) {
  PackBuilder b = sample_builder();
  Bytes body = encode_body(b);
  Bytes file = encoded(b, "pck02sz");
  int32_t expanded_size;
  std::memcpy(&expanded_size, file.data() + 4 + 7, 4);
  ASSERT_EQ(static_cast<size_t>(expanded_size), body.size());
  Bytes inflated(body.size());
  uLongf length = static_cast<uLongf>(inflated.size());
  ASSERT_EQ(uncompress(inflated.data(), &length, file.data() + 15, file.size() - 15), Z_OK);
  EXPECT_EQ(inflated, transposed_plainly(body));

  Bytes plain_s = encoded(b, "pck01s");
  EXPECT_EQ(Bytes(plain_s.begin() + 10, plain_s.end()), transposed_plainly(body));
}

TEST(PackFileLookup, FirstRowWinsAndReadersAreRewound) {
  TempDir dir;
  PackBuilder b;
  add_text(b, 4, "first", 11);
  add_text(b, 4, "second", 22);
  add_text(b, 5, "other");
  std::string path = dir.file("dup.dat");
  ASSERT_TRUE(write_package(b, "pck01", path.c_str()));
  PackFile pack;
  ASSERT_TRUE(open(pack, path.c_str()));
  EXPECT_EQ(entry_text(pack, 4), "first");
  EXPECT_EQ(extra_of(pack, 4), 11);

  ByteReader* r = find_entry(pack, 4);
  take(*r, 3);
  EXPECT_EQ(r->remaining, 2);
  ByteReader* again = find_entry(pack, 4);
  EXPECT_EQ(again, r);
  EXPECT_EQ(again->remaining, 5);
  EXPECT_EQ(again->cursor, again->base);

  release(pack);
  EXPECT_EQ(find_entry(pack, 4), nullptr);
  EXPECT_EQ(pack.data, nullptr);
  EXPECT_TRUE(pack.entries.empty());
}

TEST(PackFileBounds, RowsOutsideTheDataBlockAreDropped) {
  TempDir dir;
  PackBuilder b;
  add_text(b, 1, "good", 1);
  int32_t size = static_cast<int32_t>(b.data.size());
  add_row(b, 2, 100, 1);                 // beyond the data
  add_row(b, 3, -1, 2);                  // negative offset
  add_row(b, 4, 0, -1);                  // negative size
  add_row(b, 5, 0x7FFFFFF0, 0x20);       // offset + size overflows 32 bits
  add_row(b, 6, size, 0, 6);             // empty, at the very end: inside
  add_row(b, 7, 2, size - 2, 7);         // the tail: inside
  add_row(b, 8, 2, size - 1);            // one byte too far
  std::string path = dir.file("outside.dat");
  ASSERT_TRUE(write_package(b, "pck01", path.c_str()));
  PackFile pack;
  PackDetails details;
  ASSERT_TRUE(open(pack, path.c_str(), &details));
  expect_sound(pack);
  EXPECT_EQ(std::vector<int32_t>(pack.ids.data, pack.ids.data + pack.ids.count), (std::vector<int32_t>{1, 6, 7}));
  EXPECT_EQ(std::vector<int32_t>(pack.extras.data, pack.extras.data + pack.extras.count),
            (std::vector<int32_t>{1, 6, 7}));
  EXPECT_EQ(details.dropped_rows, 5);
  EXPECT_EQ(entry_text(pack, 7), "od");
  EXPECT_EQ(entry_text(pack, 6), "");
  EXPECT_EQ(find_entry(pack, 2), nullptr);
}

TEST(PackFileBounds, UnequalListsKeepOnlyWholeRows) {
  TempDir dir;
  PackBuilder b;
  add_text(b, 1, "one");
  add_text(b, 2, "two");
  add_text(b, 3, "three");
  b.offsets.pop_back();
  b.extras.resize(1);
  std::string path = dir.file("unequal.dat");
  ASSERT_TRUE(write_package(b, "pck01", path.c_str()));
  PackFile pack;
  PackDetails details;
  ASSERT_TRUE(open(pack, path.c_str(), &details));
  expect_sound(pack);
  EXPECT_EQ(pack.ids.count, 1);
  EXPECT_EQ(details.dropped_rows, 2);
  EXPECT_EQ(find_entry(pack, 2), nullptr);
  // The data block starts after the lists as written, so the one row still reads its bytes.
  EXPECT_EQ(entry_text(pack, 1), "one");
}

TEST(PackFileBounds, AbsurdCountsAndSizesAreHarmless) {
  TempDir dir;
  PackFile pack;
  std::string path = dir.file("count.dat");
  write_bytes(path, le32(5) + str("pck01") + le32(0x7FFFFFFF) + le32(1) + le32(0) + le32(1) + le32(2));
  ASSERT_TRUE(open(pack, path.c_str()));
  expect_sound(pack);
  EXPECT_EQ(pack.ids.count, 0);

  PackBuilder b = sample_builder();
  for (int32_t bad : {-1, INT32_MIN, 0x7FFFFFFF, 1 << 30}) {
    write_bytes(path, with_expanded_size(b, bad));
    PackDetails details;
    EXPECT_FALSE(open(pack, path.c_str(), &details)) << bad;
    EXPECT_NE(details.problem, nullptr);
  }
  // More than zlib could ever expand the stored bytes to.
  Bytes file = with_expanded_size(b, 0);
  int32_t too_big = static_cast<int32_t>((file.size() - 14) * kMaxInflateRatio + 1);
  write_bytes(path, with_expanded_size(b, too_big));
  EXPECT_FALSE(open(pack, path.c_str()));
  write_bytes(path, with_expanded_size(b, too_big - 1));
  EXPECT_TRUE(open(pack, path.c_str()));
}

TEST(PackFileBounds, FailedDecompressionIsTracedAndParsedFromWhatCameOut) {
  TempDir dir;
  std::string trace_path = dir.file("trace.txt");
  trace_open(trace_path.c_str());
  PackBuilder b = sample_builder();
  size_t body_size = encode_body(b).size();
  std::string path = dir.file("short.dat");
  PackFile pack;
  PackDetails details;

  // A U too small for the stream: zlib fills all it can and fails.
  write_bytes(path, with_expanded_size(b, 40));
  ASSERT_TRUE(open(pack, path.c_str(), &details));
  EXPECT_TRUE(details.decompress_failed);
  EXPECT_EQ(details.body_size, 40u);
  expect_sound(pack);

  // A damaged stream: the body is what came out before the damage, no more.
  Bytes damaged = encoded(b, "pck01z");
  for (size_t i = damaged.size() / 2; i < damaged.size(); ++i) damaged[i] ^= 0x5A;
  write_bytes(path, damaged);
  ASSERT_TRUE(open(pack, path.c_str(), &details));
  EXPECT_TRUE(details.decompress_failed);
  EXPECT_LT(details.body_size, body_size);
  EXPECT_EQ(decoded_size(pack), details.body_size);
  expect_sound(pack);

  // A U larger than needed is no failure: the body is what came out.
  write_bytes(path, with_expanded_size(b, static_cast<int32_t>(body_size + 1000)));
  ASSERT_TRUE(open(pack, path.c_str(), &details));
  EXPECT_FALSE(details.decompress_failed);
  EXPECT_EQ(details.body_size, body_size);
  EXPECT_EQ(entry_text(pack, 1).size(), 311u);
  trace_close();
  EXPECT_EQ(read_text_lines(trace_path),
            "## OpenTraces: " + trace_path + "\nuncompress failed\nuncompress failed\n## CloseTraces\n");
}

// The bound is on the body that really comes out, compressed or not; what U claims beyond it costs nothing.
TEST(PackFileBounds, ABodyLargerThanTheBoundIsRefusedWhateverItClaims) {
  TempDir dir;
  const std::string path = dir.file("bound.dat");
  const PackBuilder b = sample_builder();
  const uint32_t body_size = static_cast<uint32_t>(encode_body(b).size());
  PackFile pack;
  PackDetails details;
  const struct {
    Bytes file;
    uint32_t bound;
    bool opens;
  } cases[] = {
      {with_expanded_size(b, static_cast<int32_t>(body_size)), body_size, true},
      {with_expanded_size(b, static_cast<int32_t>(body_size) + 1000), body_size, true},
      {with_expanded_size(b, static_cast<int32_t>(body_size)), body_size - 1, false},
      {with_expanded_size(b, static_cast<int32_t>(body_size) + 1000), body_size - 1, false},
      {encoded(b, "pck01"), body_size, true},
      {encoded(b, "pck01"), body_size - 1, false},
  };
  for (const auto& c : cases) {
    write_bytes(path, c.file);
    EXPECT_EQ(open_within(pack, path.c_str(), c.bound, &details), c.opens) << c.bound;
    EXPECT_EQ(decoded_size(pack), c.opens ? body_size : 0u);
    EXPECT_FALSE(details.decompress_failed);
  }
}

TEST(PackFileBounds, EveryTruncationAndByteFlipOpensSafely) {
  TempDir dir;
  std::string path = dir.file("cut.dat");
  PackBuilder b = sample_builder();
  PackFile pack;
  for (const char* tag : {"pck01", "pck02z", "pck02s", "pck02zs"}) {
    Bytes file = encoded(b, tag);
    for (size_t length = 0; length < file.size(); ++length) {
      write_bytes(path, Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length)));
      if (open(pack, path.c_str())) expect_sound(pack);
    }
  }
  // Damage one byte at a time in the tag and the directory of a plain package.
  Bytes file = encoded(b, "pck01");
  for (size_t at = 0; at < 90; ++at) {
    for (unsigned char value : {0x00, 0x80, 0xFF}) {
      Bytes damaged = file;
      damaged[at] = value;
      write_bytes(path, damaged);
      if (open(pack, path.c_str())) expect_sound(pack);
    }
  }
}
