// FixedString: the program's one text type, at most 1023 characters in a fixed buffer, never on the heap.
// Every operation that could overflow cuts silently at 1023 characters and keeps the text terminated.
#pragma once

#include <cstdarg>
#include <cstdint>

struct FixedString {
  static constexpr int32_t kCapacity = 1024;   // buffer size; index 1023 is always a terminator
  static constexpr int32_t kMaxLength = kCapacity - 1;

  char text[kCapacity];
  int32_t length;

  // Only the first character is set: the rest of the buffer is never looked at.
  FixedString() : length(0) { text[0] = '\0'; }
  explicit FixedString(const char* src);
};

void clear(FixedString& s);
// Replaces the text with src (null or "" give the empty text), keeping its first 1023 characters.
void assign(FixedString& s, const char* src);
// Appends src, cut so that the whole stays within 1023 characters.
void append(FixedString& s, const char* src);
// Appends / inserts at the front one character unless the text already holds 1023; NUL changes nothing
// on append and empties the text on prepend (the length is recounted).
void append_char(FixedString& s, char c);
void prepend_char(FixedString& s, char c);
void remove_last(FixedString& s);

// printf-style formatting into the text, at most 1023 characters; returns the new length.
int32_t format(FixedString& s, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
int32_t format_args(FixedString& s, const char* fmt, va_list args) __attribute__((format(printf, 2, 0)));

// Strips white space (space, \t, \n, \v, \f, \r) at both ends.
void trim(FixedString& s);
void to_lower(FixedString& s);
void to_upper(FixedString& s);
void replace_char(FixedString& s, char from, char to);

bool is_empty(const FixedString& s);
// Case-sensitive comparison over at most 1023 characters; null or "" equal exactly the empty text.
bool equals(const FixedString& s, const char* other);
// Compares the first n characters only (as strncmp); null or "" equal exactly the empty text.
bool equals_prefix(const FixedString& s, const char* other, int32_t n);
// As equals, with ASCII letters compared without regard to case.
bool equals_nocase(const FixedString& s, const char* other);
