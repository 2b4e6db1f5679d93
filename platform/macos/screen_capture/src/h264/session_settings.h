#pragma once

#include <cstdint>
#include <optional>

namespace vornakel::capture {

// The largest bit rate the session takes: it is multiplied by 1000 in 32 bits.
inline constexpr int64_t kMaxBitrateKbps = 2147483;

// At most `bytes` in any window of `seconds`.
struct DataRateLimit {
  double bytes = 0;
  double seconds = 0;
};

// The rate and key-frame numbers of the compression session, worked out once for every platform
// encoder.
struct H264SessionSettings {
  int32_t averageBitRate = 0;  // bits per second; 0 lets the encoder choose
  // 1.5 × the average over any one second; none when the encoder chooses the rate, since a limit
  // of 0 bytes would starve it.
  std::optional<DataRateLimit> dataRateLimit;
  int32_t expectedFrameRate = 0;
  int32_t maxKeyFrameInterval = 0;         // frames
  double maxKeyFrameIntervalDuration = 0;  // seconds
};

// For a frame rate of at least 1 and a bit rate from 0 to kMaxBitrateKbps, as the command line
// is checked to give.
H264SessionSettings h264SessionSettings(int32_t frameRate, int32_t bitrateKbps);

}  // namespace vornakel::capture
