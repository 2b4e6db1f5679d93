#pragma once

#include <chrono>

#include "h264/media_time.h"

namespace vornakel::capture {

// Time as the screen source needs it: a monotonic "now" for the idle rule (a wall clock set back
// would stall the re-sends) and the host time clock for the time stamp of a re-sent picture.
class Clock {
 public:
  using Instant = std::chrono::steady_clock::time_point;
  virtual ~Clock() = default;
  virtual Instant now() const = 0;
  virtual MediaTime hostTime() const = 0;
};

}  // namespace vornakel::capture
