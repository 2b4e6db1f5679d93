#include "screen_source/display_list.h"

namespace vornakel::capture {
namespace {

CaptureDisplay toCaptureDisplay(const PlatformDisplay& display, uint32_t mainDisplayId) {
  CaptureDisplay result;
  result.id = display.id;
  pixelSize(display, result.width, result.height);
  result.primary = display.id == mainDisplayId;
  return result;
}

}  // namespace

std::variant<std::vector<CaptureDisplay>, ScreenSourceError> shareableDisplays(DisplayList& list) {
  auto content = list.queryShareableContent();
  if (std::holds_alternative<std::string>(content)) return ScreenSourceError::permissionDenied();
  const auto& shareable = std::get<ShareableContent>(content);
  if (shareable.displays.empty()) return ScreenSourceError::noDisplays();
  std::vector<CaptureDisplay> displays;
  displays.reserve(shareable.displays.size());
  for (const auto& display : shareable.displays) {
    displays.push_back(toCaptureDisplay(display, shareable.mainDisplayId));
  }
  return displays;
}

std::variant<CaptureDisplay, ScreenSourceError> chooseDisplay(DisplayList& list,
                                                              std::optional<uint32_t> wanted) {
  auto content = list.queryShareableContent();
  if (std::holds_alternative<std::string>(content)) return ScreenSourceError::permissionDenied();
  const auto& shareable = std::get<ShareableContent>(content);
  if (shareable.displays.empty()) return ScreenSourceError::noDisplays();
  const uint32_t wantedId = wanted.value_or(shareable.mainDisplayId);
  for (const auto& display : shareable.displays) {
    if (display.id == wantedId) return toCaptureDisplay(display, shareable.mainDisplayId);
  }
  return toCaptureDisplay(shareable.displays.front(), shareable.mainDisplayId);
}

}  // namespace vornakel::capture
