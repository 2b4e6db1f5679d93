#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <thread>

// A pipe whose reading end is emptied by a thread, as the agent empties the capture's standard
// output, so that writes see a real pipe without ever filling it for long.
class DrainedPipe {
 public:
  DrainedPipe() {
    int ends[2];
    if (pipe(ends) != 0) std::abort();
    readEnd_ = ends[0];
    writeEnd = ends[1];
    fcntl(writeEnd, F_SETPIPE_SZ, 1 << 20);
    reader_ = std::thread([this] {
      static char buffer[1 << 16];
      while (true) {
        const ssize_t got = read(readEnd_, buffer, sizeof buffer);
        if (got <= 0) break;
        drained += static_cast<uint64_t>(got);
      }
    });
  }
  ~DrainedPipe() {
    close(writeEnd);
    reader_.join();
    close(readEnd_);
  }

  int writeEnd;
  std::atomic<uint64_t> drained{0};

 private:
  int readEnd_;
  std::thread reader_;
};
