// The pieces of the platform layer that every backend shares: random numbers, the re-entrant lock,
// path joining, the search pattern rule, file titles and registered window messages.
#include "platform/platform.h"
#include "platform/portable/portable_files.h"

#include <cstring>
#ifndef _WIN32
#include <string>
#include <vector>
#endif

namespace {

// The Windows runtime starts as if srand(1) had been called.
uint32_t rand_state = 1;

bool is_separator(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}

// PathFindFileNameA also ends a part at a drive's colon ("C:name.dat").
bool ends_part(char c) {
#ifdef _WIN32
  return is_separator(c) || c == ':';
#else
  return is_separator(c);
#endif
}

char fold_case(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

void platform_srand(uint32_t seed) { rand_state = seed; }

int32_t platform_rand() {
  rand_state = rand_state * 214013u + 2531011u;
  return static_cast<int32_t>((rand_state >> 16) & 0x7FFF);
}

#ifdef _WIN32
void platform_lock(PlatformLock* lock) { EnterCriticalSection(&lock->section); }
bool platform_try_lock(PlatformLock* lock) { return TryEnterCriticalSection(&lock->section) != 0; }
void platform_unlock(PlatformLock* lock) { LeaveCriticalSection(&lock->section); }
#else
void platform_lock(PlatformLock* lock) { lock->mutex.lock(); }
bool platform_try_lock(PlatformLock* lock) { return lock->mutex.try_lock(); }
void platform_unlock(PlatformLock* lock) { lock->mutex.unlock(); }
#endif

bool platform_join_path(char* out, size_t size, const char* directory, const char* name) {
  if (out == nullptr || size == 0) return false;
  if (directory == nullptr) directory = "";
  if (name == nullptr) name = "";
  const size_t directory_length = strlen(directory);
  const size_t name_length = strlen(name);
  const size_t separator = (directory_length > 0 && !is_separator(directory[directory_length - 1])) ? 1 : 0;
  const size_t total = directory_length + separator + name_length;
  if (total >= size) {
    out[0] = '\0';
    return false;
  }
  memmove(out, directory, directory_length);  // out may be directory itself
  if (separator) out[directory_length] = PLATFORM_PATH_SEPARATOR;
  memcpy(out + directory_length + separator, name, name_length);
  out[total] = '\0';
  return true;
}

// '*' takes any run of characters, '?' one; letters match without regard to case, as Windows does.
// This is the one place that decides the Linux rule for "*.dat": "X.DAT" matches too. Callers that need
// case to count (the "unins" prefix, ".kar") compare names themselves.
bool platform_match_pattern(const char* pattern, const char* name) {
  if (pattern == nullptr || name == nullptr) return false;
  if (strcmp(pattern, "*.*") == 0) return true;  // Windows: also names without a dot
  const char* star = nullptr;
  const char* star_name = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      star = pattern++;
      star_name = name;
    } else if (*pattern != '\0' && (*pattern == '?' || fold_case(*pattern) == fold_case(*name))) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++star_name;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

uint64_t portable_path_key(const char* path) {
  uint64_t key = 0xcbf29ce484222325ull;  // 64-bit FNV-1a
  for (const char* c = path; c != nullptr && *c != '\0'; ++c) {
    char byte = *c;
#ifdef _WIN32
    if (byte >= 'A' && byte <= 'Z') byte = static_cast<char>(byte - 'A' + 'a');  // one folder, any case
#endif
    key = (key ^ static_cast<uint8_t>(byte)) * 0x100000001b3ull;
  }
  return key;
}

int32_t platform_get_file_title(const char* path, char* buffer, uint16_t size) {
  if (path == nullptr) return -1;
  const char* title = path;
  for (const char* c = path; *c != '\0'; ++c) {
    if (ends_part(*c)) title = c + 1;
  }
  const size_t length = strlen(title);
  if (length == 0 || length + 1 > 0xFFFF) return -1;
  if (buffer == nullptr || length + 1 > size) return static_cast<int32_t>(length + 1);
  memcpy(buffer, title, length + 1);
  return 0;
}

#ifdef _WIN32
uint32_t platform_register_window_message(const char* name) {
  return name != nullptr ? RegisterWindowMessageA(name) : 0;
}
#else
// Names are known without regard to case, as on Windows; one number each, from 0xC000.
uint32_t platform_register_window_message(const char* name) {
  static std::vector<std::string> names;
  constexpr uint32_t kFirst = 0xC000;
  if (name == nullptr || name[0] == '\0') return 0;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string& known = names[i];
    bool same = known.size() == strlen(name);
    for (size_t k = 0; same && k < known.size(); ++k) same = fold_case(known[k]) == fold_case(name[k]);
    if (same) return kFirst + static_cast<uint32_t>(i);
  }
  if (names.size() > 0xFFFF - kFirst) return 0;
  names.push_back(name);
  return kFirst + static_cast<uint32_t>(names.size() - 1);
}
#endif
