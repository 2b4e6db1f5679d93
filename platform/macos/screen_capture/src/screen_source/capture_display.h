#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vornakel::capture {

// One entry of the display list.
struct CaptureDisplay {
  uint32_t id = 0;
  int64_t width = 0;
  int64_t height = 0;
  bool primary = false;

  bool operator==(const CaptureDisplay&) const = default;
};

// A display as the platform reports it: its size in points and, when it has a display mode, the
// mode's native pixel size.
struct PlatformDisplay {
  uint32_t id = 0;
  int64_t pointWidth = 0;
  int64_t pointHeight = 0;
  std::optional<int64_t> modePixelWidth;
  std::optional<int64_t> modePixelHeight;
};

// The native pixel size when the mode gives a usable one, the point size otherwise.
void pixelSize(const PlatformDisplay& display, int64_t& width, int64_t& height);

// The probe's JSON line, line feed included.
std::string probeLine(const std::vector<CaptureDisplay>& displays);

}  // namespace vornakel::capture
