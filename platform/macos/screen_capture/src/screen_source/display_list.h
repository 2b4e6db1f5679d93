#pragma once

#include <cstdint>
#include <variant>
#include <vector>

#include "screen_source/capture_display.h"
#include "screen_source/screen_source_error.h"

namespace vornakel::capture {

// What one query of the shareable content gives: the displays in the platform's order and the
// identifier of the main display.
struct ShareableContent {
  std::vector<PlatformDisplay> displays;
  uint32_t mainDisplayId = 0;
};

// The platform's list of capturable displays. A failed query is reported as the platform's own
// description; the rules below turn it into the program's messages.
class DisplayList {
 public:
  virtual ~DisplayList() = default;
  virtual std::variant<ShareableContent, std::string> queryShareableContent() = 0;
};

// The probe's list: every display with its pixel size, the main one marked primary.
std::variant<std::vector<CaptureDisplay>, ScreenSourceError> shareableDisplays(DisplayList& list);

// The display capture mode uses: the wanted one (or the main one) if listed, else the first listed.
std::variant<CaptureDisplay, ScreenSourceError> chooseDisplay(DisplayList& list,
                                                              std::optional<uint32_t> wanted);

}  // namespace vornakel::capture
