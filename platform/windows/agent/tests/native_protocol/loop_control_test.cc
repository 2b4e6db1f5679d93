// Remote input through the command loop: translation, the release before a pause, stop or
// release-all, the authorization state's verdicts and the word each refusal is reported under.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "native_protocol/support/loop_harness.h"

namespace vornakel::native_protocol::testing {
namespace {

using Events = std::vector<std::string>;

TEST_F(LoopTest, ClosingEndsTheLoopWithSuccessAndLeavesReleaseToTheCaller) {
  start();
  commands.line(key_line(1, "KeyA", true, 2))
      .line("{\"type\":\"close\"}\n")
      .line(key_line(2, "KeyB", true));
  ASSERT_TRUE(run().ok());
  EXPECT_EQ(backends.log.events, (Events{"b1 key 4 down mods 1"}));
  EXPECT_EQ(commands.remaining(), 1u);  // nothing after close is read
  EXPECT_EQ(backends.log.releases[0], 0);
  EXPECT_TRUE(status.bytes.empty());
}

TEST_F(LoopTest, EndOfInputEndsTheLoopWithSuccess) {
  start();
  commands.line(key_line(1, "KeyA", true)).end_of_input();
  ASSERT_TRUE(run().ok());
  EXPECT_EQ(backends.log.events, (Events{"b1 key 4 down mods 0"}));
}

TEST_F(LoopTest, APointerMessageDispatchesItsActionsNumberedFromOne) {
  start();
  commands.line(pointer_line(7, 0.25, 0.75, 1))
      .line(pointer_line(8, 0.25, 0.75, 2))
      .line(scroll_line(9, 1, -2))
      .end_of_input();
  ASSERT_TRUE(run().ok());
  EXPECT_EQ(backends.log.events,
            (Events{"b1 move-abs \\\\.\\DISPLAY1 0.25 0.75", "b1 button 1 down",
                    "b1 move-abs \\\\.\\DISPLAY1 0.25 0.75", "b1 button 1 up", "b1 button 2 down",
                    "b1 scroll 1 -2"}));
  EXPECT_EQ(context->dispatch_counter, 6u);
}

TEST_F(LoopTest, ARelativeCommandIsOneRelativeMove) {
  start();
  commands.line(relative_line(-10000, 25)).end_of_input();
  ASSERT_TRUE(run().ok());
  EXPECT_EQ(backends.log.events, (Events{"b1 move-rel \\\\.\\DISPLAY1 -10000 25"}));
}

TEST_F(LoopTest, ReleaseAllLetsGoOfHeldKeysBeforeAnythingElse) {
  start();
  commands.line(key_line(1, "ArrowLeft", true, 8))
      .line(message_line(2, "\"type\":\"release-all\""))
      .line(key_line(3, "KeyA", true))
      .end_of_input();
  ASSERT_TRUE(run().ok());
  EXPECT_EQ(backends.log.events,
            (Events{"b1 key 80 down mods 2", "b1 release key 80 mods 2", "b1 key 4 down mods 0"}));
  EXPECT_EQ(backends.log.releases[0], 1);
}

TEST_F(LoopTest, AReleaseAllResetsTheGateSoAHeldButtonIsPressedAgain) {
  start();
  commands.line(pointer_line(1, 0.5, 0.5, 1))
      .line(message_line(2, "\"type\":\"release-all\""))
      .line(pointer_line(3, 0.5, 0.5, 1))
      .end_of_input();
  ASSERT_TRUE(run().ok());
  EXPECT_EQ(backends.log.events,
            (Events{"b1 move-abs \\\\.\\DISPLAY1 0.5 0.5", "b1 button 1 down",
                    "b1 move-abs \\\\.\\DISPLAY1 0.5 0.5", "b1 button 1 down"}));
}

TEST_F(LoopTest, PauseReleasesHeldInputAndThenRefusesInputWithTheLastWin32Code) {
  start();
  last_error.code = 87;
  commands.line(key_line(1, "KeyQ", true))
      .line(message_line(2, "\"type\":\"pause-input\",\"paused\":true"))
      .line(pointer_line(3, 0.5, 0.5, 0));
  Status result = run();
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error(), generic_rejection());
  EXPECT_EQ(backends.log.events, (Events{"b1 key 20 down mods 0", "b1 release key 20"}));
  EXPECT_EQ(error_line(), "{\"type\":\"error\",\"stage\":\"input-paused\",\"win32\":87}\n");
}

TEST_F(LoopTest, ResumingInputReleasesNothingAndLetsInputThrough) {
  start();
  commands.line(message_line(1, "\"type\":\"pause-input\",\"paused\":true"))
      .line(message_line(2, "\"type\":\"pause-input\",\"paused\":false"))
      .line(key_line(3, "KeyA", true))
      .end_of_input();
  ASSERT_TRUE(run().ok());
  EXPECT_EQ(backends.log.releases[0], 1);
  EXPECT_EQ(backends.log.events, (Events{"b1 key 4 down mods 0"}));
}

TEST_F(LoopTest, AfterStopTheNextControlIsRefusedByTheGate) {
  start();
  commands.line(message_line(1, "\"type\":\"stop\"")).line(key_line(2, "KeyA", true));
  ASSERT_FALSE(run().ok());
  EXPECT_TRUE(backends.log.events.empty());
  EXPECT_EQ(error_line(), "{\"type\":\"error\",\"stage\":\"control-gate-rejected\",\"win32\":0}\n");
}

TEST_F(LoopTest, AfterStopARelativeMoveIsRefusedByTheGate) {
  start();
  commands.line(message_line(1, "\"type\":\"stop\"")).line(relative_line(1, 1));
  ASSERT_FALSE(run().ok());
  EXPECT_EQ(context->stage, LoopStage::kControlGateRejected);
}

TEST_F(LoopTest, AfterStopTheLoopKeepsRunningAndCloseEndsItCleanly) {
  start();
  commands.line(message_line(1, "\"type\":\"stop\"")).nothing().line("{\"type\":\"close\"}\n");
  EXPECT_TRUE(run().ok());
  EXPECT_EQ(commands.waits(), 3u);
}

TEST_F(LoopTest, AFailingReleaseBeforeStopEndsTheHostUnderValidateControl) {
  start();
  backends.latest->fail_release = AdapterError::platform("blocked");
  commands.line(message_line(1, "\"type\":\"stop\""));
  Status result = run();
  ASSERT_FALSE(result.ok());
  EXPECT_NE(result.error(), generic_rejection());
  EXPECT_EQ(error_line(), "{\"type\":\"error\",\"stage\":\"validate-control\",\"win32\":0}\n");
}

// A missing permission is one of the envelope's validation rules, not a state refusal.
TEST_F(LoopTest, AKeyboardEventWithoutItsPermissionIsAProtocolRejection) {
  start(permission_bit(Permission::kSendPointer));
  commands.line(pointer_line(1, 0.5, 0.5, 0)).line(key_line(2, "KeyA", true));
  ASSERT_FALSE(run().ok());
  EXPECT_EQ(backends.log.events.size(), 1u);
  EXPECT_EQ(error_line(),
            "{\"type\":\"error\",\"stage\":\"control-protocol-rejected\",\"win32\":0}\n");
}

TEST_F(LoopTest, AnEnvelopeTheStateFindsMalformedIsAProtocolRejection) {
  // A device name longer than an envelope's display identifier may be.
  displays.records[0].id = std::string(129, 'D');
  start();
  commands.line(pointer_line(1, 0.5, 0.5, 0));
  ASSERT_FALSE(run().ok());
  EXPECT_EQ(error_line(),
            "{\"type\":\"error\",\"stage\":\"control-protocol-rejected\",\"win32\":0}\n");
}

TEST_F(LoopTest, ABackendFailureIsAnInputApiRejectionWithTheCodeSendInputLeft) {
  start();
  backends.latest->fail_execute =
      AdapterError::platform("not all input events were sent. they may have been blocked by UIPI");
  backends.latest->on_failure = [this] { last_error.code = 5; };
  commands.line(pointer_line(1, 0.5, 0.5, 1));
  ASSERT_FALSE(run().ok());
  EXPECT_EQ(error_line(), "{\"type\":\"error\",\"stage\":\"input-api-rejected\",\"win32\":5}\n");
  // The first action failed: the button press that followed it was never offered.
  EXPECT_EQ(context->dispatch_counter, 1u);
}

struct RefusedLine {
  const char* name;
  std::string line;
  const char* error_line;
};

class LoopRefusalTest : public LoopTest, public ::testing::WithParamInterface<RefusedLine> {};

TEST_P(LoopRefusalTest, WritesExactlyTheExpectedErrorLine) {
  start();
  commands.line(key_line(5, "KeyA", true)).line(GetParam().line).line(key_line(9, "KeyB", true));
  Status result = run();
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error(), generic_rejection());
  EXPECT_EQ(error_line(), GetParam().error_line);
  EXPECT_EQ(backends.log.events, (Events{"b1 key 4 down mods 0"}));
  EXPECT_EQ(commands.remaining(), 1u);
}

constexpr const char* kParse = "{\"type\":\"error\",\"stage\":\"parse-command\",\"win32\":0}\n";
constexpr const char* kValidate =
    "{\"type\":\"error\",\"stage\":\"validate-control\",\"win32\":0}\n";

INSTANTIATE_TEST_SUITE_P(
    EachRefusal, LoopRefusalTest,
    ::testing::Values(
        RefusedLine{"NotJson", "close\n", kParse},
        RefusedLine{"TagCase", "{\"type\":\"Close\"}\n", kParse},
        RefusedLine{"RelativeTooFar", relative_line(10001, 0), kParse},
        RefusedLine{"DisplayIdWithDash", display_line("DISPLAY-2"), kParse},
        RefusedLine{"RepeatedSeq", key_line(5, "KeyB", true), kValidate},
        RefusedLine{"OlderSeq", key_line(4, "KeyB", true), kValidate},
        RefusedLine{"WrongVersion",
                    "{\"type\":\"control\",\"message\":{\"type\":\"stop\",\"v\":2,\"seq\":6}}\n",
                    kValidate},
        RefusedLine{"UnknownKey", key_line(6, "keya", true), kValidate},
        RefusedLine{"PointerOutside", pointer_line(6, 1.5, 0, 0), kValidate}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
}  // namespace vornakel::native_protocol::testing
