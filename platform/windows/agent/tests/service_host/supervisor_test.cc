#include "service_host/supervisor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "service_host/support/supervisor_fake_platform.h"

namespace vornakel {
namespace {

using ::testing::ElementsAre;
using testing::FakeSupervisorPlatform;
using ::testing::IsEmpty;

constexpr uint64_t kEpochMsAtZero = 1'700'000'000'000;  // the fake clock's system time at 0

class SupervisorTest : public ::testing::Test {
 protected:
  SupervisorTest() { platform_.requests = &requests_; }

  void request_stop_at(uint64_t at) {
    platform_.at(at, [this] { requests_.stop_requested.store(1); });
  }
  void control_at(uint64_t at, uint32_t control) {
    platform_.at(at, [this, control] {
      if (control == 128) requests_.stop_session_request.store(1);
      if (control == 129) requests_.agent_state_request.store(kAgentStateDisable);
      if (control == 130) requests_.agent_state_request.store(kAgentStateEnable);
    });
  }
  Status run() {
    Status status = supervise_agent(platform_, requests_);
    EXPECT_FALSE(platform_.time_limit_hit) << "the supervisor did not stop on its own";
    return status;
  }

  ServiceRequests requests_;
  FakeSupervisorPlatform platform_;
};

TEST_F(SupervisorTest, LaunchesAtOnceAndStopsWithTheFiveSecondGrace) {
  platform_.files["stop-host"] = "stop";
  platform_.files["stop-session"] = "1";
  request_stop_at(1000);
  ASSERT_TRUE(run().ok());
  EXPECT_THAT(
      platform_.log(),
      ElementsAre("0 validate", "0 remove stop-host", "0 remove stop-session", "0 validate",
                  "0 launch agent 1 session 1", "1000 write stop-host=stop", "6000 close agent 1"));
  // The stop marker stays for the agent (and the next start) to see.
  EXPECT_EQ(platform_.files["stop-host"], "stop");
}

TEST_F(SupervisorTest, StopWithoutAgentStillWaitsFiveSecondsAndLeavesStopHost) {
  platform_.console_session = 0xFFFFFFFF;
  request_stop_at(300);
  ASSERT_TRUE(run().ok());
  EXPECT_THAT(platform_.log(), ElementsAre("0 validate", "500 write stop-host=stop"));
  EXPECT_EQ(platform_.now(), 5500u);
  EXPECT_TRUE(platform_.agents().empty());
  EXPECT_EQ(platform_.files["stop-host"], "stop");
}

TEST_F(SupervisorTest, ExitedAgentGetsStopHostGraceKillAndRelaunchFourSecondsLater) {
  platform_.at(1100, [this] { platform_.agent(1)->exit_code = 0; });
  request_stop_at(7000);
  ASSERT_TRUE(run().ok());
  EXPECT_THAT(platform_.log(),
              ElementsAre("0 validate", "0 validate", "0 launch agent 1 session 1",
                          "1250 write stop-host=stop", "3250 close agent 1",
                          "3250 remove stop-host", "5250 validate", "5250 launch agent 2 session 1",
                          "7000 write stop-host=stop", "12000 close agent 2"));
}

TEST_F(SupervisorTest, AgentWhoseExitCodeCannotBeReadIsReplaced) {
  platform_.at(600, [this] { platform_.agent(1)->query_fails = true; });
  request_stop_at(5000);
  ASSERT_TRUE(run().ok());
  EXPECT_THAT(platform_.log_matching("launch"),
              ElementsAre("0 launch agent 1 session 1", "4750 launch agent 2 session 1"));
  EXPECT_EQ(*platform_.agent(1)->closed_at, 2750u);
}

TEST_F(SupervisorTest, AgentExitingWithStillActiveCodeLooksAlive) {
  // The exit-code query is the only liveness test, so 259 cannot be told from a running agent.
  platform_.at(600, [this] { platform_.agent(1)->exit_code = kStillActive; });
  request_stop_at(4000);
  ASSERT_TRUE(run().ok());
  EXPECT_EQ(platform_.agents().size(), 1u);
  EXPECT_EQ(*platform_.agent(1)->closed_at, 9000u);
}

TEST_F(SupervisorTest, SessionSwitchStopsTheAgentAndLaunchesIntoTheNewSession) {
  platform_.at(900, [this] { platform_.console_session = 2; });
  request_stop_at(6000);
  ASSERT_TRUE(run().ok());
  EXPECT_THAT(platform_.log(),
              ElementsAre("0 validate", "0 validate", "0 launch agent 1 session 1",
                          "1000 write stop-host=stop", "3000 close agent 1",
                          "3000 remove stop-host", "5000 validate", "5000 launch agent 2 session 2",
                          "6000 write stop-host=stop", "11000 close agent 2"));
}

TEST_F(SupervisorTest, NoAgentWithoutAConsoleSessionAndLaunchAtOnceWhenOneAppears) {
  platform_.console_session = 0;
  platform_.at(1100, [this] { platform_.console_session = 0xFFFFFFFF; });
  platform_.at(2100, [this] { platform_.console_session = 3; });
  request_stop_at(3000);
  ASSERT_TRUE(run().ok());
  EXPECT_THAT(platform_.log_matching("launch"), ElementsAre("2250 launch agent 1 session 3"));
}

TEST_F(SupervisorTest, SessionEndingStopsTheAgentAndLaunchesNothing) {
  platform_.at(1000, [this] { platform_.console_session = 0xFFFFFFFF; });
  request_stop_at(9000);
  ASSERT_TRUE(run().ok());
  EXPECT_EQ(platform_.agents().size(), 1u);
  EXPECT_EQ(*platform_.agent(1)->closed_at, 3000u);
}

TEST_F(SupervisorTest, FailingValidationIsRetriedEveryFiveSecondsUntilRepaired) {
  // Only the first validation (at start) must succeed for the supervisor to run.
  platform_.at(
      1, [this] { platform_.validation_error = Error::message("Program Files is unavailable"); });
  platform_.console_session = 0xFFFFFFFF;
  platform_.at(100, [this] { platform_.console_session = 1; });
  platform_.at(7000, [this] { platform_.validation_error.reset(); });
  request_stop_at(11000);
  ASSERT_TRUE(run().ok());
  EXPECT_THAT(platform_.log_matching("validate"),
              ElementsAre("0 validate", "250 validate", "5250 validate", "10250 validate"));
  EXPECT_THAT(platform_.log_matching("launch"), ElementsAre("10250 launch agent 1 session 1"));
}

TEST_F(SupervisorTest, FailingLaunchIsRetriedEveryFiveSecondsWithoutEnd) {
  platform_.launch_error = Error::os(0x80070005);
  request_stop_at(20100);
  ASSERT_TRUE(run().ok());
  EXPECT_THAT(platform_.log_matching("launch"),
              ElementsAre("0 launch failed", "5000 launch failed", "10000 launch failed",
                          "15000 launch failed", "20000 launch failed"));
}

TEST_F(SupervisorTest, DisableThenEnableBetweenTwoPollsWritesOneEnabledRecord) {
  control_at(600, 129);
  control_at(700, 130);
  request_stop_at(1000);
  ASSERT_TRUE(run().ok());
  const std::string record =
      "{\"enabled\":true,\"updatedAt\":" + std::to_string(kEpochMsAtZero + 750) + "}";
  EXPECT_THAT(platform_.log_matching("write state"),
              ElementsAre("750 write state/agent-state.service-next.json=" + record));
  EXPECT_THAT(
      platform_.log_matching("move"),
      ElementsAre("750 move state/agent-state.service-next.json -> state/agent-state.json"));
  EXPECT_EQ(platform_.files["state/agent-state.json"], record);
  EXPECT_EQ(platform_.files.count("state/agent-state.service-next.json"), 0u);
}

TEST_F(SupervisorTest, DisableWritesFalseAndChecksOnlyExistingStateFiles) {
  control_at(300, 129);
  control_at(800, 130);
  request_stop_at(1200);
  ASSERT_TRUE(run().ok());
  // No state file existed for the first write; the second checks the live record it replaces.
  EXPECT_THAT(platform_.log_matching("check"),
              ElementsAre("1000 check private state/agent-state.json"));
  EXPECT_THAT(platform_.log_matching("write state"),
              ElementsAre("500 write state/agent-state.service-next.json={\"enabled\":false,"
                          "\"updatedAt\":" +
                              std::to_string(kEpochMsAtZero + 500) + "}",
                          "1000 write state/agent-state.service-next.json={\"enabled\":true,"
                          "\"updatedAt\":" +
                              std::to_string(kEpochMsAtZero + 1000) + "}"));
}

TEST_F(SupervisorTest, TwoStopSessionControlsInOneIntervalWriteOnce) {
  control_at(300, 128);
  control_at(400, 128);
  request_stop_at(1000);
  ASSERT_TRUE(run().ok());
  EXPECT_THAT(platform_.log_matching("write stop-session"),
              ElementsAre("500 write stop-session=" + std::to_string(kEpochMsAtZero + 500)));
}

TEST_F(SupervisorTest, StopIsConsumedBeforeOtherRequests) {
  control_at(300, 129);
  control_at(300, 128);
  request_stop_at(300);
  ASSERT_TRUE(run().ok());
  EXPECT_THAT(platform_.log_matching("write"), ElementsAre("500 write stop-host=stop"));
}

TEST_F(SupervisorTest, MissingStateDirectoryEndsTheSupervisorAndKillsTheAgent) {
  platform_.directories.clear();
  control_at(300, 129);
  const Status status = run();
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error(), Error::file_system(3));
  EXPECT_EQ(*platform_.agent(1)->closed_at, 500u);
  EXPECT_EQ(platform_.files.count("stop-host"), 0u);
}

TEST_F(SupervisorTest, UnprotectedStateFileEndsTheSupervisor) {
  platform_.files["state/agent-state.service-next.json"] = "{}";
  platform_.unprotected.insert("state/agent-state.service-next.json");
  control_at(300, 130);
  const Status status = run();
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error().text(), "An unprivileged account can access protected host state");
  EXPECT_EQ(platform_.files["state/agent-state.service-next.json"], "{}");
  EXPECT_TRUE(platform_.agent(1)->closed_at.has_value());
}

TEST_F(SupervisorTest, FirstUnprotectedStateFileIsTheOnlyCheckAndNothingIsWritten) {
  platform_.files["state/agent-state.json"] = "{}";
  platform_.files["state/agent-state.service-next.json"] = "{}";
  platform_.unprotected.insert("state/agent-state.json");
  control_at(300, 129);
  const Status status = run();
  ASSERT_FALSE(status.ok());
  EXPECT_THAT(platform_.log_matching("check"),
              ElementsAre("500 check private state/agent-state.json"));
  EXPECT_THAT(platform_.log_matching("write"), IsEmpty());
  EXPECT_THAT(platform_.log_matching("move"), IsEmpty());
}

TEST_F(SupervisorTest, DanglingLinkAsStateFileIsCheckedAndRefusedNotWrittenThrough) {
  // A link whose target is missing exists for the check; following it would count it absent and
  // let the write create the target with the service's rights.
  platform_.links.insert("state/agent-state.service-next.json");
  control_at(300, 130);
  const Status status = run();
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error().text(), "A protected installation path is a reparse point");
  EXPECT_THAT(platform_.log_matching("check"),
              ElementsAre("500 check private state/agent-state.service-next.json"));
  EXPECT_THAT(platform_.log_matching("write"), IsEmpty());
}

TEST_F(SupervisorTest, AgentStateIsWrittenBeforeStopSessionInOnePass) {
  control_at(300, 128);
  control_at(300, 129);
  request_stop_at(600);
  ASSERT_TRUE(run().ok());
  const std::string at = std::to_string(kEpochMsAtZero + 500);
  EXPECT_THAT(
      platform_.log_matching("write"),
      ElementsAre(
          "500 write state/agent-state.service-next.json={\"enabled\":false,\"updatedAt\":" + at +
              "}",
          "500 write stop-session=" + at, "750 write stop-host=stop"));
}

TEST_F(SupervisorTest, LaunchUsesTheLayoutValidatedInItsOwnPass) {
  // The installation is upgraded while the first agent runs: the relaunch must take the version
  // directory of the validation just before it, not the one of the start.
  platform_.at(1100, [this] {
    platform_.agent(1)->exit_code = 0;
    platform_.version_dir = u"C:\\Program Files\\Vornakel Connect\\versions\\1.1.0";
  });
  request_stop_at(6000);
  ASSERT_TRUE(run().ok());
  ASSERT_EQ(platform_.agents().size(), 2u);
  EXPECT_EQ(platform_.agent(1)->version_dir, FakeSupervisorPlatform::kVersionDir);
  EXPECT_EQ(platform_.agent(2)->version_dir, platform_.version_dir);
}

TEST_F(SupervisorTest, StopArrivingDuringTheAgentStopGraceWaitsForIt) {
  platform_.at(1100, [this] { platform_.agent(1)->exit_code = 0; });
  request_stop_at(2000);
  ASSERT_TRUE(run().ok());
  EXPECT_THAT(platform_.log(), ElementsAre("0 validate", "0 validate", "0 launch agent 1 session 1",
                                           "1250 write stop-host=stop", "3250 close agent 1",
                                           "3250 remove stop-host", "3500 write stop-host=stop"));
  EXPECT_EQ(platform_.now(), 8500u);
}

TEST_F(SupervisorTest, SystemClockBefore1970EndsTheSupervisorOnAControl) {
  platform_.unix_ticks_at_zero = -100'000'000;
  control_at(300, 128);
  const Status status = run();
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error().kind(), ErrorKind::kMessage);
  EXPECT_EQ(platform_.files.count("stop-session"), 0u);
}

TEST_F(SupervisorTest, FailedStopHostWriteOnAgentExitEndsTheSupervisor) {
  platform_.at(600, [this] {
    platform_.agent(1)->exit_code = 1;
    platform_.write_error = Error::file_system(5);
  });
  const Status status = run();
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error(), Error::file_system(5));
  EXPECT_EQ(*platform_.agent(1)->closed_at, 750u);
}

TEST_F(SupervisorTest, FailedStopHostWriteOnServiceStopKillsAtOnceAndReturnsTheError) {
  platform_.at(600, [this] {
    platform_.write_error = Error::file_system(5);
    requests_.stop_requested.store(1);
  });
  const Status status = run();
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error(), Error::file_system(5));
  EXPECT_EQ(*platform_.agent(1)->closed_at, 750u);
  EXPECT_EQ(platform_.now(), 750u);
}

TEST_F(SupervisorTest, FailureToRemoveStopHostAfterAnAgentStopIsIgnored) {
  platform_.at(600, [this] {
    platform_.agent(1)->exit_code = 0;
    platform_.remove_error = Error::file_system(5);
  });
  request_stop_at(5000);
  ASSERT_TRUE(run().ok());
  EXPECT_THAT(platform_.log_matching("launch"),
              ElementsAre("0 launch agent 1 session 1", "4750 launch agent 2 session 1"));
}

TEST_F(SupervisorTest, StartStepFailuresEndTheSupervisorBeforeAnyLaunch) {
  {
    FakeSupervisorPlatform platform;
    platform.local_system_error =
        Error::message("This entry point requires the installed LocalSystem service");
    ServiceRequests requests;
    EXPECT_EQ(supervise_agent(platform, requests).error(), *platform.local_system_error);
    EXPECT_THAT(platform.log(), IsEmpty());
  }
  {
    FakeSupervisorPlatform platform;
    platform.validation_error = Error::message("ProgramData is unavailable");
    ServiceRequests requests;
    EXPECT_EQ(supervise_agent(platform, requests).error(), *platform.validation_error);
    EXPECT_THAT(platform.log(), ElementsAre("0 validate"));
  }
  {
    FakeSupervisorPlatform platform;
    platform.files["stop-host"] = "stop";
    platform.remove_error = Error::file_system(32);
    ServiceRequests requests;
    EXPECT_EQ(supervise_agent(platform, requests).error(), Error::file_system(32));
    EXPECT_TRUE(platform.agents().empty());
  }
}

TEST(AgentStateRecord, IsCompactJsonWithoutLineFeed) {
  EXPECT_EQ(agent_state_record(false, 0), "{\"enabled\":false,\"updatedAt\":0}");
  EXPECT_EQ(agent_state_record(true, 1733572800123),
            "{\"enabled\":true,\"updatedAt\":1733572800123}");
}

TEST(UnixMsFromTicks, RoundsDownAndRefusesTimesBefore1970) {
  EXPECT_EQ(unix_ms_from_ticks(0), 0u);
  EXPECT_EQ(unix_ms_from_ticks(9999), 0u);
  EXPECT_EQ(unix_ms_from_ticks(17'335'728'001'239'999), 1'733'572'800'123u);
  EXPECT_EQ(unix_ms_from_ticks(-1), std::nullopt);
}

}  // namespace
}  // namespace vornakel
