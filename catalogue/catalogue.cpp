#include "catalogue/catalogue.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "platform/platform.h"

namespace {

void free_package(PackFile*& package) {
  if (package == nullptr) return;
  release(*package);
  delete package;
  package = nullptr;
}

void clear_row(CatalogueEntry& row) {
  free_package(row.package);
  clear(row.header);
  clear(row.second_line);
  clear(row.name);
  row.x = 0;
  row.y = 0;
  row.version = 0;
}

// Uninstaller data that shares the directory ("unins000.dat"); the bare prefix is an ordinary name.
bool is_uninstaller_file(const char* name) { return std::strlen(name) > 5 && std::strncmp(name, "unins", 5) == 0; }

enum ScanStep { FILE_DONE, TABLE_FULL, MEMORY_FULL };

// Opens one package file and keeps it in the next free row, or says why not. A valid package that finds
// the table full, or that would take the decoded bodies past kCatalogueMemory, is not kept.
ScanStep scan_file(Catalogue& catalogue, const char* file_name, const char* installed_name, int32_t& install_match,
                   uint64_t& memory) {
  PackFile* package = new (std::nothrow) PackFile;
  if (package == nullptr) return FILE_DONE;
  // A file that does not open has no entries and is refused below as damaged.
  open(*package, file_name);
  CatalogueLines lines;
  read_catalogue_lines(*package, lines);

  if (lines.version != kCatalogueVersion) {
    warn_version_refused(lines.version, lines.name.text, file_name);
    free_package(package);
    return FILE_DONE;
  }

  const int32_t count = row_count(catalogue);
  if (count >= kCatalogueRows) {
    free_package(package);
    return TABLE_FULL;
  }
  if (memory + decoded_size(*package) > kCatalogueMemory) {
    free_package(package);
    return MEMORY_FULL;
  }
  if (push(catalogue.file_names, file_name) != count + 1) {
    free_package(package);
    return FILE_DONE;  // out of memory is not a full table
  }
  memory += decoded_size(*package);
  CatalogueEntry& row = catalogue.rows[count];
  row.header = lines.header;
  row.second_line = lines.second_line;
  row.name = lines.name;
  row.x = lines.x;
  row.y = lines.y;
  row.version = lines.version;
  row.package = package;
  if (installed_name != nullptr && installed_name[0] != '\0' && equals(row.name, installed_name))
    install_match = count;
  return FILE_DONE;
}

}  // namespace

Catalogue::~Catalogue() { release_rows(*this); }

bool read_catalogue_lines(PackFile& pack, CatalogueLines& lines) {
  lines = CatalogueLines();
  ByteReader* entry = find_entry(pack, 0);
  if (entry == nullptr) return false;
  read_line(*entry, lines.header);
  read_line(*entry, lines.second_line);
  read_line(*entry, lines.name);
  // sscanf gives the rules the files were written for: leading blanks and a sign before a number, any
  // text after it ("c.1" is version 1, "-120" is x alone).
  lines.version_read = std::sscanf(lines.header.text, "c.%d.", &lines.version) == 1;
  if (!lines.version_read) {
    lines.version = 0;
    return true;
  }
  FixedString offsets;
  read_line(*entry, offsets);
  lines.offsets_read = std::sscanf(offsets.text, "%d,%d", &lines.x, &lines.y) == 2;
  return true;
}

void scan_catalogue(Catalogue& catalogue, IntArray& menu_ids, const char* installed_name, int32_t& install_match) {
  release_rows(catalogue);
  clear(menu_ids);
  ++catalogue.generation;

  int32_t left_out = 0;
  ScanStep stop = FILE_DONE;  // once memory is full, further files are counted, not opened
  uint64_t memory = 0;
  PlatformFindData found;
  FindHandle search = platform_find_first_file("*.dat", &found);
  if (search != nullptr) {
    do {
      // Only regular files: a FIFO would wait for a writer for ever, a directory holds no package.
      if (is_uninstaller_file(found.name) || (found.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)))
        continue;
      const ScanStep step = stop == MEMORY_FULL ? MEMORY_FULL
                                                : scan_file(catalogue, found.name, installed_name, install_match, memory);
      if (step == FILE_DONE) continue;
      ++left_out;
      if (stop == FILE_DONE) stop = step;
    } while (platform_find_next_file(search, &found));
    platform_find_close(search);
  }

  if (left_out > 0) {
    FixedString message;
    if (stop == TABLE_FULL)
      format(message, "Only %d animations can be loaded: %d further animation files were not loaded.\n",
             kCatalogueRows, left_out);
    else
      format(message, "The animations loaded take %d MiB, all there is room for: %d further animation files were not loaded.\n",
             static_cast<int>(kCatalogueMemory >> 20), left_out);
    show_warning(message);
  }
}

void show_warning(const FixedString& text) { platform_message_box(nullptr, text.text, "Warning", MB_OK | MB_ICONWARNING); }

void warn_version_refused(int32_t version, const char* name, const char* file_name) {
  FixedString message;
  if (version > kCatalogueVersion)
    format(message, "Animation \"%s\" from file \"%s\" needs a higher version of Velissa Player.\n", name, file_name);
  else
    format(message, "Animation \"%s\" from file \"%s\" is corrupted.\n", name, file_name);
  show_warning(message);
}

int32_t row_count(const Catalogue& catalogue) { return catalogue.file_names.count; }

int32_t find_row(const Catalogue& catalogue, const char* name) {
  for (int32_t i = 0; i < row_count(catalogue); ++i)
    if (equals(catalogue.rows[i].name, name)) return i;
  return -1;
}

void release_rows(Catalogue& catalogue) {
  for (int32_t i = kCatalogueRows - 1; i >= 0; --i) clear_row(catalogue.rows[i]);
  release(catalogue.file_names);
}
