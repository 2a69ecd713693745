#include "catalogue/installer.h"

#include <cstdio>
#include <cstring>

#include "animation/animation_player.h"
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

// Device names that Windows opens whatever directory stands before them ("CON", "nul.dat", "COM1.x",
// "conin$"); the ANSI code page's superscript digits 1, 2 and 3 (0xB9, 0xB2, 0xB3) count as digits.
bool is_device_name(const char* name) {
  size_t base = std::strcspn(name, ".");
  while (base > 0 && name[base - 1] == ' ') --base;
  auto same = [&](const char* device) {
    const size_t n = std::strlen(device);
    for (size_t i = 0; i < n; ++i)
      if ((name[i] | 0x20) != (device[i] | 0x20)) return false;
    return true;
  };
  if (base == 3) return same("con") || same("prn") || same("aux") || same("nul");
  if (base == 6 || base == 7) return same(base == 6 ? "conin$" : "conout$");
  if (base != 4 || !(same("com") || same("lpt"))) return false;
  const unsigned char digit = static_cast<unsigned char>(name[3]);
  return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

// Names of what an install makes for itself, with the process id that made it: copies on their way
// into anim/ (the scan never lists them: no ".dat") and the folders archives are unpacked in, in tmp/.
constexpr const char kCopyPrefix[] = "~velissa-copy-";
constexpr const char kCopySuffix[] = ".tmp";
constexpr const char kUnpackPrefix[] = "~velissa-unpack-";
constexpr int32_t kNameAttempts = 64;

uint32_t next_sequence() {
  static uint32_t sequence = 0;  // one thread
  return ++sequence;
}

bool own_name(char* out, size_t size, const char* prefix, const char* suffix) {
  const int written = std::snprintf(out, size, "%s%u-%u%s", prefix, static_cast<unsigned>(platform_process_id()),
                                    static_cast<unsigned>(next_sequence()), suffix);
  return written > 0 && static_cast<size_t>(written) < size;
}

// The process id in a name made by own_name; false when the name is not one.
bool maker_of(const char* name, const char* prefix, const char* suffix, uint32_t& process_id) {
  const size_t prefix_length = std::strlen(prefix), suffix_length = std::strlen(suffix);
  const size_t length = std::strlen(name);
  if (length <= prefix_length + suffix_length || std::strncmp(name, prefix, prefix_length) != 0 ||
      std::strcmp(name + length - suffix_length, suffix) != 0)
    return false;
  uint64_t id = 0;
  const char* c = name + prefix_length;
  for (; *c >= '0' && *c <= '9' && id <= UINT32_MAX; ++c) id = id * 10 + static_cast<uint64_t>(*c - '0');
  if (c == name + prefix_length || *c != '-' || id > UINT32_MAX) return false;
  const char* sequence = ++c;
  while (*c >= '0' && *c <= '9') ++c;
  if (c == sequence || static_cast<size_t>(c - name) != length - suffix_length) return false;
  process_id = static_cast<uint32_t>(id);
  return true;
}

// Left by an install that cannot finish it: its process ended (or it is this one, just started).
bool is_leftover(const char* name, const char* prefix, const char* suffix) {
  uint32_t maker = 0;
  return maker_of(name, prefix, suffix, maker) &&
         (maker == platform_process_id() || !platform_process_running(maker));
}

// A folder of this unpacking's own below base/tmp (created exclusively, so no other install or instance
// shares it); made_root tells whether base/tmp itself was made here.
bool make_unpack_directory(const InstallContext& context, char (&root)[kTempPathSize],
                           char (&directory)[kTempPathSize], bool& made_root) {
  made_root = false;
  directory[0] = '\0';
  if (!platform_join_path(root, sizeof root, context.base_directory, "tmp") || is_link(root)) return false;
  made_root = platform_create_directory(root);
  if (!made_root && platform_get_last_error() != ERROR_ALREADY_EXISTS) return false;
  for (int32_t attempt = 0; attempt < kNameAttempts; ++attempt) {
    char name[64];
    if (!own_name(name, sizeof name, kUnpackPrefix, "") || !platform_join_path(directory, sizeof directory, root, name))
      break;
    if (platform_create_directory(directory)) return true;
    if (platform_get_last_error() != ERROR_ALREADY_EXISTS) break;
  }
  if (made_root) platform_remove_directory(root);
  return false;
}

// Removes this unpacking's folder, and base/tmp when this unpacking made it and nothing else is in it.
void remove_unpack_directory(const char* root, const char* directory, bool made_root) {
  char slash[kTempPathSize];
  if (platform_join_path(slash, sizeof slash, directory, "")) delete_below(slash, true);
  if (made_root) platform_remove_directory(root);
}

bool is_regular_file(const char* path) {
  const uint32_t attributes = platform_get_file_attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

// Copies the package to destination so that destination is never partly written: a copy under a name of
// its own in the same directory, flushed, then moved to the destination, which it never replaces.
bool copy_whole(const char* path, const char* animation_directory, const char* destination) {
  if (platform_get_file_attributes(destination) != INVALID_FILE_ATTRIBUTES) return false;  // never replaced
  char copy[kTempPathSize];
  for (int32_t attempt = 0; attempt < kNameAttempts; ++attempt) {
    char name[64];
    if (!own_name(name, sizeof name, kCopyPrefix, kCopySuffix) ||
        !platform_join_path(copy, sizeof copy, animation_directory, name))
      return false;
    if (platform_copy_file(path, copy)) break;
    const uint32_t error = platform_get_last_error();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      platform_delete_file(copy);  // whatever this failed copy left under its own name
      return false;
    }
    if (attempt + 1 == kNameAttempts) return false;
  }
  if (platform_flush_file(copy) && platform_move_file(copy, destination)) return true;
  const uint32_t attributes = platform_get_file_attributes(copy);  // a read-only source copies read-only
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    platform_set_file_attributes(copy, attributes & ~FILE_ATTRIBUTE_READONLY);
  platform_delete_file(copy);
  return false;
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

bool stopped(const InstallContext& context) { return context.stop != nullptr && *context.stop; }

int32_t unpack_at(const InstallContext& context, const char* path, char (&name)[kInstallNameSize], int32_t depth) {
  FixedString message;
  char root[kTempPathSize] = "";
  char directory[kTempPathSize];
  char directory_slash[kTempPathSize];
  bool made_root = false;
  if (!make_unpack_directory(context, root, directory, made_root) ||
      !platform_join_path(directory_slash, sizeof directory_slash, directory, "")) {
    if (directory[0] != '\0') remove_unpack_directory(root, directory, made_root);
    // A path that does not fit is empty: name the base directory instead.
    format(message, "Cannot access temporary directory \"%s\" !", root[0] != '\0' ? root : context.base_directory);
    show_warning(message);
    return 0;
  }

  FILE* archive = is_regular_file(path) ? std::fopen(path, "rb") : nullptr;
  int32_t count = 0;
  if (archive == nullptr) {
    format(message, "Corrupted archive file: \"%s\" !", path);
  } else {
    FixedString tag;
    read_from(tag, archive);
    if (!equals(tag, kArchiveTag))
      format(message, "Unknown Version of archive file: \"%s\" !", path);
    else if (!read_le32(archive, count) || count <= 0)
      format(message, "Empty or corrupted archive file: \"%s\" !", path);
  }
  if (!is_empty(message)) {
    if (archive != nullptr) std::fclose(archive);
    remove_unpack_directory(root, directory, made_root);
    show_warning(message);
    return 0;
  }

  // An archive that stops half way keeps what it installed before, and says so in its result.
  int32_t total = 0;
  for (int32_t i = 0; i < count && !stopped(context); ++i) {
    char member_path[kTempPathSize];
    const MemberResult result = extract_member(archive, directory_slash, member_path);
    if (result != MEMBER_WRITTEN) {
      if (result == MEMBER_CORRUPTED)
        format(message, "Corrupted archive file: \"%s\" !", path);
      else
        format(message, "Cannot access temporary file \"%s\" !", member_path);
      show_warning(message);
      break;
    }
    char member_name[kInstallNameSize] = "";
    const int32_t installed = install_at(context, member_path, member_name, depth + 1);
    if (installed > 0) {
      if (total == 0) copy_cut(name, member_name);
      total += installed;
    }
  }
  std::fclose(archive);
  remove_unpack_directory(root, directory, made_root);
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
  if (!stopped(context)) platform_set_foreground_window(context.character_window);

  PackFile package;
  CatalogueLines lines;
  const EntryVerdict verdict =
      is_regular_file(path) && open(package, path) ? check_catalogue_entry(package, lines) : ENTRY_UNREADABLE;
  // What the player could not show is refused as damaged, whatever its catalogue entry says.
  if (verdict == ENTRY_UNREADABLE || (verdict == ENTRY_INSTALLABLE && !package_is_showable(package))) {
    format(message, "Animation file \"%s\" is Corrupted or requires a Newer version of Velissa Player!\n", title);
    show_warning(message);
    return 0;
  }
  if (verdict != ENTRY_INSTALLABLE) {
    warn_version_refused(lines.version, lines.name.text, title);
    return 0;
  }
  if (!destination_fits || !copy_whole(path, animation_directory, destination)) {
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

void remove_install_leftovers(const char* base_directory) {
  char path[kTempPathSize];
  PlatformFindData found;
  if (platform_join_path(path, sizeof path, base_directory, "anim") &&
      platform_join_path(path, sizeof path, path, "~velissa-copy-*")) {
    if (FindHandle search = platform_find_first_file(path, &found)) {
      do {
        char copy[kTempPathSize];
        if ((found.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
            !is_leftover(found.name, kCopyPrefix, kCopySuffix) ||
            !platform_join_path(copy, sizeof copy, base_directory, "anim") ||
            !platform_join_path(copy, sizeof copy, copy, found.name))
          continue;
        if (found.attributes & FILE_ATTRIBUTE_READONLY)
          platform_set_file_attributes(copy, found.attributes & ~FILE_ATTRIBUTE_READONLY);
        platform_delete_file(copy);
      } while (platform_find_next_file(search, &found));
      platform_find_close(search);
    }
  }

  char root[kTempPathSize];
  if (!platform_join_path(root, sizeof root, base_directory, "tmp") || is_link(root) ||
      !platform_join_path(path, sizeof path, root, "~velissa-unpack-*"))
    return;
  bool removed = false;
  if (FindHandle search = platform_find_first_file(path, &found)) {
    do {
      char directory[kTempPathSize];
      if ((found.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || (found.attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
          !is_leftover(found.name, kUnpackPrefix, "") || !platform_join_path(directory, sizeof directory, root, found.name) ||
          !platform_join_path(directory, sizeof directory, directory, ""))
        continue;
      delete_below(directory, true);
      removed = true;
    } while (platform_find_next_file(search, &found));
    platform_find_close(search);
  }
  if (removed) platform_remove_directory(root);  // only when nothing else is in it
}

void delete_tree(const char* directory, bool remove_itself) {
  // An empty path would be the current directory; a link would lead out of the tree.
  if (directory == nullptr || directory[0] == '\0' || is_link(directory)) return;
  delete_below(directory, remove_itself);
}
