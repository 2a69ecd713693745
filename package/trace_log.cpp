#include "package/trace_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <thread>

namespace {

// A lock that every thread model of our toolchains provides (mingw's win32 model has no std::mutex).
// It lives as long as the process, so a trace racing with trace_close never meets a dead lock. Writers
// are rare and brief; a waiter yields its time slice.
std::atomic_flag trace_busy = ATOMIC_FLAG_INIT;

struct TraceLockHold {
  TraceLockHold() {
    while (trace_busy.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
  }
  ~TraceLockHold() { trace_busy.clear(std::memory_order_release); }
  TraceLockHold(const TraceLockHold&) = delete;
  TraceLockHold& operator=(const TraceLockHold&) = delete;
};

// Read once without the lock (the cheap test while closed) and again under it.
std::atomic<FILE*> trace_file{nullptr};

void write_args(FILE* file, const char* format, va_list args) {
  std::vfprintf(file, format, args);
  std::fflush(file);
}

void write_flushed(FILE* file, const char* format, ...) __attribute__((format(printf, 2, 3)));
void write_flushed(FILE* file, const char* format, ...) {
  va_list args;
  va_start(args, format);
  write_args(file, format, args);
  va_end(args);
}

void close_locked() {
  FILE* file = trace_file.exchange(nullptr);
  if (file == nullptr) return;
  write_flushed(file, "## CloseTraces\n");
  std::fclose(file);
}

}  // namespace

void trace_open(const char* path) {
  TraceLockHold hold;
  close_locked();
  if (path == nullptr) return;
  FILE* file = std::fopen(path, "w");  // text mode: line ends are the platform's
  if (file == nullptr) return;
  write_flushed(file, "## OpenTraces: %s\n", path);
  trace_file.store(file);
}

void trace(const char* format, ...) {
  if (trace_file.load(std::memory_order_relaxed) == nullptr) return;
  TraceLockHold hold;
  FILE* file = trace_file.load();
  if (file == nullptr) return;
  va_list args;
  va_start(args, format);
  write_args(file, format, args);
  va_end(args);
}

void trace_close() {
  if (trace_file.load() == nullptr) return;
  TraceLockHold hold;
  close_locked();
}
