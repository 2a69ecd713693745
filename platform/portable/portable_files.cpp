// File services through std::filesystem, with the meaning and the error codes of their Win32 models.
// On Windows platform/win32/win32_files.cpp gives them with the Win32 calls themselves; the
// install path from the environment and the error texts below serve every platform.
#include "platform/portable/portable_files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool copy_text(char* buffer, uint32_t size, const std::string& text) {
  if (buffer == nullptr || text.size() >= size) return false;
  memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

}  // namespace

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool is_empty(const char* text) { return text == nullptr || text[0] == '\0'; }

}  // namespace

struct PlatformFind {
  fs::directory_iterator next;  // the entry after the one last returned
  std::string wildcard;
};

namespace {

// What a failed file call reports on Windows for the same cause. ENOENT means the file itself is
// missing unless the caller knows it names a directory on the way.
uint32_t win32_error(const std::error_code& ec, uint32_t not_found = ERROR_FILE_NOT_FOUND) {
  switch (ec.value()) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return not_found;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENOSPC: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EROFS: return ERROR_WRITE_PROTECT;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    default: return ERROR_GEN_FAILURE;
  }
}

bool is_read_only(fs::perms permissions) { return (permissions & fs::perms::owner_write) == fs::perms::none; }

uint32_t attributes_of(const fs::file_status& status) {
  uint32_t attributes = 0;
  if (fs::is_directory(status)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  // Opening a FIFO waits for a writer, and a device never ends: neither is a file to read as data.
  else if (fs::is_fifo(status) || fs::is_socket(status) || fs::is_block_file(status) || fs::is_character_file(status))
    attributes |= FILE_ATTRIBUTE_DEVICE;
  if (is_read_only(status.permissions())) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
}

// Moves the search to the next matching entry and fills data; false at the end. Names that do not fit
// a Win32 name buffer are passed over: a cut name would name another file.
bool advance(PlatformFind* find, PlatformFindData* data) {
  std::error_code ec;
  for (; find->next != fs::directory_iterator(); find->next.increment(ec)) {
    if (ec) return false;
    const std::string name = find->next->path().filename().string();
    if (name.size() >= sizeof data->name || !platform_match_pattern(find->wildcard.c_str(), name.c_str()))
      continue;
    std::error_code status_ec;
    fs::file_status status = find->next->status(status_ec);
    if (status_ec) status = find->next->symlink_status(status_ec);  // a dangling link
    memcpy(data->name, name.c_str(), name.size() + 1);
    data->attributes = attributes_of(status);
    // Windows marks links so that a tree walk can remove the link without entering its target.
    // (FILE_ATTRIBUTE_NORMAL stands only alone.)
    if (find->next->is_symlink(status_ec))
      data->attributes = (data->attributes & ~FILE_ATTRIBUTE_NORMAL) | FILE_ATTRIBUTE_REPARSE_POINT;
    find->next.increment(ec);
    if (ec) find->next = fs::directory_iterator();
    return true;
  }
  return false;
}

}  // namespace

uint32_t portable_find_first_file(const char* pattern, PlatformFindData* data, PlatformFind** find) {
  *find = nullptr;
  if (is_empty(pattern) || data == nullptr) return ERROR_INVALID_PARAMETER;
  const std::string text(pattern);
  const size_t slash = text.find_last_of('/');
  const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : text.substr(0, slash);
  const std::string wildcard = slash == std::string::npos ? text : text.substr(slash + 1);
  if (wildcard.empty()) return ERROR_FILE_NOT_FOUND;
  std::error_code ec;
  fs::directory_iterator entries(directory, ec);
  if (ec) return win32_error(ec, ERROR_PATH_NOT_FOUND);
  PlatformFind* search = new PlatformFind{std::move(entries), wildcard};
  if (!advance(search, data)) {
    delete search;
    return ERROR_FILE_NOT_FOUND;
  }
  *find = search;
  return ERROR_SUCCESS;
}

uint32_t portable_find_next_file(PlatformFind* find, PlatformFindData* data) {
  if (find == nullptr || data == nullptr) return ERROR_INVALID_HANDLE;
  return advance(find, data) ? ERROR_SUCCESS : ERROR_NO_MORE_FILES;
}

void portable_find_close(PlatformFind* find) { delete find; }

uint32_t portable_copy_file(const char* existing, const char* new_path) {
  if (is_empty(existing) || is_empty(new_path)) return ERROR_INVALID_PARAMETER;
  std::error_code ec;
  const fs::file_status source = fs::status(existing, ec);
  if (ec) return win32_error(ec);
  if (fs::is_directory(source)) return ERROR_ACCESS_DENIED;
  // copy_options::none refuses an existing destination, and libstdc++ creates the new file with
  // O_EXCL, so a destination that appears meanwhile is not overwritten either.
  fs::copy_file(existing, new_path, fs::copy_options::none, ec);
  const int cause = ec.value();
  bool unfinished = cause == ENOSPC || cause == EIO || cause == EFBIG;
#ifdef EDQUOT
  unfinished = unfinished || cause == EDQUOT;
#endif
  if (unfinished) {
    std::error_code ignored;
    fs::remove(new_path, ignored);  // our own unfinished copy: O_EXCL made the file ours
  }
  return win32_error(ec, ERROR_PATH_NOT_FOUND);
}

uint32_t portable_move_file(const char* existing, const char* new_path) {
  if (is_empty(existing) || is_empty(new_path)) return ERROR_INVALID_PARAMETER;
#ifdef SYS_renameat2
  if (syscall(SYS_renameat2, AT_FDCWD, existing, AT_FDCWD, new_path, 1 /* RENAME_NOREPLACE */) == 0)
    return ERROR_SUCCESS;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
    return errno == EEXIST ? ERROR_ALREADY_EXISTS : win32_error(std::error_code(errno, std::generic_category()));
#endif
  // A file system without it: a new link fails on an existing name, then the old name goes.
  if (link(existing, new_path) == 0) {
    unlink(existing);
    return ERROR_SUCCESS;
  }
  if (errno == EEXIST) return ERROR_ALREADY_EXISTS;
  if (errno != EPERM && errno != ENOTSUP) return win32_error(std::error_code(errno, std::generic_category()));
  // Nor links (FAT): the name is checked just before the rename.
  std::error_code ec;
  if (fs::exists(fs::symlink_status(new_path, ec))) return ERROR_ALREADY_EXISTS;
  fs::rename(existing, new_path, ec);
  return win32_error(ec);
}

uint32_t portable_flush_file(const char* path) {
  if (is_empty(path)) return ERROR_FILE_NOT_FOUND;
  const int descriptor = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (descriptor < 0) return win32_error(std::error_code(errno, std::generic_category()));
  const int flushed = fsync(descriptor);
  const int cause = errno;
  close(descriptor);
  return flushed == 0 ? ERROR_SUCCESS : win32_error(std::error_code(cause, std::generic_category()));
}

uint32_t portable_process_id() { return static_cast<uint32_t>(getpid()); }

bool portable_process_running(uint32_t process_id) {
  const pid_t pid = static_cast<pid_t>(process_id);
  if (pid <= 0 || static_cast<uint32_t>(pid) != process_id) return false;
  return kill(pid, 0) == 0 || errno == EPERM;
}

uint32_t portable_create_directory(const char* path) {
  if (is_empty(path)) return ERROR_PATH_NOT_FOUND;
  std::error_code ec;
  const bool created = fs::create_directory(path, ec);
  if (ec) return ec.value() == EEXIST ? ERROR_ALREADY_EXISTS : win32_error(ec, ERROR_PATH_NOT_FOUND);
  return created ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS;
}

uint32_t portable_remove_directory(const char* path) {
  if (is_empty(path)) return ERROR_PATH_NOT_FOUND;
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(path, ec);
  if (ec) return win32_error(ec);
  if (!fs::is_directory(status)) return ERROR_DIRECTORY;
  fs::remove(path, ec);
  return ec.value() == EEXIST ? ERROR_DIR_NOT_EMPTY : win32_error(ec);
}

uint32_t portable_delete_file(const char* path) {
  if (is_empty(path)) return ERROR_FILE_NOT_FOUND;
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(path, ec);
  if (ec) return win32_error(ec);
  // Windows refuses to delete directories and read-only files here; callers clear the attribute first.
  if (fs::is_directory(status)) return ERROR_ACCESS_DENIED;
  if (fs::is_regular_file(status) && is_read_only(status.permissions())) return ERROR_ACCESS_DENIED;
  fs::remove(path, ec);
  return win32_error(ec);
}

uint32_t portable_get_file_attributes(const char* path, uint32_t* attributes) {
  *attributes = INVALID_FILE_ATTRIBUTES;
  if (is_empty(path)) return ERROR_FILE_NOT_FOUND;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec) return win32_error(ec);
  *attributes = attributes_of(status);
  return ERROR_SUCCESS;
}

uint32_t portable_set_file_attributes(const char* path, uint32_t attributes) {
  if (is_empty(path)) return ERROR_FILE_NOT_FOUND;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec) return win32_error(ec);
  // Read-only takes every write permission away; clearing it gives the owner's back.
  const fs::perms write_all = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    fs::permissions(path, write_all, fs::perm_options::remove, ec);
  } else if (is_read_only(status.permissions())) {
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, ec);
  }
  return win32_error(ec);
}

uint32_t portable_set_current_directory(const char* path) {
  if (is_empty(path)) return ERROR_FILE_NOT_FOUND;
  std::error_code ec;
  fs::current_path(path, ec);
  if (ec.value() == ENOTDIR) return ERROR_DIRECTORY;
  return win32_error(ec);
}

uint32_t portable_get_current_directory(char* buffer, uint32_t size, uint32_t* length) {
  *length = 0;
  std::error_code ec;
  const std::string path = fs::current_path(ec).string();
  if (ec) return win32_error(ec);
  if (!copy_text(buffer, size, path)) {
    *length = static_cast<uint32_t>(path.size() + 1);
    return ERROR_SUCCESS;
  }
  *length = static_cast<uint32_t>(path.size());
  return ERROR_SUCCESS;
}

#endif  // not _WIN32

bool portable_install_path_from_environment(char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return false;
  buffer[0] = '\0';
  std::string value, setting;
  return portable_configured_install_path(&value, &setting, size) && copy_text(buffer, size, value);
}

uint32_t portable_error_text(uint32_t code, char* buffer, uint32_t size) {
  static const struct {
    uint32_t code;
    const char* text;
  } texts[] = {
      {ERROR_SUCCESS, "The operation completed successfully."},
      {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
      {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
      {ERROR_ACCESS_DENIED, "Access is denied."},
      {ERROR_INVALID_HANDLE, "The handle is invalid."},
      {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
      {ERROR_NO_MORE_FILES, "There are no more files."},
      {ERROR_WRITE_PROTECT, "The media is write protected."},
      {ERROR_GEN_FAILURE, "A device attached to the system is not functioning."},
      {ERROR_FILE_EXISTS, "The file exists."},
      {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
      {ERROR_DISK_FULL, "There is not enough space on the disk."},
      {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
      {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
      {ERROR_DIR_NOT_EMPTY, "The directory is not empty."},
      {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
      {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long."},
      {ERROR_DIRECTORY, "The directory name is invalid."},
      {ERROR_INVALID_WINDOW_HANDLE, "Invalid window handle."},
      {ERROR_INVALID_MENU_HANDLE, "Invalid menu handle."},
      {ERROR_CANNOT_FIND_WND_CLASS, "Cannot find window class."},
      {ERROR_HOTKEY_ALREADY_REGISTERED, "Hot key is already registered."},
      {ERROR_CLASS_ALREADY_EXISTS, "Class already exists."},
      {ERROR_INVALID_ICON_HANDLE, "Invalid icon handle."},
      {ERROR_HOTKEY_NOT_REGISTERED, "Hot key is not registered."},
      {ERROR_MENU_ITEM_NOT_FOUND, "A menu item was not found."},
      {ERROR_RESOURCE_NAME_NOT_FOUND, "The specified resource name cannot be found in the image file."},
  };
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = '\0';
  for (const auto& entry : texts) {
    if (entry.code != code) continue;
    snprintf(buffer, size, "%s", entry.text);
    return static_cast<uint32_t>(strlen(buffer));
  }
  return 0;
}
