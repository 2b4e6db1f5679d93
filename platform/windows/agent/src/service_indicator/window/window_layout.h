// The geometry and the fixed texts of an indicator window, expanded and collapsed: the window's
// size and drag band, where it sits in the work area, its controls' rectangles and texts, the logo,
// the timer text and the stop shortcut.
#ifndef VORNAKEL_SERVICE_INDICATOR_WINDOW_WINDOW_LAYOUT_H_
#define VORNAKEL_SERVICE_INDICATOR_WINDOW_WINDOW_LAYOUT_H_

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vornakel::service_indicator {

inline constexpr std::u16string_view kWindowClassName = u"VornakelProtectedSessionIndicator";
inline constexpr std::u16string_view kWindowTitle =
    u"Vornakel Connect \u2014 Remote session active";

// Screen or client pixels, right and bottom exclusive (as Windows' RECT).
struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  bool operator==(const Rect&) const = default;
};

struct Point {
  int32_t x = 0;
  int32_t y = 0;
  bool operator==(const Point&) const = default;
};

struct Size {
  int32_t width = 0;
  int32_t height = 0;
};

// Where the window is created, before the placement rule moves it.
inline constexpr Point kCreatedAt{12, 12};
// The distance of the default anchor from the work area's right and bottom edges.
inline constexpr int32_t kAnchorMargin = 12;

Size window_size(bool expanded);
// The height, from the window's top edge, of the band that drags the window.
int32_t drag_band_height(bool expanded);

// The placement rule: the window's bottom-right corner at the anchor (by default 12 pixels inside
// the work area's), then kept inside the work area, left and top winning when it is too small.
Rect place_window(const Rect& work_area, std::optional<Point> anchor, bool expanded);

// `window` moved (never resized) as little as it takes to lie wholly inside the work area, left
// and top winning when it is too small: where a drag may take the window at any moment of it.
Rect keep_inside(const Rect& work_area, const Rect& window);

// The child controls, by their ids, in the order they are created.
enum class ControlId : int32_t {
  kTitle = 12,
  kStatus = 10,
  kDetails = 11,
  kStop = 1,
  kPause = 2,
  kCollapse = 3,
};
inline constexpr std::array<ControlId, 6> kControlsInCreationOrder = {
    ControlId::kTitle, ControlId::kStatus, ControlId::kDetails,
    ControlId::kStop,  ControlId::kPause,  ControlId::kCollapse};

// x, y, width, height in client pixels.
struct ControlRect {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const ControlRect&) const = default;
};

// nullopt: the control is hidden in that state.
std::optional<ControlRect> control_rect(ControlId id, bool expanded);

std::u16string_view stop_button_text(bool expanded);
std::u16string_view collapse_button_text(bool expanded);
std::u16string_view pause_button_text(bool paused);

// The status label: the state word, "  ·  " and the elapsed time as minutes:seconds (no hour
// field, so 62:05 after 3725 seconds).
std::u16string status_text(std::chrono::seconds elapsed, bool paused, bool expanded);

// The logo: three rounded rectangles, each drawn with a 2-pixel solid pen.
enum class LogoColour { kInk, kPaper, kMint };
struct LogoShape {
  Rect rect;       // client pixels
  int32_t corner;  // width and height of the corner ellipse
  LogoColour fill;
  LogoColour outline;
  bool operator==(const LogoShape&) const = default;
};
inline constexpr int32_t kLogoPenWidth = 2;
std::array<LogoShape, 3> logo_shapes(bool expanded);

// The stop shortcut: Ctrl+Alt+Shift with the first of F12, F11, F10 that registers.
struct StopShortcut {
  uint32_t virtual_key;
  std::u16string_view name;
};
inline constexpr std::array<StopShortcut, 3> kStopShortcuts = {{
    {0x7B, u"F12"},
    {0x7A, u"F11"},
    {0x79, u"F10"},
}};
// MOD_CONTROL | MOD_ALT | MOD_SHIFT | MOD_NOREPEAT: a held key does not repeat.
inline constexpr uint32_t kStopShortcutModifiers = 0x4007;

// The details text with the shortcut line appended, in the window's UTF-16.
std::u16string details_with_shortcut(std::u16string_view details, const StopShortcut& shortcut);

}  // namespace vornakel::service_indicator

#endif  // VORNAKEL_SERVICE_INDICATOR_WINDOW_WINDOW_LAYOUT_H_
