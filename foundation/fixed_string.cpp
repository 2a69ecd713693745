#include "foundation/fixed_string.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

int32_t counted_length(const FixedString& s) { return static_cast<int32_t>(std::strlen(s.text)); }

bool is_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

}  // namespace

FixedString::FixedString(const char* src) : length(0) {
  text[0] = '\0';
  assign(*this, src);
}

void clear(FixedString& s) {
  s.text[0] = '\0';
  s.length = 0;
}

void assign(FixedString& s, const char* src) {
  if (src == nullptr || src[0] == '\0') {
    clear(s);
    return;
  }
  std::strncpy(s.text, src, FixedString::kMaxLength);
  s.text[FixedString::kMaxLength] = '\0';
  s.length = counted_length(s);
}

void append(FixedString& s, const char* src) {
  if (src == nullptr || src[0] == '\0') return;
  std::strncpy(s.text + s.length, src, static_cast<size_t>(FixedString::kMaxLength - s.length));
  s.text[FixedString::kMaxLength] = '\0';
  s.length = counted_length(s);
}

void append_char(FixedString& s, char c) {
  if (s.length > FixedString::kMaxLength - 1) return;
  s.text[s.length + 1] = '\0';
  s.text[s.length] = c;
  s.length = counted_length(s);
}

void prepend_char(FixedString& s, char c) {
  if (s.length > FixedString::kMaxLength - 1) return;
  std::memmove(s.text + 1, s.text, static_cast<size_t>(s.length) + 1);
  s.text[0] = c;
  s.text[s.length + 1] = '\0';
  s.length = counted_length(s);
}

void remove_last(FixedString& s) {
  if (s.length <= 0) return;
  s.length -= 1;
  s.text[s.length] = '\0';
}

int32_t format(FixedString& s, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  int32_t length = format_args(s, fmt, args);
  va_end(args);
  return length;
}

int32_t format_args(FixedString& s, const char* fmt, va_list args) {
  s.text[0] = '\0';
  std::vsnprintf(s.text, FixedString::kCapacity, fmt, args);
  // Some runtimes leave a cut output unterminated.
  s.text[FixedString::kMaxLength] = '\0';
  s.length = counted_length(s);
  return s.length;
}

void trim(FixedString& s) {
  if (s.length <= 0) return;
  int32_t lead = 0;
  while (lead < s.length && is_space(s.text[lead])) ++lead;
  if (lead == s.length) {
    clear(s);
    return;
  }
  if (lead > 0) {
    std::memmove(s.text, s.text + lead, static_cast<size_t>(s.length - lead) + 1);
    s.length -= lead;
  }
  int32_t end = s.length;
  while (end > 0 && is_space(s.text[end - 1])) --end;
  s.text[end] = '\0';
  s.length = end;
}

void to_lower(FixedString& s) {
  for (int32_t i = 0; i < s.length; ++i)
    s.text[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(s.text[i])));
}

void to_upper(FixedString& s) {
  for (int32_t i = 0; i < s.length; ++i)
    s.text[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(s.text[i])));
}

void replace_char(FixedString& s, char from, char to) {
  for (int32_t i = 0; i < s.length; ++i)
    if (s.text[i] == from) s.text[i] = to;
}

bool is_empty(const FixedString& s) { return s.length == 0; }

bool equals(const FixedString& s, const char* other) {
  if (other == nullptr || other[0] == '\0') return is_empty(s);
  if (is_empty(s)) return false;
  return std::strncmp(s.text, other, FixedString::kMaxLength) == 0;
}

bool equals_prefix(const FixedString& s, const char* other, int32_t n) {
  if (other == nullptr || other[0] == '\0') return is_empty(s);
  if (is_empty(s)) return false;
  return n <= 0 || std::strncmp(s.text, other, static_cast<size_t>(n)) == 0;
}

bool equals_nocase(const FixedString& s, const char* other) {
  // Unlike equals, only null stands for the empty text here: "" never matches.
  if (other == nullptr) return is_empty(s);
  if (is_empty(s)) return false;
  for (int32_t i = 0; i < FixedString::kMaxLength; ++i) {
    int a = std::tolower(static_cast<unsigned char>(s.text[i]));
    int b = std::tolower(static_cast<unsigned char>(other[i]));
    if (a != b) return false;
    if (a == 0) return true;
  }
  return true;
}
