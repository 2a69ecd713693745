// What the fuzz targets share: a scratch directory of their own for the files that carry an input,
// a layered window on the headless backend, and a check that ends the run on a broken promise.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/platform.h"

// Under libFuzzer the sanitizers report; the seed driver of the Windows suite has neither, and its
// report is a line on stderr.
#if __has_include(<sanitizer/common_interface_defs.h>)
#include <sanitizer/common_interface_defs.h>
#define FUZZ_REPORT(summary) __sanitizer_report_error_summary(summary)
#else
#define FUZZ_REPORT(summary) std::fprintf(stderr, "%s\n", summary)
#endif

// The harness's own checks: a finding like any sanitizer report. The reason goes where the sanitizers
// report, which stays open when libFuzzer closes the target's stderr (-close_fd_mask).
#define FUZZ_STRING(x) #x
#define FUZZ_LINE_OF(x) FUZZ_STRING(x)
#define FUZZ_CHECK(condition)                                                                                   \
  do {                                                                                                          \
    if (!(condition)) {                                                                                         \
      FUZZ_REPORT("fuzz check failed: " #condition " at " __FILE__ ":" FUZZ_LINE_OF(__LINE__)); \
      std::abort();                                                                                             \
    }                                                                                                           \
  } while (0)

// A directory for this process only, created on first use and removed at exit. In memory when the
// machine has /dev/shm: a file rewritten on disk thousands of times a second waits for the disk.
inline const std::filesystem::path& scratch_directory() {
  // The exit handler reads plain storage: the path object below is destroyed before it runs.
  static char removed_at_exit[4096];
  static const std::filesystem::path path = [] {
    std::error_code ec;
    const std::filesystem::path parent =
        std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : std::filesystem::temp_directory_path();
    std::filesystem::path made = parent / ("velissa-fuzz-" + std::to_string(static_cast<long>(::getpid())));
    std::filesystem::remove_all(made);
    std::filesystem::create_directories(made);
    std::snprintf(removed_at_exit, sizeof removed_at_exit, "%s", made.string().c_str());
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(removed_at_exit, ignored);
    });
    return made;
  }();
  return path;
}

inline std::string scratch_file(const std::string& relative) { return (scratch_directory() / relative).string(); }

// Replaces the file's content by the input; false when it cannot be written.
inline bool write_input(const std::string& path, const void* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && written;
}

inline LRESULT PLATFORM_CALLBACK fuzz_window_procedure(WindowHandle window, uint32_t message, WPARAM wparam,
                                                       LPARAM lparam) {
  return platform_default_window_procedure(window, message, wparam, lparam);
}

// The character window as the shell makes it, on the headless backend.
inline WindowHandle make_character_window() {
  platform_register_class(nullptr, "VelissaDeskClass", CS_DBLCLKS, fuzz_window_procedure);
  return platform_create_window_ex(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, "VelissaDeskClass",
                                   "VelissaDesk", WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT, 64, 64, nullptr, nullptr);
}
