#include "screen_source/capture_display.h"

namespace vornakel::capture {

void pixelSize(const PlatformDisplay& display, int64_t& width, int64_t& height) {
  if (display.modePixelWidth && display.modePixelHeight && *display.modePixelWidth >= 1 &&
      *display.modePixelHeight >= 1) {
    width = *display.modePixelWidth;
    height = *display.modePixelHeight;
    return;
  }
  width = display.pointWidth;
  height = display.pointHeight;
}

std::string probeLine(const std::vector<CaptureDisplay>& displays) {
  std::string line = "{\"displays\":[";
  for (size_t i = 0; i < displays.size(); ++i) {
    const CaptureDisplay& display = displays[i];
    if (i > 0) line += ',';
    line += "{\"id\":" + std::to_string(display.id) +
            ",\"width\":" + std::to_string(display.width) +
            ",\"height\":" + std::to_string(display.height) +
            ",\"primary\":" + (display.primary ? "true" : "false") + "}";
  }
  line += "]}\n";
  return line;
}

}  // namespace vornakel::capture
