// The shared file services of portable_files.h on Windows, made of the Win32 calls themselves: the
// system's directory order and case rule, its attributes, and CopyFileA refusing to overwrite. Both
// backends built for Windows use them.
#include "platform/portable/portable_files.h"

#include <cstring>

struct PlatformFind {
  HANDLE handle;
  char wildcard[MAX_PATH];  // the pattern's last part; empty keeps every name
};

namespace {

uint32_t result_of(BOOL done) { return done ? ERROR_SUCCESS : GetLastError(); }

// FindFirstFileA also lists "." and ".." for a pattern that matches them, and names whose 8.3 short
// name alone matches ("x.data" is also "X~1.DAT" to "*.dat"): the platform layer's search keeps only
// long names that match.
bool passed_over(const PlatformFind& find, const char* name) {
  if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return true;
  return find.wildcard[0] != '\0' && !platform_match_pattern(find.wildcard, name);
}

void copy_entry(const WIN32_FIND_DATAA& found, PlatformFindData* data) {
  static_assert(sizeof data->name == sizeof found.cFileName, "a Win32 name fits the search's buffer");
  memcpy(data->name, found.cFileName, sizeof data->name);
  data->name[sizeof data->name - 1] = '\0';
  data->attributes = found.dwFileAttributes;
}

// The next entry that is kept; the error code of FindNextFileA at the end.
uint32_t next_entry(const PlatformFind& find, WIN32_FIND_DATAA* found) {
  do {
    if (!FindNextFileA(find.handle, found)) return GetLastError();
  } while (passed_over(find, found->cFileName));
  return ERROR_SUCCESS;
}

}  // namespace

uint32_t portable_find_first_file(const char* pattern, PlatformFindData* data, PlatformFind** find) {
  *find = nullptr;
  if (pattern == nullptr || data == nullptr) return ERROR_INVALID_PARAMETER;
  PlatformFind search{};
  if (platform_get_file_title(pattern, search.wildcard, sizeof search.wildcard) != 0) search.wildcard[0] = '\0';
  WIN32_FIND_DATAA found;
  search.handle = FindFirstFileA(pattern, &found);
  if (search.handle == INVALID_HANDLE_VALUE) return GetLastError();
  if (passed_over(search, found.cFileName) && next_entry(search, &found) != ERROR_SUCCESS) {
    FindClose(search.handle);
    return ERROR_FILE_NOT_FOUND;  // nothing but "." and ".." or short names matched
  }
  copy_entry(found, data);
  *find = new PlatformFind(search);
  return ERROR_SUCCESS;
}

uint32_t portable_find_next_file(PlatformFind* find, PlatformFindData* data) {
  if (find == nullptr || data == nullptr) return ERROR_INVALID_HANDLE;
  WIN32_FIND_DATAA found;
  const uint32_t error = next_entry(*find, &found);
  if (error == ERROR_SUCCESS) copy_entry(found, data);
  return error;
}

void portable_find_close(PlatformFind* find) {
  if (find == nullptr) return;
  FindClose(find->handle);
  delete find;
}

uint32_t portable_copy_file(const char* existing, const char* new_path) {
  if (existing == nullptr || new_path == nullptr) return ERROR_INVALID_PARAMETER;
  return result_of(CopyFileA(existing, new_path, TRUE));
}

uint32_t portable_move_file(const char* existing, const char* new_path) {
  if (existing == nullptr || new_path == nullptr) return ERROR_INVALID_PARAMETER;
  // Without MOVEFILE_REPLACE_EXISTING an existing destination is never replaced.
  return result_of(MoveFileExA(existing, new_path, MOVEFILE_WRITE_THROUGH));
}

uint32_t portable_flush_file(const char* path) {
  if (path == nullptr) return ERROR_FILE_NOT_FOUND;
  const HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  const uint32_t error = result_of(FlushFileBuffers(file));
  CloseHandle(file);
  return error;
}

uint32_t portable_process_id() { return GetCurrentProcessId(); }

bool portable_process_running(uint32_t process_id) {
  if (process_id == GetCurrentProcessId()) return true;
  const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, process_id);
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;  // it runs, but not for us
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

uint32_t portable_create_directory(const char* path) {
  if (path == nullptr) return ERROR_PATH_NOT_FOUND;
  return result_of(CreateDirectoryA(path, nullptr));
}

uint32_t portable_remove_directory(const char* path) {
  if (path == nullptr) return ERROR_PATH_NOT_FOUND;
  return result_of(RemoveDirectoryA(path));
}

uint32_t portable_delete_file(const char* path) {
  if (path == nullptr) return ERROR_FILE_NOT_FOUND;
  return result_of(DeleteFileA(path));
}

uint32_t portable_get_file_attributes(const char* path, uint32_t* attributes) {
  *attributes = INVALID_FILE_ATTRIBUTES;
  if (path == nullptr) return ERROR_FILE_NOT_FOUND;
  *attributes = GetFileAttributesA(path);
  return *attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_SUCCESS;
}

uint32_t portable_set_file_attributes(const char* path, uint32_t attributes) {
  if (path == nullptr) return ERROR_FILE_NOT_FOUND;
  return result_of(SetFileAttributesA(path, attributes));
}

uint32_t portable_set_current_directory(const char* path) {
  if (path == nullptr) return ERROR_FILE_NOT_FOUND;
  return result_of(SetCurrentDirectoryA(path));
}

uint32_t portable_get_current_directory(char* buffer, uint32_t size, uint32_t* length) {
  *length = GetCurrentDirectoryA(buffer != nullptr ? size : 0, buffer);
  return *length == 0 ? GetLastError() : ERROR_SUCCESS;
}
