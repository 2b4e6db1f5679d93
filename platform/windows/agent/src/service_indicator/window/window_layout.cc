#include "service_indicator/window/window_layout.h"

#include <algorithm>

namespace vornakel::service_indicator {

Size window_size(bool expanded) { return expanded ? Size{360, 350} : Size{210, 96}; }

int32_t drag_band_height(bool expanded) { return expanded ? 84 : 40; }

Rect place_window(const Rect& work_area, std::optional<Point> anchor, bool expanded) {
  const Point corner =
      anchor.value_or(Point{work_area.right - kAnchorMargin, work_area.bottom - kAnchorMargin});
  const Size size = window_size(expanded);
  // The right and bottom clamps first, so that the left and top ones win a work area too small.
  const int32_t x =
      std::max(std::min(work_area.right - size.width, corner.x - size.width), work_area.left);
  const int32_t y =
      std::max(std::min(work_area.bottom - size.height, corner.y - size.height), work_area.top);
  return Rect{x, y, x + size.width, y + size.height};
}

Rect keep_inside(const Rect& work_area, const Rect& window) {
  const int32_t width = window.right - window.left;
  const int32_t height = window.bottom - window.top;
  const int32_t x = std::max(std::min(work_area.right - width, window.left), work_area.left);
  const int32_t y = std::max(std::min(work_area.bottom - height, window.top), work_area.top);
  return Rect{x, y, x + width, y + height};
}

std::optional<ControlRect> control_rect(ControlId id, bool expanded) {
  switch (id) {
    case ControlId::kTitle:
      if (expanded) return ControlRect{72, 22, 268, 30};
      return std::nullopt;
    case ControlId::kStatus:
      return expanded ? ControlRect{20, 56, 320, 24} : ControlRect{44, 12, 154, 24};
    case ControlId::kDetails:
      if (expanded) return ControlRect{20, 94, 320, 140};
      return std::nullopt;
    case ControlId::kStop:
      return expanded ? ControlRect{20, 295, 190, 36} : ControlRect{108, 46, 88, 32};
    case ControlId::kPause:
      if (expanded) return ControlRect{20, 245, 320, 36};
      return std::nullopt;
    case ControlId::kCollapse:
      return expanded ? ControlRect{220, 295, 120, 36} : ControlRect{14, 46, 86, 32};
  }
  return std::nullopt;
}

std::u16string_view stop_button_text(bool expanded) {
  return expanded ? u"Stop remote session" : u"Stop";
}

std::u16string_view collapse_button_text(bool expanded) {
  return expanded ? u"Collapse  \u203A" : u"\u2039  Show";
}

std::u16string_view pause_button_text(bool paused) {
  return paused ? u"Resume remote input" : u"Pause remote input";
}

namespace {

void append_decimal(std::u16string& out, int64_t value) {
  const std::string digits = std::to_string(value);
  out.append(digits.begin(), digits.end());
}

}  // namespace

std::u16string status_text(std::chrono::seconds elapsed, bool paused, bool expanded) {
  std::u16string text;
  if (paused) {
    text = expanded ? u"Input paused" : u"Paused";
  } else {
    text = expanded ? u"Session active" : u"Active";
  }
  const int64_t seconds = std::max<int64_t>(elapsed.count(), 0);
  text += u"  \u00B7  ";
  append_decimal(text, seconds / 60);
  text += u':';
  text += static_cast<char16_t>(u'0' + seconds % 60 / 10);
  text += static_cast<char16_t>(u'0' + seconds % 10);
  return text;
}

std::array<LogoShape, 3> logo_shapes(bool expanded) {
  const int32_t o = expanded ? 20 : 12;
  const int32_t s = expanded ? 40 : 24;
  const auto at = [o, s](int32_t numerator) { return o + numerator * s / 64; };
  return {{
      {{o, o, o + s, o + s}, 36 * s / 64, LogoColour::kInk, LogoColour::kInk},
      {{at(13), at(13), at(39), at(39)}, 14 * s / 64, LogoColour::kInk, LogoColour::kPaper},
      {{at(26), at(26), at(51), at(51)}, 14 * s / 64, LogoColour::kMint, LogoColour::kInk},
  }};
}

std::u16string details_with_shortcut(std::u16string_view details, const StopShortcut& shortcut) {
  std::u16string text(details);
  text += u"\r\nStop shortcut: Ctrl+Alt+Shift+";
  text += shortcut.name;
  return text;
}

}  // namespace vornakel::service_indicator
