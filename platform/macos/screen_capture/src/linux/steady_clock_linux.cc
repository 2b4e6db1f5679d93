#include "linux/steady_clock_linux.h"

#include <time.h>

namespace vornakel::capture {

Clock::Instant SteadyClock::now() const { return std::chrono::steady_clock::now(); }

MediaTime SteadyClock::hostTime() const {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return MediaTime{static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec, 1000000000};
}

}  // namespace vornakel::capture
