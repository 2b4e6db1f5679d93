#include "h264/session_settings.h"

namespace vornakel::capture {

H264SessionSettings h264SessionSettings(int32_t frameRate, int32_t bitrateKbps) {
  H264SessionSettings settings;
  settings.averageBitRate = bitrateKbps * 1000;
  if (bitrateKbps > 0) {
    settings.dataRateLimit =
        DataRateLimit{static_cast<double>(bitrateKbps) * 1000.0 * 0.125 * 1.5, 1.0};
  }
  settings.expectedFrameRate = frameRate;
  settings.maxKeyFrameInterval = frameRate;
  settings.maxKeyFrameIntervalDuration = 1.0;
  return settings;
}

}  // namespace vornakel::capture
