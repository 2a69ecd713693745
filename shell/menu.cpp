// The pop-up menu: its items and command identifiers, and the addresses of its link items.
#include <cstring>

#include "shell/shell_state.h"

namespace {

const char* const kLinkCaptions[kLinkItems] = {"User Guide", "Making Animations", "Licence"};
// Installed in <base directory>/docs/ beside the animation directory.
const char* const kLinkFiles[kLinkItems] = {"user-guide.html", "making-animations.html", "licence.html"};

const char* const kRepeatCaptions[kRepeatChoices] = {"Repeat 10 sec", "Repeat 30 sec", "Repeat 50 sec",
                                                     "Repeat Infinitely"};

void append_separator(MenuHandle menu) { platform_append_menu(menu, MF_SEPARATOR, 0, nullptr); }

bool is_unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

}  // namespace

int32_t append_menu_item(const char* caption) {
  ShellState& shell = the_shell();
  shell.next_menu_id += 1;
  platform_append_menu(shell.menu, MF_STRING, static_cast<uintptr_t>(shell.next_menu_id), caption);
  return shell.next_menu_id;
}

void build_menu() {
  ShellState& shell = the_shell();
  const Catalogue& catalogue = the_catalogue();
  while (platform_delete_menu(shell.menu, 0, MF_BYPOSITION)) {
  }
  // The scan has emptied menu_ids already; emptying it here too keeps one identifier per row whoever
  // calls this.
  clear(shell.menu_ids);
  const int32_t rows = row_count(catalogue);
  for (int32_t row = 0; row < rows; ++row) push(shell.menu_ids, append_menu_item(catalogue.rows[row].name.text));
  append_separator(shell.menu);
  for (int32_t i = 0; i < kRepeatChoices; ++i) shell.repeat_ids[i] = append_menu_item(kRepeatCaptions[i]);
  platform_check_menu_radio_item(shell.menu, shell.repeat_ids[0], shell.repeat_ids[kRepeatChoices - 1],
                                 shell.repeat_ids[shell.repeat_choice], MF_BYCOMMAND);
  append_separator(shell.menu);
  for (int32_t i = 0; i < kLinkItems; ++i) shell.link_ids[i] = append_menu_item(kLinkCaptions[i]);
  append_separator(shell.menu);
  shell.exit_id = append_menu_item("Exit");
  shell.hide_show_id = append_menu_item("Quick Hide/Show (ctrl-F1)");
}

bool link_address(const char* base_directory, int32_t link, FixedString& address) {
  clear(address);
  if (link < 0 || link >= kLinkItems || base_directory == nullptr) return false;
  char path[FixedString::kCapacity];
  if (!platform_join_path(path, sizeof path, base_directory, "docs") ||
      !platform_join_path(path, sizeof path, path, kLinkFiles[link]))
    return false;

  // "file://" and an absolute path that begins with '/' ("/opt/...", and "//server/share/..."), or
  // "file:///" before a drive letter ("C:/...").
  assign(address, "file://");
  if (PLATFORM_PATH_SEPARATOR == '\\') {
    for (char* c = path; *c != '\0'; ++c) {
      if (*c == '\\') *c = '/';
    }
  }
  if (path[0] != '/') append_char(address, '/');
  static const char kHex[] = "0123456789ABCDEF";
  for (const char* c = path; *c != '\0'; ++c) {
    const auto byte = static_cast<unsigned char>(*c);
    if (is_unreserved(byte) || byte == '/' || byte == ':') {
      append_char(address, *c);
    } else {
      append_char(address, '%');
      append_char(address, kHex[byte >> 4]);
      append_char(address, kHex[byte & 15]);
    }
  }
  // A cut address would open some other file.
  if (address.length >= FixedString::kMaxLength) {
    clear(address);
    return false;
  }
  return true;
}
