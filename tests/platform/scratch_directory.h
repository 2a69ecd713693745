// A fresh directory for one test under the system's temporary directory, on Linux and on Windows, and
// its removal with everything in it (read-only files too).
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>

inline std::filesystem::path make_scratch_directory() {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path base = fs::temp_directory_path(ec);
  // A new name each try: create_directory reports false for a name another run already holds.
  const auto seed = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const fs::path candidate = base / ("velissa-test-" + std::to_string(seed) + "-" + std::to_string(attempt));
    if (fs::create_directory(candidate, ec)) return candidate;
  }
  return fs::path();
}

inline void remove_scratch_directory(const std::filesystem::path& root) {
  namespace fs = std::filesystem;
  if (root.empty()) return;
  std::error_code ec;
  fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
  for (const auto& entry : fs::recursive_directory_iterator(root, ec))
    fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(root, ec);
}
