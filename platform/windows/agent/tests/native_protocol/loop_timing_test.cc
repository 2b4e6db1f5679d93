// The command loop's clock rules on fake clocks: the lease checked on every pass, the 300 lines per
// second window, and the carry that renews the lease.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "native_protocol/support/loop_harness.h"

namespace vornakel::native_protocol::testing {
namespace {

using std::chrono::milliseconds;

TEST_F(LoopTest, EachPassWaitsAtMostOneHundredMillisecondsForACommand) {
  start();
  commands.nothing().nothing().end_of_input();
  ASSERT_TRUE(run().ok());
  EXPECT_EQ(commands.waits(), 3u);
  EXPECT_EQ(commands.last_limit(), milliseconds(100));
}

TEST_F(LoopTest, ALeaseThatRunsOutWhileIdleEndsTheHostAtTheNextPass) {
  start(kPointerAndKeyboard, kStartS + 1);
  for (int i = 0; i < 20; ++i) commands.nothing();
  Status result = run();
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error(), generic_rejection());
  // Ten empty waits make the second; the pass right after the tenth finds the lease gone.
  EXPECT_EQ(commands.waits(), 10u);
  EXPECT_EQ(error_line(), "{\"type\":\"error\",\"stage\":\"check-lease\",\"win32\":0}\n");
  EXPECT_TRUE(backends.log.events.empty());
}

TEST_F(LoopTest, AnExpiredLeaseIsReportedBeforeABadDesktopInTheSamePass) {
  start(kPointerAndKeyboard, kStartS + 1);
  commands.nothing([this] {
    time.advance(milliseconds(1000));
    desktop.input_desktop_ = "Screen-saver";
  });
  ASSERT_FALSE(run().ok());
  EXPECT_EQ(error_line(), "{\"type\":\"error\",\"stage\":\"check-lease\",\"win32\":0}\n");
}

TEST_F(LoopTest, ALeaseEndingBetweenCheckAndDispatchIsRefusedByTheAuthorizationState) {
  start(kPointerAndKeyboard, kStartS + 1);
  commands.line(key_line(1, "KeyA", true), [this] { time.advance(milliseconds(1000)); });
  ASSERT_FALSE(run().ok());
  EXPECT_EQ(error_line(), "{\"type\":\"error\",\"stage\":\"authorization-expired\",\"win32\":0}\n");
}

class LoopRateTest : public LoopTest {
 protected:
  // `count` pointer messages, all arriving at the same instant.
  void burst(uint32_t first_seq, int count) {
    for (int i = 0; i < count; ++i) commands.line(pointer_line(first_seq + i, 0.5, 0.5, 0));
  }
  std::size_t moves() const {
    std::size_t n = 0;
    for (const auto& event : backends.log.events) n += event.find("move-abs") != std::string::npos;
    return n;
  }
};

TEST_F(LoopRateTest, ThreeHundredLinesInOneSecondAreAllCarriedOut) {
  start();
  burst(1, 300);
  commands.end_of_input();
  ASSERT_TRUE(run().ok());
  EXPECT_EQ(moves(), 300u);
  EXPECT_EQ(context->recent_commands.size(), 300u);
}

TEST_F(LoopRateTest, TheThreeHundredAndFirstLineInTheSameSecondEndsTheHost) {
  start();
  burst(1, 300);
  commands.line(pointer_line(301, 0.5, 0.5, 0), [this] { time.advance(milliseconds(999)); });
  Status result = run();
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error(), generic_rejection());
  EXPECT_EQ(moves(), 300u);
  EXPECT_EQ(error_line(), "{\"type\":\"error\",\"stage\":\"receive-command\",\"win32\":0}\n");
}

TEST_F(LoopRateTest, LinesAWholeSecondOldNoLongerCount) {
  start();
  burst(1, 300);
  commands.line(pointer_line(301, 0.5, 0.5, 0), [this] { time.advance(milliseconds(1000)); });
  commands.end_of_input();
  ASSERT_TRUE(run().ok());
  EXPECT_EQ(moves(), 301u);
  EXPECT_EQ(context->recent_commands.size(), 1u);
}

TEST_F(LoopRateTest, EveryLineCountsEvenOneThatDoesNothing) {
  start();
  for (int i = 0; i < 300; ++i) commands.line(display_line("DISPLAY9"));
  commands.line(pointer_line(1, 0.5, 0.5, 0));
  ASSERT_FALSE(run().ok());
  EXPECT_EQ(moves(), 0u);
  EXPECT_EQ(context->stage, LoopStage::kReceiveCommand);
}

TEST_F(LoopTest, ACarryUpToThirtySecondsAheadExtendsTheLease) {
  start(kPointerAndKeyboard, kStartS + 10);
  commands.line(carry_line(kStartS + 30)).end_of_input();
  ASSERT_TRUE(run().ok());
  EXPECT_EQ(context->session.lease_end_s, kStartS + 30);
  ASSERT_TRUE(context->authorization.active().has_value());
  EXPECT_EQ(context->authorization.active()->expires_at_s, kStartS + 30);
}

// The lease is checked at the top of the pass; the clock reaches its end while the loop waits.
TEST_F(LoopTest, ACarryReadAfterTheLeaseEndedIsRefused) {
  for (const uint64_t now_at_carry : {kStartS + 9, kStartS + 10}) {
    status = MemoryStatusSink();
    start(kPointerAndKeyboard, kStartS + 10);
    commands.line(carry_line(kStartS + 30), [this, now_at_carry] { time.unix.now_ = now_at_carry; })
        .end_of_input();
    const Status result = run();
    if (now_at_carry < kStartS + 10) {
      EXPECT_TRUE(result.ok()) << error_line();
      EXPECT_EQ(context->session.lease_end_s, kStartS + 30);
    } else {
      ASSERT_FALSE(result.ok());
      EXPECT_EQ(error_line(),
                "{\"type\":\"error\",\"stage\":\"carry-authorization\",\"win32\":0}\n");
      EXPECT_EQ(context->session.lease_end_s, kStartS + 10);
    }
  }
}

class LoopCarryRefusalTest : public LoopTest, public ::testing::WithParamInterface<uint64_t> {};

TEST_P(LoopCarryRefusalTest, EndsTheHostAndLeavesTheLease) {
  start();
  commands.line(carry_line(GetParam()));
  ASSERT_FALSE(run().ok());
  EXPECT_EQ(error_line(), "{\"type\":\"error\",\"stage\":\"carry-authorization\",\"win32\":0}\n");
  EXPECT_EQ(context->session.lease_end_s, kStartS + 60);
}

// Now, 31 seconds ahead, and a time long past.
INSTANTIATE_TEST_SUITE_P(OutsideTheWindow, LoopCarryRefusalTest,
                         ::testing::Values(kStartS, kStartS + 31, uint64_t{0}));

TEST_F(LoopTest, ACarryEarlierThanTheLeaseKeepsItAndStillRebuildsTheState) {
  start(kPointerAndKeyboard, kStartS + 60);
  // A stop ends the state (and, ending it, pauses input); only a rebuilt one accepts anything
  // again, and it keeps the pause until the peer lifts it.
  commands.line(message_line(1, "\"type\":\"stop\""))
      .line(carry_line(kStartS + 5))
      .line(message_line(2, "\"type\":\"pause-input\",\"paused\":false"))
      .line(key_line(3, "KeyA", true))
      .end_of_input();
  ASSERT_TRUE(run().ok()) << error_line();
  EXPECT_EQ(context->session.lease_end_s, kStartS + 60);
  EXPECT_EQ(backends.log.events, (std::vector<std::string>{"b1 key 4 down mods 0"}));
}

TEST_F(LoopTest, InputAfterStopAndCarryIsStillPaused) {
  start();
  commands.line(message_line(1, "\"type\":\"stop\""))
      .line(carry_line(kStartS + 5))
      .line(key_line(2, "KeyA", true));
  ASSERT_FALSE(run().ok());
  EXPECT_EQ(error_line(), "{\"type\":\"error\",\"stage\":\"input-paused\",\"win32\":0}\n");
}

TEST_F(LoopTest, ACarryKeepsInputPaused) {
  start();
  commands.line(message_line(1, "\"type\":\"pause-input\",\"paused\":true"))
      .line(carry_line(kStartS + 20))
      .line(pointer_line(2, 0.1, 0.1, 0));
  last_error.code = 1450;
  ASSERT_FALSE(run().ok());
  EXPECT_EQ(error_line(), "{\"type\":\"error\",\"stage\":\"input-paused\",\"win32\":1450}\n");
}

}  // namespace
}  // namespace vornakel::native_protocol::testing
