#include "catalogue/installer.h"

#include <cstdio>
#include <cstring>

#include "catalogue/archive_writer.h"
#include "catalogue/catalogue.h"
#include "foundation/fixed_string.h"
#include "foundation/record_form.h"
#include "package/pack_file.h"

namespace {

// Temporary directories and member paths are not bound by the destination's 271 characters; a path that
// does not fit here is refused as not accessible.
constexpr size_t kTempPathSize = FixedString::kCapacity;

bool is_separator(char c) { return c == '/' || c == PLATFORM_PATH_SEPARATOR; }

template <size_t N>
void copy_cut(char (&out)[N], const char* text) {
  const size_t length = strnlen(text, N - 1);
  std::memcpy(out, text, length);
  out[length] = '\0';
}

bool read_le32(FILE* file, int32_t& value) {
  unsigned char bytes[4];
  if (std::fread(bytes, 1, 4, file) != 4) return false;
  value = static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                               static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
  return true;
}

// Whether the directory (with or without a final separator) is a link, as the search reports it.
bool is_link(const char* directory) {
  char path[kTempPathSize];
  copy_cut(path, directory);
  size_t length = std::strlen(path);
  while (length > 1 && is_separator(path[length - 1])) path[--length] = '\0';
  PlatformFindData found;
  FindHandle search = platform_find_first_file(path, &found);
  if (search == nullptr) return false;
  bool link = false;
  do link = link || (found.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  while (platform_find_next_file(search, &found));
  platform_find_close(search);
  return link;
}

void delete_below(const char* directory, bool remove_itself) {
  char path[kTempPathSize];
  PlatformFindData found;
  FindHandle search = platform_join_path(path, sizeof path, directory, "*.*") ? platform_find_first_file(path, &found)
                                                                              : nullptr;
  if (search != nullptr) {
    do {
      if (std::strcmp(found.name, ".") == 0 || std::strcmp(found.name, "..") == 0) continue;
      if (!platform_join_path(path, sizeof path, directory, found.name)) continue;
      if (found.attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // The link itself: a file link goes with DeleteFile, a directory link (Windows) with RemoveDirectory.
        if (!platform_delete_file(path)) platform_remove_directory(path);
        continue;
      }
      const uint32_t attributes = platform_get_file_attributes(path);
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        platform_set_file_attributes(path, attributes & ~FILE_ATTRIBUTE_READONLY);
      if (found.attributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (platform_join_path(path, sizeof path, path, "")) delete_below(path, true);
      } else {
        platform_delete_file(path);
      }
    } while (platform_find_next_file(search, &found));
    platform_find_close(search);
  }
  if (remove_itself) platform_remove_directory(directory);
}

// Device names that Windows opens whatever directory stands before them ("CON", "nul.dat", "COM1.x").
bool is_device_name(const char* name) {
  size_t base = std::strcspn(name, ".");
  while (base > 0 && name[base - 1] == ' ') --base;
  auto same = [&](const char* device, size_t n) {
    for (size_t i = 0; i < n; ++i)
      if ((name[i] | 0x20) != device[i]) return false;
    return true;
  };
  if (base == 3) return same("con", 3) || same("prn", 3) || same("aux", 3) || same("nul", 3);
  return base == 4 && (same("com", 3) || same("lpt", 3)) && name[3] >= '0' && name[3] <= '9';
}

// base/tmp for the outermost archive; each nested archive one level further down: base/tmp/1/2...
bool temp_directory(const InstallContext& context, int32_t depth, char (&path)[kTempPathSize]) {
  if (!platform_join_path(path, sizeof path, context.base_directory, "tmp")) return false;
  for (int32_t level = 1; level <= depth; ++level) {
    char part[16];
    std::snprintf(part, sizeof part, "%d", static_cast<int>(level));
    if (!platform_join_path(path, sizeof path, path, part)) return false;
  }
  return true;
}

enum MemberResult { MEMBER_WRITTEN, MEMBER_CORRUPTED, MEMBER_NOT_CREATED };

// Reads the next member of the archive and writes its content to directory + name (directory ends in a
// separator); member_path receives that path, cut when it does not fit.
MemberResult extract_member(FILE* archive, const char* directory, char (&member_path)[kTempPathSize]) {
  FixedString name;
  read_from(name, archive);
  int32_t size = 0;
  if (!is_plain_file_name(name) || !read_le32(archive, size) || size < 0) return MEMBER_CORRUPTED;
  const int written = std::snprintf(member_path, sizeof member_path, "%s%s", directory, name.text);
  if (written < 0 || static_cast<size_t>(written) >= sizeof member_path) return MEMBER_NOT_CREATED;

  FILE* member = std::fopen(member_path, "wb");
  if (member == nullptr) return MEMBER_NOT_CREATED;
  static unsigned char piece[kArchiveCopyPiece];  // one thread; a nested unpacking starts after this returns
  for (int32_t left = size; left > 0;) {
    const size_t length = static_cast<size_t>(left < kArchiveCopyPiece ? left : kArchiveCopyPiece);
    if (std::fread(piece, 1, length, archive) != length) {
      // The archive ends inside the content: a half package is never passed on as a whole one.
      std::fclose(member);
      return MEMBER_CORRUPTED;
    }
    if (std::fwrite(piece, 1, length, member) != length) {
      std::fclose(member);
      return MEMBER_NOT_CREATED;
    }
    left -= static_cast<int32_t>(length);
  }
  return std::fclose(member) == 0 ? MEMBER_WRITTEN : MEMBER_NOT_CREATED;
}

int32_t install_at(const InstallContext& context, const char* path, char (&name)[kInstallNameSize], int32_t depth);

int32_t unpack_at(const InstallContext& context, const char* path, char (&name)[kInstallNameSize], int32_t depth) {
  FixedString message;
  char directory[kTempPathSize];
  char directory_slash[kTempPathSize];
  if (!temp_directory(context, depth, directory) ||
      !platform_join_path(directory_slash, sizeof directory_slash, directory, "") || is_link(directory)) {
    // A path that does not fit is empty: name the base directory instead.
    format(message, "Cannot access temporary directory \"%s\" !",
           directory[0] != '\0' ? directory : context.base_directory);
    show_warning(message);
    return 0;
  }
  delete_tree(directory_slash, false);
  if (!platform_create_directory(directory) && platform_get_last_error() != ERROR_ALREADY_EXISTS) {
    format(message, "Cannot access temporary directory \"%s\" !", directory);
    show_warning(message);
    return 0;
  }

  FILE* archive = std::fopen(path, "rb");
  if (archive == nullptr) {
    format(message, "Corrupted archive file: \"%s\" !", path);
    show_warning(message);
    return 0;
  }
  FixedString tag;
  read_from(tag, archive);
  if (!equals(tag, kArchiveTag)) {
    format(message, "Unknown Version of archive file: \"%s\" !", path);
    show_warning(message);
    std::fclose(archive);
    return 0;
  }
  int32_t count = 0;
  if (!read_le32(archive, count)) count = 0;
  if (count <= 0) {
    format(message, "Empty or corrupted archive file: \"%s\" !", path);
    show_warning(message);
    std::fclose(archive);
    return 0;
  }

  int32_t total = 0;
  for (int32_t i = 0; i < count; ++i) {
    char member_path[kTempPathSize];
    const MemberResult result = extract_member(archive, directory_slash, member_path);
    if (result != MEMBER_WRITTEN) {
      if (result == MEMBER_CORRUPTED)
        format(message, "Corrupted archive file: \"%s\" !", path);
      else
        format(message, "Cannot access temporary file \"%s\" !", member_path);
      show_warning(message);
      std::fclose(archive);
      delete_tree(directory_slash, true);
      return 0;
    }
    char member_name[kInstallNameSize] = "";
    const int32_t installed = install_at(context, member_path, member_name, depth + 1);
    if (installed > 0) {
      if (total == 0) copy_cut(name, member_name);
      total += installed;
    }
  }
  std::fclose(archive);
  delete_tree(directory_slash, true);
  return total;
}

int32_t install_at(const InstallContext& context, const char* path, char (&name)[kInstallNameSize], int32_t depth) {
  if (path == nullptr) path = "";
  FixedString message;
  char title[MAX_PATH] = "";
  if (platform_get_file_title(path, title, sizeof title) != 0) title[0] = '\0';
  const char* shown = title[0] != '\0' ? title : path;  // a title too long for its buffer: name the path
  const size_t title_length = std::strlen(title);
  if (title_length <= 3) {
    format(message, "Animation file \"%s\" is Corrupted or requires a Newer version of Velissa Player!\n", shown);
    show_warning(message);
    return 0;
  }
  if (std::memcmp(title + title_length - 4, ".kar", 4) == 0) {
    if (depth > kMaxArchiveDepth) {
      format(message, "Archive file \"%s\" lies too deep inside other archives !", path);
      show_warning(message);
      return 0;
    }
    return unpack_at(context, path, name, depth);
  }

  char animation_directory[kInstallPathSize];
  char destination[kInstallPathSize];
  const bool destination_fits =
      platform_join_path(animation_directory, sizeof animation_directory, context.base_directory, "anim") &&
      platform_join_path(destination, sizeof destination, animation_directory, title);
  platform_set_foreground_window(context.character_window);

  PackFile package;
  CatalogueLines lines;
  const EntryVerdict verdict = open(package, path) ? check_catalogue_entry(package, lines) : ENTRY_UNREADABLE;
  if (verdict == ENTRY_UNREADABLE) {
    format(message, "Animation file \"%s\" is Corrupted or requires a Newer version of Velissa Player!\n", title);
    show_warning(message);
    return 0;
  }
  if (verdict != ENTRY_INSTALLABLE) {
    warn_version_refused(lines.version, lines.name.text, title);
    return 0;
  }
  if (!destination_fits || !platform_copy_file(path, destination)) {
    format(message, "Animation file \"%s\" cannot be copied !\n", title);
    show_warning(message);
    return 0;
  }
  copy_cut(name, lines.name.text);
  return 1;
}

}  // namespace

bool is_plain_file_name(const FixedString& name) {
  if (name.length <= 0 || name.length >= FixedString::kMaxLength) return false;  // empty, or cut
  if (std::strlen(name.text) != static_cast<size_t>(name.length)) return false;   // a NUL inside
  if (std::strpbrk(name.text, "/\\:") != nullptr) return false;
  if (equals(name, ".") || equals(name, "..")) return false;
  return !is_device_name(name.text);
}

EntryVerdict check_catalogue_entry(PackFile& package, CatalogueLines& lines) {
  if (!read_catalogue_lines(package, lines) || !lines.version_read || !lines.offsets_read) return ENTRY_UNREADABLE;
  if (lines.version > kCatalogueVersion) return ENTRY_NEWER_VERSION;
  if (lines.version < kCatalogueVersion) return ENTRY_CORRUPTED;
  return ENTRY_INSTALLABLE;
}

int32_t install_file(const InstallContext& context, const char* path, char (&name)[kInstallNameSize]) {
  return install_at(context, path, name, 0);
}

int32_t unpack_archive(const InstallContext& context, const char* path, char (&name)[kInstallNameSize]) {
  return unpack_at(context, path, name, 0);
}

void delete_tree(const char* directory, bool remove_itself) {
  // An empty path would be the current directory; a link would lead out of the tree.
  if (directory == nullptr || directory[0] == '\0' || is_link(directory)) return;
  delete_below(directory, remove_itself);
}
