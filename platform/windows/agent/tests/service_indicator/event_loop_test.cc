#include "service_indicator/event_loop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service_indicator/support/indicator_fakes.h"

namespace vornakel::service_indicator {
namespace {

using testing::FakeClock;
using testing::MemorySink;
using testing::ScriptedEvents;
using Lines = std::vector<std::string>;

constexpr char kReady[] = R"({"type":"ready"})";
constexpr char kStop[] = R"({"type":"stop"})";
constexpr char kPaused[] = R"({"type":"pause","paused":true})";
constexpr char kResumed[] = R"({"type":"pause","paused":false})";

class EventLoopTest : public ::testing::Test {
 protected:
  // Runs the loop with the deadline 5 s after the fake clock's start.
  Result<int> run() {
    EventLoopSeams seams{events, flags, sink, clock};
    return run_event_loop(seams, clock.now() + kReadyDeadline);
  }
  int exit_status() {
    Result<int> status = run();
    EXPECT_TRUE(status.ok());
    EXPECT_EQ(events.remaining(), 0u) << "the loop ended before the script did";
    return status.ok() ? status.value() : -1;
  }
  ScriptedEvents& both_ready() { return events.event(WindowReady{}).event(WindowReady{}); }

  FakeClock clock;
  ScriptedEvents events{clock};
  IndicatorFlags flags;
  MemorySink sink;
};

TEST_F(EventLoopTest, ReadyAfterTheSecondWindowThenRunsWithoutDeadlineUntilClosed) {
  both_ready().nothing_times(100).event(Closed{});
  EXPECT_EQ(exit_status(), 0);
  EXPECT_EQ(sink.lines(), Lines{kReady});
  EXPECT_EQ(events.last_limit, kReadyWait) << "ready, the loop waits for events alone";
}

// A window that changes a flag without an event wakes the waiting loop; the wake waits behind
// queued events and is kept when the loop is not waiting yet.
TEST(IndicatorEventQueueTest, AWakeEndsOneWaitWithoutAnEventAfterTheQueuedEvents) {
  IndicatorEventQueue queue;
  queue.wake();
  queue.send(StopRequested{});
  const auto before = std::chrono::steady_clock::now();
  std::optional<IndicatorEvent> first = queue.wait_for(kReadyWait);
  ASSERT_TRUE(first && std::holds_alternative<StopRequested>(*first));
  EXPECT_FALSE(queue.wait_for(std::chrono::seconds(20))) << "the wake";
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(15)) << "not a timeout";
}

TEST_F(EventLoopTest, DeadlineEndsTheLoopSilentlyWithNoneOrOneWindowReady) {
  events.nothing_times(50);  // 50 waits of 100 ms: the deadline
  EXPECT_EQ(exit_status(), 1);
  EXPECT_EQ(events.waits, 50);

  events.event(WindowReady{}).nothing_times(50);
  EXPECT_EQ(exit_status(), 1);
  EXPECT_EQ(sink.lines(), Lines{});
}

TEST_F(EventLoopTest, ClosedBeforeReadyExitsOneAndAfterReadyZero) {
  events.event(WindowReady{}).event(Closed{});
  EXPECT_EQ(exit_status(), 1);
  both_ready().event(Closed{});
  EXPECT_EQ(exit_status(), 0);
  EXPECT_EQ(sink.lines(), Lines{kReady});
}

TEST_F(EventLoopTest, WindowFailedWritesItsErrorLineAndTheStatusFollowsReady) {
  events.event(WindowReady{})
      .event(WindowFailed{WindowStage::kRegisterHotkey, DesktopName::kDefault, -2147023487});
  EXPECT_EQ(exit_status(), 1);
  EXPECT_EQ(
      sink.lines(),
      Lines{
          R"({"type":"error","stage":"register-hotkey","desktop":"Default","win32":-2147023487})"});

  sink.flushed.clear();
  both_ready().event(WindowFailed{WindowStage::kOpenDesktop, DesktopName::kWinlogon, 0});
  EXPECT_EQ(exit_status(), 0);
  EXPECT_EQ(
      sink.lines(),
      (Lines{kReady, R"({"type":"error","stage":"open-desktop","desktop":"Winlogon","win32":0})"}));
}

TEST_F(EventLoopTest, StopIsReportedOnceWhetherByEventTwiceOrByTheFlag) {
  both_ready()
      .event(StopRequested{}, [&] { flags.request_stop(); })
      .event(StopRequested{})
      .nothing()
      .event(Closed{});
  EXPECT_EQ(exit_status(), 0);
  EXPECT_EQ(sink.lines(), (Lines{kReady, kStop}));
}

TEST_F(EventLoopTest, StopSetByTheFlagAloneIsReportedAfterAnEmptyWait) {
  both_ready().event(WindowReady{}, [&] { flags.request_stop(); });
  // A flag seen during an event pass waits for the next empty wait.
  events.nothing().event(StopRequested{}).event(Closed{});
  EXPECT_EQ(exit_status(), 0);
  EXPECT_EQ(sink.lines(), (Lines{kReady, kStop}));
}

TEST_F(EventLoopTest, PauseIsReportedWhenTheFlagDiffersFromTheLastReport) {
  both_ready()
      .nothing([&] { flags.toggle_pause(); })
      .nothing()
      .nothing([&] {  // on and off within one pass: nothing to report
        flags.toggle_pause();
        flags.toggle_pause();
      })
      .event(StopRequested{}, [&] { flags.toggle_pause(); })
      .event(WindowReady{}, [&] { flags.toggle_pause(); })
      .event(Closed{}, [&] { flags.toggle_pause(); });  // not read on Closed
  EXPECT_EQ(exit_status(), 0);
  EXPECT_EQ(sink.lines(), (Lines{kReady, kPaused, kStop, kResumed, kPaused}));
}

TEST_F(EventLoopTest, PauseBeforeReadyIsReportedToo) {
  events.nothing([&] { flags.toggle_pause(); }).event(WindowReady{}).event(WindowReady{});
  events.event(Closed{});
  EXPECT_EQ(exit_status(), 0);
  EXPECT_EQ(sink.lines(), (Lines{kPaused, kReady}));
}

TEST_F(EventLoopTest, AnUnwritableLineEndsTheLoopWithTheWriteError) {
  sink.fail_write_number = 2;
  both_ready().event(StopRequested{});
  Result<int> status = run();
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error(), Error::os_from_win32(232));
  EXPECT_EQ(sink.lines(), Lines{kReady});
}

TEST(WindowFailureCodeTest, ZeroStaysPositiveBecomesHresultNegativeIsKept) {
  EXPECT_EQ(window_failure_code(0), 0);
  EXPECT_EQ(window_failure_code(5), -2147024891);
  EXPECT_EQ(window_failure_code(1409), -2147023487);
  EXPECT_EQ(window_failure_code(0x12345), static_cast<int32_t>(0x80072345u));
  EXPECT_EQ(window_failure_code(0x80004005u), static_cast<int32_t>(0x80004005u));
}

}  // namespace
}  // namespace vornakel::service_indicator
