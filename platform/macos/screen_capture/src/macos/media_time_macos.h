#pragma once

#include <CoreMedia/CoreMedia.h>

#include "h264/media_time.h"

namespace vornakel::capture {

inline MediaTime toMediaTime(CMTime time) {
  if (!CMTIME_IS_NUMERIC(time)) return MediaTime::invalid();
  return MediaTime{time.value, time.timescale};
}

inline CMTime toCMTime(MediaTime time) {
  return time.isValid() ? CMTimeMake(time.value, time.timescale) : kCMTimeInvalid;
}

}  // namespace vornakel::capture
