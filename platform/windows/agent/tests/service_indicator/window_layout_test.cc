#include "service_indicator/window/window_layout.h"

#include <gtest/gtest.h>

#include <vector>

#include "service_indicator/support/indicator_fakes.h"
#include "service_indicator/window/window_behaviour.h"

namespace vornakel::service_indicator {
namespace {

using testing::utf8;

struct PlacementCase {
  const char* label;
  Rect work_area;
  std::optional<Point> anchor;
  bool expanded;
  Rect expected;
};

class PlacementTest : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(PlacementTest, PutsTheCornerAtTheAnchorInsideTheWorkArea) {
  const PlacementCase& c = GetParam();
  EXPECT_EQ(place_window(c.work_area, c.anchor, c.expanded), c.expected);
}

constexpr Rect kScreen{0, 0, 1920, 1080};

INSTANTIATE_TEST_SUITE_P(
    EachCase, PlacementTest,
    ::testing::Values(
        PlacementCase{"defaultExpanded", kScreen, std::nullopt, true, {1548, 718, 1908, 1068}},
        PlacementCase{"defaultCollapsed", kScreen, std::nullopt, false, {1698, 972, 1908, 1068}},
        PlacementCase{"savedAnchor", kScreen, Point{1000, 600}, false, {790, 504, 1000, 600}},
        PlacementCase{"anchorPastTheRightAndBottom",
                      kScreen,
                      Point{5000, 5000},
                      true,
                      {1560, 730, 1920, 1080}},
        PlacementCase{"anchorPastTheLeftAndTop", kScreen, Point{100, 20}, true, {0, 0, 360, 350}},
        PlacementCase{"workAreaOfAMonitorLeftOfThePrimary",
                      Rect{-1280, 0, 0, 984},
                      std::nullopt,
                      true,
                      {-372, 622, -12, 972}},
        PlacementCase{"workAreaTooSmallLeftAndTopWin",
                      Rect{100, 50, 300, 200},
                      std::nullopt,
                      true,
                      {100, 50, 460, 400}}),
    [](const ::testing::TestParamInfo<PlacementCase>& param_info) {
      return param_info.param.label;
    });

// Where a drag may take the window: moved, never resized, wholly inside the work area.
TEST(KeepInsideTest, MovesTheWindowBackIntoTheWorkAreaWithoutResizingIt) {
  const Rect monitor_left{-1280, 0, 0, 984};
  const struct {
    Rect work_area;
    Rect proposed;
    Rect expected;
  } cases[] = {
      {kScreen, {400, 300, 760, 650}, {400, 300, 760, 650}},        // inside: unchanged
      {kScreen, {1800, 900, 2160, 1250}, {1560, 730, 1920, 1080}},  // past the right and bottom
      {kScreen, {-340, -330, 20, 20}, {0, 0, 360, 350}},            // past the left and top
      {kScreen, {1700, -5, 1910, 91}, {1700, 0, 1910, 96}},         // collapsed, past the top
      {monitor_left, {-100, 900, 260, 1250}, {-360, 634, 0, 984}},  // a monitor left of the primary
      {Rect{100, 50, 300, 200}, {0, 0, 360, 350}, {100, 50, 460, 400}},  // too small: left, top win
  };
  for (const auto& c : cases) {
    EXPECT_EQ(keep_inside(c.work_area, c.proposed), c.expected)
        << c.proposed.left << "," << c.proposed.top;
  }
}

TEST(LogoTest, ThreeRoundedSquaresInBothSizes) {
  using C = LogoColour;
  EXPECT_EQ(logo_shapes(true), (std::array<LogoShape, 3>{{
                                   {{20, 20, 60, 60}, 22, C::kInk, C::kInk},
                                   {{28, 28, 44, 44}, 8, C::kInk, C::kPaper},
                                   {{36, 36, 51, 51}, 8, C::kMint, C::kInk},
                               }}));
  EXPECT_EQ(logo_shapes(false), (std::array<LogoShape, 3>{{
                                    {{12, 12, 36, 36}, 13, C::kInk, C::kInk},
                                    {{16, 16, 26, 26}, 5, C::kInk, C::kPaper},
                                    {{21, 21, 31, 31}, 5, C::kMint, C::kInk},
                                }}));
}

TEST(StatusTextTest, MinutesWithoutHourFieldAndTwoDigitSeconds) {
  using std::chrono::seconds;
  EXPECT_EQ(utf8(status_text(seconds(0), false, true)), "Session active  \u00B7  0:00");
  EXPECT_EQ(utf8(status_text(seconds(65), false, true)), "Session active  \u00B7  1:05");
  EXPECT_EQ(utf8(status_text(seconds(4559), false, true)), "Session active  \u00B7  75:59");
  EXPECT_EQ(utf8(status_text(seconds(3725), false, true)), "Session active  \u00B7  62:05");
  EXPECT_EQ(utf8(status_text(seconds(3725), true, true)), "Input paused  \u00B7  62:05");
  EXPECT_EQ(utf8(status_text(seconds(9), false, false)), "Active  \u00B7  0:09");
  EXPECT_EQ(utf8(status_text(seconds(600), true, false)), "Paused  \u00B7  10:00");
}

TEST(FixedTextTest, SeparatorsAreTheExactCharacters) {
  EXPECT_EQ(utf8(kWindowTitle), "Vornakel Connect \xE2\x80\x94 Remote session active");
  EXPECT_EQ(utf8(collapse_button_text(true)), "Collapse  \xE2\x80\xBA");
  EXPECT_EQ(utf8(collapse_button_text(false)), "\xE2\x80\xB9  Show");
  EXPECT_EQ(utf8(status_text(std::chrono::seconds(0), false, true)),
            "Session active  \xC2\xB7  0:00");
}

TEST(StopShortcutTest, FallsBackFromF12ToF11ToF10) {
  std::vector<uint32_t> tried;
  auto taken = [&](std::vector<uint32_t> busy) {
    tried.clear();
    return register_stop_shortcut([&, busy](uint32_t key) -> std::optional<int32_t> {
      tried.push_back(key);
      for (uint32_t b : busy) {
        if (b == key) return -2147023487 + static_cast<int32_t>(tried.size());
      }
      return std::nullopt;
    });
  };
  Result<StopShortcut, int32_t> free = taken({});
  ASSERT_TRUE(free.ok());
  EXPECT_EQ(utf8(free.value().name), "F12");
  EXPECT_EQ(tried, (std::vector<uint32_t>{0x7B}));

  Result<StopShortcut, int32_t> fallback = taken({0x7B});
  ASSERT_TRUE(fallback.ok());
  EXPECT_EQ(fallback.value().virtual_key, 0x7Au);
  EXPECT_EQ(utf8(details_with_shortcut(u"Connected: Ada", fallback.value())),
            "Connected: Ada\r\nStop shortcut: Ctrl+Alt+Shift+F11");

  Result<StopShortcut, int32_t> none = taken({0x7B, 0x7A, 0x79});
  ASSERT_FALSE(none.ok());
  EXPECT_EQ(none.error(), -2147023487 + 3);  // the code of the last attempt
  EXPECT_EQ(tried, (std::vector<uint32_t>{0x7B, 0x7A, 0x79}));
}

// RegisterHotKey has no desktop scope on Windows: the second window finds the first one's key
// taken and falls back, and each window's details name the key it holds.
TEST(StopShortcutTest, TwoWindowsSharingOneHotkeyTableHoldDifferentKeys) {
  std::vector<uint32_t> registered;
  auto system_wide = [&registered](uint32_t key) -> std::optional<int32_t> {
    for (uint32_t held : registered) {
      if (held == key) return -2147023487;
    }
    registered.push_back(key);
    return std::nullopt;
  };
  Result<StopShortcut, int32_t> first = register_stop_shortcut(system_wide);
  Result<StopShortcut, int32_t> second = register_stop_shortcut(system_wide);
  ASSERT_TRUE(first.ok() && second.ok());
  EXPECT_EQ(utf8(details_with_shortcut(u"D", first.value())),
            "D\r\nStop shortcut: Ctrl+Alt+Shift+F12");
  EXPECT_EQ(utf8(details_with_shortcut(u"D", second.value())),
            "D\r\nStop shortcut: Ctrl+Alt+Shift+F11");
}

}  // namespace
}  // namespace vornakel::service_indicator
