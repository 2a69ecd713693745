// The installer of dropped files: checks a package and copies it whole into the animation directory,
// or unpacks a ".kar" archive into a temporary folder of its own and installs each member alike.
#pragma once

#include <cstdint>

#include "catalogue/catalogue.h"
#include "foundation/fixed_string.h"
#include "package/pack_file.h"
#include "platform/platform.h"

// What the installer needs of the shell.
struct InstallContext {
  const char* base_directory = "";           // the animation directory is base/anim, the temporary one base/tmp
  WindowHandle character_window = nullptr;   // brought to the foreground before a package is checked
  const bool* stop = nullptr;                // when set (the program is closing), no further member is unpacked
};

// The caller's animation name buffer, and the destination path: 271 characters and a terminator.
constexpr int32_t kInstallNameSize = 272;
constexpr int32_t kInstallPathSize = 272;
// Pieces in which a member's content is copied out of an archive.
constexpr int32_t kArchiveCopyPiece = 16384;
// Archives inside archives are unpacked down to this depth; deeper ones are refused.
constexpr int32_t kMaxArchiveDepth = 8;

// Installs one dropped file and returns how many animations it installed: 1 for a package, the sum
// over its members for a ".kar" archive (the title's last four characters, case counts), 0 when nothing
// was. On a result above 0, name holds the name of the first animation installed, cut to 271
// characters. Every refusal is shown in a "Warning" box without owner. Only regular files are read (a
// FIFO or a directory is refused as damaged). A package is installed only when the player could show it
// (package_is_showable), else refused as damaged. It is copied under a name of its own in base/anim
// that the scan never lists ("~velissa-copy-<process>-<n>.tmp"), flushed, then moved to
// base/anim/<title> only when no file of that name is there: nothing in the animation directory is ever
// overwritten, and a ".dat" there is always complete. A destination path longer than 271 characters
// is refused as a failed copy.
int32_t install_file(const InstallContext& context, const char* path, char (&name)[kInstallNameSize]);

// Unpacks an archive into a folder of its own, base/tmp/~velissa-unpack-<process>-<n> (created
// exclusively: no other unpacking, instance or install shares it), installs its members in order, and
// removes that folder at the end, with base/tmp when it made it and nothing else is in it. Nothing else
// below base is ever deleted. The archive: a text record "kar.1.0" (32-bit length, then the bytes), a
// member count above 0, then per member a text record with its file name, a 32-bit size Z and Z bytes
// of content (all little-endian).
//
// Beyond what the format says, the archive is refused as corrupted, and the unpacking stops, on a
// member whose name is not a plain file name (a '/', '\\' or ':', a NUL, "." or "..", a device name such
// as "CON", "nul.dat", "COM\xB9" or "CONIN$", 1023 characters or more), whose size is negative or
// missing, or whose content the archive ends before: no member file is written outside the folder and no
// half member is installed. The result counts the members installed before a stop, which stay
// installed. A member that is itself an archive is unpacked into another folder of its own; archives
// more than kMaxArchiveDepth levels down are refused. A base/tmp that is a link is refused as not
// accessible: nothing is unpacked, or deleted, through it.
int32_t unpack_archive(const InstallContext& context, const char* path, char (&name)[kInstallNameSize]);

// The test a package passes before it is copied: a catalogue entry whose line 1 converts as "c.%d." and
// line 4 as "%d,%d" (stricter than the catalogue scan), of version kCatalogueVersion. lines receives what
// was read, for the messages.
enum EntryVerdict {
  ENTRY_INSTALLABLE = 0,
  ENTRY_UNREADABLE,     // no entry 0, or line 1 or line 4 does not convert
  ENTRY_NEWER_VERSION,  // made for a newer program
  ENTRY_CORRUPTED,      // version 0 or below
};
EntryVerdict check_catalogue_entry(PackFile& package, CatalogueLines& lines);

// Whether an archive member's name names a file right inside the directory it is unpacked into: not
// empty, under 1023 characters, no NUL, '/', '\\' or ':', not "." or "..", not a device name.
bool is_plain_file_name(const FixedString& name);

// At start-up: removes what installs of processes no longer running (or of this one) left behind, the
// copies in base/anim and the unpacking folders in base/tmp (then base/tmp too when it is empty). Only
// names of the installer's own making are touched.
void remove_install_leftovers(const char* base_directory);

// Deletes everything below directory (a path that ends in a separator), read-only files included, then
// the directory itself when asked. Links are removed as links: nothing is deleted through them, and a
// directory that is itself a link is left alone. Failures are passed over silently.
void delete_tree(const char* directory, bool remove_itself);
