#include "foundation/fixed_string.h"

#include <gtest/gtest.h>

#include <string>

namespace {

void expect_text(const FixedString& s, const std::string& expected) {
  EXPECT_EQ(s.length, static_cast<int32_t>(expected.size()));
  EXPECT_EQ(std::string(s.text), expected);
  EXPECT_EQ(s.text[s.length], '\0');
}

FixedString of_length(int n, char c = 'a') { return FixedString(std::string(static_cast<size_t>(n), c).c_str()); }

}  // namespace

TEST(FixedStringCut, AssignKeepsFirst1023Characters) {
  std::string long_text;
  for (int i = 0; i < 1500; ++i) long_text += static_cast<char>('a' + i % 26);
  FixedString s;
  assign(s, long_text.c_str());
  expect_text(s, long_text.substr(0, 1023));
  EXPECT_EQ(s.text[1023], '\0');

  assign(s, "short");
  expect_text(s, "short");
  assign(s, nullptr);
  expect_text(s, "");
  assign(s, "x");
  assign(s, "");
  expect_text(s, "");
}

TEST(FixedStringCut, AppendStopsAt1023) {
  FixedString s = of_length(1000);
  append(s, std::string(50, 'b').c_str());
  expect_text(s, std::string(1000, 'a') + std::string(23, 'b'));
  append(s, "more");
  EXPECT_EQ(s.length, 1023);

  FixedString t("ab");
  append(t, nullptr);
  append(t, "");
  expect_text(t, "ab");
  append(t, "cd");
  expect_text(t, "abcd");
}

TEST(FixedStringCut, SingleCharacterEditsRespectTheLimit) {
  FixedString s = of_length(1022);
  append_char(s, 'z');
  EXPECT_EQ(s.length, 1023);
  EXPECT_EQ(s.text[1022], 'z');
  append_char(s, 'y');
  EXPECT_EQ(s.length, 1023);
  EXPECT_EQ(s.text[1023], '\0');
  prepend_char(s, 'y');
  EXPECT_EQ(s.text[0], 'a');

  FixedString t("ab");
  append_char(t, '\0');
  expect_text(t, "ab");
  prepend_char(t, 'x');
  expect_text(t, "xab");
  prepend_char(t, '\0');
  expect_text(t, "");

  FixedString u("abc");
  remove_last(u);
  expect_text(u, "ab");
  FixedString empty;
  remove_last(empty);
  expect_text(empty, "");
}

TEST(FixedStringFormat, CutsLongOutputAndReturnsLength) {
  FixedString s;
  std::string wide(2000, 'w');
  EXPECT_EQ(format(s, "%s", wide.c_str()), 1023);
  expect_text(s, wide.substr(0, 1023));
  EXPECT_EQ(format(s, "%d New Animations Installed.", 3), 27);
  expect_text(s, "3 New Animations Installed.");
}

TEST(FixedStringCompare, EqualsTreatsNullAndEmptyAsTheEmptyText) {
  FixedString empty, a("a");
  EXPECT_TRUE(equals(empty, nullptr));
  EXPECT_TRUE(equals(empty, ""));
  EXPECT_FALSE(equals(a, nullptr));
  EXPECT_FALSE(equals(a, ""));
  EXPECT_FALSE(equals(empty, "a"));
  EXPECT_TRUE(equals(a, "a"));
  EXPECT_FALSE(equals(a, "A"));
  EXPECT_FALSE(equals(a, "ab"));
  // A full text equals any longer string that begins with it.
  std::string longer(1100, 'a');
  EXPECT_TRUE(equals(of_length(1023), longer.c_str()));
}

TEST(FixedStringCompare, PrefixAndCaseInsensitive) {
  FixedString pck01("pck01"), pck01z("pck01zs"), pck02("pck02"), short_tag("pck");
  EXPECT_TRUE(equals_prefix(pck01, "pck01", 5));
  EXPECT_TRUE(equals_prefix(pck01z, "pck01", 5));
  EXPECT_FALSE(equals_prefix(pck02, "pck01", 5));
  EXPECT_FALSE(equals_prefix(short_tag, "pck01", 5));
  EXPECT_TRUE(equals_prefix(FixedString(), "", 5));

  FixedString mixed("HeLLo");
  EXPECT_TRUE(equals_nocase(mixed, "hello"));
  EXPECT_FALSE(equals_nocase(mixed, "hell"));
  EXPECT_TRUE(equals_nocase(FixedString(), nullptr));
  // Only null stands for the empty text here.
  EXPECT_FALSE(equals_nocase(FixedString(), ""));
  EXPECT_FALSE(equals_nocase(mixed, nullptr));
}

TEST(FixedStringEdit, TrimCaseAndReplace) {
  FixedString s("  a b \t");
  trim(s);
  expect_text(s, "a b");
  FixedString spaces("   ");
  trim(spaces);
  expect_text(spaces, "");
  FixedString inner("\r\n x\v\f");
  trim(inner);
  expect_text(inner, "x");
  // Bytes above 127 are neither white space nor letters.
  FixedString high("\xA0q\xA0");
  trim(high);
  to_upper(high);
  expect_text(high, "\xA0Q\xA0");

  FixedString t("abc-1");
  to_upper(t);
  expect_text(t, "ABC-1");
  to_lower(t);
  expect_text(t, "abc-1");
  replace_char(t, 'b', '/');
  expect_text(t, "a/c-1");
}
