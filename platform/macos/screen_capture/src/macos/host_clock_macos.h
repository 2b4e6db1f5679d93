#pragma once

#include "screen_source/clock.h"

namespace vornakel::capture {

class HostClock final : public Clock {
 public:
  Instant now() const override;
  MediaTime hostTime() const override;  // the host time clock, the capture stream's time base
};

}  // namespace vornakel::capture
