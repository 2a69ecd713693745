// The catalogue: the table of installed animations, one row per valid package file ("*.dat") of the
// animation directory, each row owning its open package; plus the catalogue entry every package carries.
#pragma once

#include <cstdint>

#include "foundation/arrays.h"
#include "foundation/fixed_string.h"
#include "package/pack_file.h"

constexpr int32_t kCatalogueRows = 100;
// The decoded bodies of the kept packages stay in memory for the whole run; together at most this much.
constexpr uint64_t kCatalogueMemory = uint64_t{1} << 30;
// The catalogue version this program plays and installs.
constexpr int32_t kCatalogueVersion = 1;

struct CatalogueEntry {
  FixedString header;       // line 1, "c.%d."
  FixedString second_line;  // line 2, kept as it is
  FixedString name;         // line 3: menu caption, what an install is matched by
  int32_t x = 0;            // line 4, "%d,%d": offset from the work area's bottom-right corner
  int32_t y = 0;
  PackFile* package = nullptr;  // owned; null in a row not in use
  int32_t version = 0;
};

// Rows 0 .. row_count - 1 are in use and hold a package; the rows beyond are empty.
struct Catalogue {
  CatalogueEntry rows[kCatalogueRows];
  StringArray file_names;   // file name of each row's package, in row order; its count is the row count
  uint32_t generation = 0;  // goes up by one with every scan

  Catalogue() = default;
  ~Catalogue();
  Catalogue(const Catalogue&) = delete;
  Catalogue& operator=(const Catalogue&) = delete;
};

// The four lines of a catalogue entry (entry 0 of a package), read with read_line: blank lines do not
// count. version_read: line 1 converts as "c.%d."; offsets_read: line 4 converts as "%d,%d" (what
// converts of it is kept in x and y either way; line 4 is read only after a good line 1).
struct CatalogueLines {
  FixedString header;
  FixedString second_line;
  FixedString name;
  int32_t version = 0;
  int32_t x = 0;
  int32_t y = 0;
  bool version_read = false;
  bool offsets_read = false;
};
// False, with lines empty, when the package has no entry 0.
bool read_catalogue_lines(PackFile& pack, CatalogueLines& lines);

// Rebuilds the catalogue from the "*.dat" files of the current directory, taken in the order the
// directory search gives them. Empties menu_ids (the menu rebuild fills it again) and sets
// install_match to the last row whose name equals installed_name, leaving it as it was when none does.
// Names longer than 5 characters that begin "unins" (case counts) are passed over; every other file that
// is not a version 1 package is refused in a "Warning" box; what is not a regular file (a directory, a
// FIFO) is passed over. Only the first kCatalogueRows packages are kept, and only while their decoded
// bodies stay within kCatalogueMemory (the scan stops opening files there); one further "Warning" box
// then says how many more were not loaded.
//
// Every package of the previous scan is released before any new one is opened: a PackFile pointer taken
// from a row is invalid once a scan has run (generation has changed), even for a row whose file did not
// change. The player must be released or restarted from the new rows.
void scan_catalogue(Catalogue& catalogue, IntArray& menu_ids, const char* installed_name, int32_t& install_match);

int32_t row_count(const Catalogue& catalogue);
// The first row in use whose name equals name exactly; -1 when there is none.
int32_t find_row(const Catalogue& catalogue, const char* name);

// Shows text in a modal "Warning" box without owner, with the warning icon and one OK button: how every
// refused package and archive is reported.
void show_warning(const FixedString& text);
// The warning for a package of a catalogue version other than kCatalogueVersion: made for a newer
// program (above), or damaged (0 or below, or no version at all).
void warn_version_refused(int32_t version, const char* name, const char* file_name);

// Releases every row, from the last to the first, each with its package, and empties file_names (the
// row count is then 0). At exit, and at the start of every scan.
void release_rows(Catalogue& catalogue);
