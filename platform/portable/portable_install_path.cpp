// The install path off Windows: what the user configured (a leading "~" expanded), checked to exist,
// else the user's own data folder, made on first start with copies of the data installed with the
// program. Shared by the gtk backend and by the headless one's Linux mode.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/portable/portable_files.h"

namespace fs = std::filesystem;

namespace {

bool is_empty(const char* text) { return text == nullptr || text[0] == '\0'; }

// "~" and "~/..." stand for the home folder, as in a shell; "~name" is left alone.
std::string expand_home(const std::string& value) {
  const char* home = getenv("HOME");
  if (value.empty() || value[0] != '~' || is_empty(home) || (value.size() > 1 && value[1] != '/')) return value;
  return std::string(home) + value.substr(1);
}

// The first line of a settings file, read up to limit characters (a longer one is refused anyway).
std::string first_line(const std::string& file, size_t limit) {
  std::ifstream stream(file, std::ios::binary);
  std::string line;
  char c;
  while (line.size() <= limit && stream.get(c) && c != '\n' && c != '\0') line.push_back(c);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// Copies the regular files of from into to, keeping whatever to holds already.
void copy_missing_files(const fs::path& from, const fs::path& to, bool packages_only) {
  std::error_code error;
  for (fs::directory_iterator entry(from, error), end; !error && entry != end; entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    if (!entry->is_regular_file(error) || (packages_only && !platform_match_pattern("*.dat", name.c_str())))
      continue;
    portable_copy_file(entry->path().string().c_str(), (to / name).string().c_str());
  }
}

}  // namespace

bool portable_configured_install_path(std::string* value, std::string* setting, size_t limit) {
  value->clear();
  setting->clear();
  const char* variable = getenv("VELISSADESK_PATH");
  if (!is_empty(variable)) {
    *value = expand_home(variable);
    *setting = "VELISSADESK_PATH";
    return true;
  }
  const char* config = getenv("XDG_CONFIG_HOME");
  const char* home = getenv("HOME");
  if (!is_empty(config)) {
    *setting = std::string(config) + "/VelissaDesk/path";
  } else if (!is_empty(home)) {
    *setting = std::string(home) + "/.config/VelissaDesk/path";
  } else {
    return false;
  }
  *value = expand_home(first_line(*setting, limit));
  if (value->empty()) setting->clear();
  return !value->empty();
}

std::string portable_user_data_folder(const char* bundled) {
  const char* data_home = getenv("XDG_DATA_HOME");
  const char* home = getenv("HOME");
  fs::path folder;
  if (!is_empty(data_home) && data_home[0] == '/') {
    folder = data_home;
  } else if (!is_empty(home)) {
    folder = fs::path(home) / ".local" / "share";
  } else {
    return "";
  }
  folder /= "VelissaDesk";
  std::error_code error;
  fs::create_directories(folder, error);
  // Only a folder made now is filled: a sample the user deleted stays deleted.
  for (const char* part : {"anim", "docs"}) {
    if (fs::exists(folder / part, error) || !fs::create_directory(folder / part, error)) continue;
    if (!is_empty(bundled)) copy_missing_files(fs::path(bundled) / part, folder / part, part[0] == 'a');
  }
  return folder.string();
}
