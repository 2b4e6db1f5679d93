#include "service_indicator/window/window_behaviour.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "service_indicator/support/indicator_fakes.h"

namespace vornakel::service_indicator {
namespace {

using testing::FakeWindowPort;
using Calls = std::vector<std::string>;
using std::chrono::seconds;

class WindowBehaviourTest : public ::testing::Test {
 protected:
  std::optional<IndicatorEvent> next_event() {
    return queue->wait_for(std::chrono::milliseconds(0));
  }
  // Whether the loop's next wait ends without an event long before its limit: the ready loop has
  // no other way to see a flag change.
  bool woken() {
    const auto before = std::chrono::steady_clock::now();
    const bool quiet = !queue->wait_for(std::chrono::milliseconds(3000));
    return quiet && std::chrono::steady_clock::now() - before < std::chrono::milliseconds(2500);
  }
  int events_waiting() {
    int count = 0;
    while (next_event()) ++count;
    return count;
  }
  // Setup's part: placed expanded and shown.
  void show() {
    ASSERT_TRUE(window.place(true));
    window.mark_shown();
    port.calls.clear();
  }

  FakeWindowPort port;
  std::shared_ptr<IndicatorEventQueue> queue = std::make_shared<IndicatorEventQueue>();
  std::shared_ptr<IndicatorFlags> flags = std::make_shared<IndicatorFlags>();
  std::chrono::steady_clock::time_point start{seconds(1000)};
  WindowBehaviour window{port, IndicatorEventSender(queue), flags, start};
};

TEST_F(WindowBehaviourTest, PlacementMovesThenShowsThenLaysOutThenSetsTexts) {
  ASSERT_TRUE(window.place(true));
  EXPECT_EQ(port.calls,
            (Calls{"work-area", "move 1548,718,1908,1068", "show 2 1", "show 11 1", "show 12 1",
                   "control 10 20,56,320,24", "control 1 20,295,190,36", "control 3 220,295,120,36",
                   "text 3 Collapse  \u203A", "text 1 Stop remote session"}));
}

TEST_F(WindowBehaviourTest, CollapseAndShowKeepTheBottomRightCorner) {
  show();
  ASSERT_TRUE(window.on_command(3));
  EXPECT_FALSE(window.expanded());
  EXPECT_EQ(port.calls, (Calls{"work-area", "move 1698,972,1908,1068", "show 2 0", "show 11 0",
                               "show 12 0", "control 10 44,12,154,24", "control 1 108,46,88,32",
                               "control 3 14,46,86,32", "text 3 \u2039  Show", "text 1 Stop"}));
  ASSERT_TRUE(window.on_command(3));
  EXPECT_EQ(port.window, (Rect{1548, 718, 1908, 1068}));
  EXPECT_EQ(events_waiting(), 0);
}

TEST_F(WindowBehaviourTest, TheCornerTheUserDraggedToIsKeptAndClamped) {
  show();
  port.window = Rect{400, 300, 760, 650};  // where the drag left it
  window.on_exit_size_move();
  EXPECT_EQ(port.window, (Rect{400, 300, 760, 650}));
  window.on_command(3);
  EXPECT_EQ(port.window, (Rect{550, 554, 760, 650}));

  port.window = Rect{-150, 10, 60, 106};  // collapsed and dragged partly off the left edge
  window.on_exit_size_move();
  EXPECT_EQ(port.window, (Rect{0, 10, 210, 106}));
  window.on_command(3);  // expanding at that corner would leave the work area at the top
  EXPECT_EQ(port.window, (Rect{0, 0, 360, 350}));
  window.on_display_change();
  EXPECT_EQ(port.window, (Rect{0, 0, 360, 350}));
}

TEST_F(WindowBehaviourTest, AMoveWhoseRectangleCannotBeReadChangesNothing) {
  show();
  port.rect_fails = true;
  window.on_exit_size_move();
  EXPECT_EQ(port.calls, Calls{});
  port.rect_fails = false;
  window.on_display_change();
  EXPECT_EQ(port.window, (Rect{1548, 718, 1908, 1068}));
}

TEST_F(WindowBehaviourTest, APlacementFailureAfterShowingAsksForAStopThroughTheFlagOnly) {
  port.failing = "show";
  EXPECT_FALSE(window.place(true));
  EXPECT_EQ(port.calls.back(), "show 2 1");  // the rule ends at the failing call
  window.on_display_change();
  EXPECT_FALSE(flags->stop_requested()) << "setup reports its own placement failure";

  window.mark_shown();
  for (const char* failing : {"work-area", "move", "control", "text"}) {
    port.failing = failing;
    flags = std::make_shared<IndicatorFlags>();
    WindowBehaviour shown_window{port, IndicatorEventSender(queue), flags, start};
    shown_window.mark_shown();
    shown_window.on_command(3);
    EXPECT_TRUE(flags->stop_requested()) << failing;
  }
  EXPECT_EQ(events_waiting(), 0);
}

TEST_F(WindowBehaviourTest, StopButtonCloseAndHotkeyEachSetTheFlagAndSendAnEvent) {
  show();
  EXPECT_TRUE(window.on_command(1));
  window.request_stop();
  EXPECT_TRUE(flags->stop_requested());
  ASSERT_TRUE(next_event());
  ASSERT_TRUE(next_event());
  EXPECT_FALSE(next_event());
  EXPECT_EQ(port.calls, Calls{}) << "the window stays as it is";
}

TEST_F(WindowBehaviourTest, PauseFlipsTheSharedFlagAndTheTextsFollowOnTheTick) {
  show();
  EXPECT_TRUE(window.on_command(2));
  EXPECT_TRUE(flags->input_paused());
  EXPECT_EQ(port.calls, Calls{});
  window.on_timer(start + std::chrono::milliseconds(3725999));
  EXPECT_EQ(port.calls,
            (Calls{"text 10 Input paused  \u00B7  62:05", "text 2 Resume remote input"}));

  EXPECT_TRUE(window.on_command(2));
  window.on_command(3);
  port.calls.clear();
  window.on_timer(start + seconds(61));
  EXPECT_EQ(port.calls, (Calls{"text 10 Active  \u00B7  1:01", "text 2 Pause remote input"}));
  EXPECT_FALSE(window.on_command(4));
  EXPECT_EQ(events_waiting(), 0);

  port.calls.clear();
  window.on_timer(start + seconds(62));
  EXPECT_EQ(port.calls, Calls{"text 10 Active  \u00B7  1:02"}) << "the button keeps its text";
  port.failing = "text";
  window.on_command(2);
  window.on_timer(start + seconds(63));
  port.failing.clear();
  port.calls.clear();
  window.on_timer(start + seconds(64));
  EXPECT_EQ(port.calls, (Calls{"text 10 Paused  \u00B7  1:04", "text 2 Resume remote input"}))
      << "a failed update is tried again";
}

TEST_F(WindowBehaviourTest, DragBandIsTheTopOfTheWindowInEitherState) {
  show();
  EXPECT_FALSE(window.is_drag_band(717));
  EXPECT_TRUE(window.is_drag_band(718));
  EXPECT_TRUE(window.is_drag_band(718 + 83));
  EXPECT_FALSE(window.is_drag_band(718 + 84));
  window.on_command(3);
  EXPECT_TRUE(window.is_drag_band(972 + 39));
  EXPECT_FALSE(window.is_drag_band(972 + 40));
  port.rect_fails = true;
  EXPECT_FALSE(window.is_drag_band(972));
}

TEST_F(WindowBehaviourTest, ADragIsKeptInsideItsMonitorsWorkAreaAtEveryStep) {
  show();
  // Held past the bottom-right corner of the screen, then onto a monitor on the left.
  EXPECT_EQ(window.on_moving(Rect{1800, 900, 2160, 1250}), (Rect{1560, 730, 1920, 1080}));
  port.work_near = Rect{-1280, 0, 0, 984};
  EXPECT_EQ(window.on_moving(Rect{-1400, -50, -1040, 300}), (Rect{-1280, 0, -920, 350}));
  EXPECT_EQ(port.calls,
            (Calls{"work-area-near 1800,900,2160,1250", "work-area-near -1400,-50,-1040,300"}));
  port.failing = "work-area-near";
  EXPECT_EQ(window.on_moving(Rect{1800, 900, 2160, 1250}), (Rect{1800, 900, 2160, 1250}));
}

TEST_F(WindowBehaviourTest, AWindowHiddenByTheFirstShowIsShownOnceMoreAndOnlyAVisibleOneCounts) {
  port.hidden_shows = 1;  // the parent asked for a hidden start
  EXPECT_TRUE(window.show());
  EXPECT_EQ(port.calls, (Calls{"show-window", "show-window"}));
  EXPECT_TRUE(window.shown());

  FakeWindowPort stubborn;
  stubborn.hidden_shows = 2;
  WindowBehaviour hidden{stubborn, IndicatorEventSender(queue), flags, start};
  EXPECT_FALSE(hidden.show());
  EXPECT_EQ(stubborn.calls.size(), 2u) << "shown once more, not again and again";
  hidden.on_destroy();
  EXPECT_EQ(events_waiting(), 0) << "a window never seen is not reported as closed";
}

TEST_F(WindowBehaviourTest, EachTickPlacesAgainOnlyWhenTheWorkAreaChanged) {
  show();
  window.hold_ground();
  EXPECT_EQ(port.calls, Calls{"monitor-work-area"});
  port.calls.clear();
  port.work = Rect{0, 0, 1920, 1040};  // a taskbar appeared; no notice reached this desktop
  window.hold_ground();
  EXPECT_EQ(port.window, (Rect{1548, 678, 1908, 1028}));
  port.calls.clear();
  window.hold_ground();
  EXPECT_EQ(port.calls, Calls{"monitor-work-area"});
}

TEST_F(WindowBehaviourTest, EachTickRaisesTheWindowOnlyWhileAnotherIsAboveIt) {
  show();
  window.hold_ground();
  port.above = true;  // another program's topmost window opened over it
  window.hold_ground();
  window.hold_ground();
  port.above = true;
  port.failing = "raise";
  window.hold_ground();
  EXPECT_EQ(port.calls, (Calls{"monitor-work-area", "monitor-work-area", "raise",
                               "monitor-work-area", "monitor-work-area", "raise"}));
  EXPECT_FALSE(flags->stop_requested()) << "a failed raise is tried again on the next tick";
}

TEST_F(WindowBehaviourTest, FlagChangesWithoutAnEventWakeTheMainLoop) {
  show();
  window.on_command(2);
  EXPECT_TRUE(woken()) << "a pause";
  EXPECT_FALSE(woken()) << "one wake ends one wait";
  port.failing = "move";
  window.on_display_change();
  EXPECT_TRUE(flags->stop_requested());
  EXPECT_TRUE(woken()) << "a stop asked for by the flag alone";
}

TEST_F(WindowBehaviourTest, DestructionIsReportedOnlyOnceShown) {
  window.on_destroy();
  EXPECT_FALSE(next_event());
  show();
  window.on_destroy();
  std::optional<IndicatorEvent> closed = next_event();
  ASSERT_TRUE(closed);
  EXPECT_TRUE(std::holds_alternative<Closed>(*closed));
}

}  // namespace
}  // namespace vornakel::service_indicator
