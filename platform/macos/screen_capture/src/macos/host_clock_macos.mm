#include "macos/host_clock_macos.h"

#include <CoreMedia/CoreMedia.h>

#include "macos/media_time_macos.h"

namespace vornakel::capture {

Clock::Instant HostClock::now() const { return std::chrono::steady_clock::now(); }

MediaTime HostClock::hostTime() const {
  return toMediaTime(CMClockGetTime(CMClockGetHostTimeClock()));
}

}  // namespace vornakel::capture
