#pragma once

#include <cstdint>

namespace vornakel::capture {

// A rational time stamp in the form the capture platforms deliver (value / timescale seconds).
// A timescale of 0 marks an invalid time, as for the duration of a re-sent picture.
struct MediaTime {
  int64_t value = 0;
  int32_t timescale = 0;

  bool isValid() const { return timescale > 0; }
  static MediaTime invalid() { return {}; }
};

}  // namespace vornakel::capture
