#pragma once

#include "screen_source/clock.h"

namespace vornakel::capture {

class SteadyClock final : public Clock {
 public:
  Instant now() const override;
  // CLOCK_MONOTONIC in nanoseconds: the time base of the captured frames as well.
  MediaTime hostTime() const override;
};

}  // namespace vornakel::capture
