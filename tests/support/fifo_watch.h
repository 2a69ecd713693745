// A FIFO that notices a reader: opening one for reading waits for a writer, so a program that opens it
// hangs. The watch plays the writer whenever a reader waits, which lets the reader go and is recorded.
#pragma once
#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

struct FifoWatch {
  explicit FifoWatch(const std::string& fifo_path) : path(fifo_path) {
    made = mkfifo(path.c_str(), 0600) == 0;
    writer = std::thread([this] {
      while (!done) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);  // fails while no reader waits
        if (fd >= 0) {
          reader_waited = true;
          ::close(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    });
  }
  ~FifoWatch() {
    done = true;
    writer.join();
  }
  FifoWatch(const FifoWatch&) = delete;
  FifoWatch& operator=(const FifoWatch&) = delete;

  std::string path;
  bool made = false;
  std::atomic<bool> done{false};
  std::atomic<bool> reader_waited{false};
  std::thread writer;
};

#endif  // not _WIN32
