#include "service_host/service_control.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vornakel {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class RecordingReporter : public ServiceStatusReporter {
 public:
  void report(const ServiceStatusReport& status) override {
    reports.push_back(status);
    if (watched != nullptr) stop_flag_at_report.push_back(watched->stop_requested.load());
  }
  std::vector<ServiceStatusReport> reports;
  // The stop flag as each report saw it, when `watched` is set.
  const ServiceRequests* watched = nullptr;
  std::vector<int> stop_flag_at_report;
};

ServiceStatusReport fields(uint32_t state, uint32_t accepted, uint32_t exit_code) {
  return ServiceStatusReport{state, accepted, exit_code, 0, 0, 10000};
}

TEST(ServiceStatusReports, CarryTheirExactFields) {
  EXPECT_EQ(starting_report(), fields(2, 0, 0));
  EXPECT_EQ(refused_report(), fields(1, 0, 5));
  EXPECT_EQ(running_report(), fields(4, 5, 0));
  EXPECT_EQ(stopping_report(), fields(3, 0, 0));
  EXPECT_EQ(stopped_report(false), fields(1, 0, 0));
  EXPECT_EQ(stopped_report(true), fields(1, 0, 1));
}

TEST(ServiceControlHandler, StopAndShutdownReportStoppingThenSetTheFlag) {
  for (const uint32_t control : {1u, 5u}) {
    ServiceRequests requests;
    RecordingReporter reporter;
    reporter.watched = &requests;
    EXPECT_EQ(handle_service_control(control, requests, &reporter), 0u);
    EXPECT_THAT(reporter.reports, ElementsAre(stopping_report()));
    // The supervisor may finish as soon as the flag is up; "stopping" must already be out.
    EXPECT_THAT(reporter.stop_flag_at_report, ElementsAre(0));
    EXPECT_EQ(requests.stop_requested.load(), 1);
    EXPECT_EQ(requests.agent_state_request.load(), 0);
    EXPECT_EQ(requests.stop_session_request.load(), 0);
  }
}

TEST(ServiceControlHandler, StopBeforeRegistrationStillSetsTheFlag) {
  ServiceRequests requests;
  EXPECT_EQ(handle_service_control(1, requests, nullptr), 0u);
  EXPECT_EQ(requests.stop_requested.load(), 1);
}

TEST(ServiceControlHandler, InterrogateAnswersWithoutAReport) {
  ServiceRequests requests;
  RecordingReporter reporter;
  EXPECT_EQ(handle_service_control(4, requests, &reporter), 0u);
  EXPECT_THAT(reporter.reports, IsEmpty());
  EXPECT_EQ(requests.stop_requested.load(), 0);
}

TEST(ServiceControlHandler, CustomControlsSetTheirRequests) {
  ServiceRequests requests;
  RecordingReporter reporter;
  EXPECT_EQ(handle_service_control(128, requests, &reporter), 0u);
  EXPECT_EQ(requests.stop_session_request.load(), 1);
  EXPECT_EQ(handle_service_control(129, requests, &reporter), 0u);
  EXPECT_EQ(requests.agent_state_request.load(), kAgentStateDisable);
  // The later agent-state control overwrites one the supervisor has not consumed.
  EXPECT_EQ(handle_service_control(130, requests, &reporter), 0u);
  EXPECT_EQ(requests.agent_state_request.load(), kAgentStateEnable);
  EXPECT_EQ(handle_service_control(129, requests, &reporter), 0u);
  EXPECT_EQ(requests.agent_state_request.load(), kAgentStateDisable);
  EXPECT_EQ(requests.stop_requested.load(), 0);
  EXPECT_THAT(reporter.reports, IsEmpty());
}

TEST(ServiceControlHandler, EverythingElseIsNotImplemented) {
  for (const uint32_t control :
       {0u, 2u, 3u, 6u, 7u, 10u, 15u, 16u, 32u, 64u, 127u, 131u, 200u, 255u, 256u, 0xFFFFFFFFu}) {
    ServiceRequests requests;
    RecordingReporter reporter;
    EXPECT_EQ(handle_service_control(control, requests, &reporter), 120u) << control;
    EXPECT_THAT(reporter.reports, IsEmpty());
    EXPECT_EQ(requests.stop_requested.load() + requests.agent_state_request.load() +
                  requests.stop_session_request.load(),
              0);
  }
}

class FakeBody : public ServiceBody {
 public:
  Status require_local_system() override { return step("local-system", local_system); }
  Status validate_install() override { return step("validate", validation); }
  Status run_supervisor() override { return step("supervise", supervisor); }

  Status local_system, validation, supervisor;
  std::vector<std::string> steps;

 private:
  Status step(const char* name, const Status& result) {
    steps.push_back(name);
    return result;
  }
};

TEST(ServiceBody, RunsChecksThenSupervisorBetweenItsReports) {
  RecordingReporter reporter;
  FakeBody body;
  run_service_body(reporter, body);
  EXPECT_THAT(body.steps, ElementsAre("local-system", "validate", "supervise"));
  EXPECT_THAT(reporter.reports,
              ElementsAre(starting_report(), running_report(), stopped_report(false)));
}

TEST(ServiceBody, SupervisorErrorEndsWithExitCodeOne) {
  RecordingReporter reporter;
  FakeBody body;
  body.supervisor = Error::file_system(3);
  run_service_body(reporter, body);
  EXPECT_THAT(reporter.reports,
              ElementsAre(starting_report(), running_report(), stopped_report(true)));
}

TEST(ServiceBody, RefusedWithoutLocalSystemOrValidInstallation) {
  {
    RecordingReporter reporter;
    FakeBody body;
    body.local_system =
        Error::message("This entry point requires the installed LocalSystem service");
    run_service_body(reporter, body);
    EXPECT_THAT(body.steps, ElementsAre("local-system"));
    EXPECT_THAT(reporter.reports, ElementsAre(starting_report(), refused_report()));
  }
  {
    RecordingReporter reporter;
    FakeBody body;
    body.validation = Error::message("Invalid installed service version");
    run_service_body(reporter, body);
    EXPECT_THAT(body.steps, ElementsAre("local-system", "validate"));
    EXPECT_THAT(reporter.reports, ElementsAre(starting_report(), refused_report()));
  }
}

// Both threads report through one StoppedLastReporter, as the service does: a stop control that
// arrives after the service stopped (on its own or refused) must not report anything.
TEST(StoppedLastReporter, NothingFollowsAStoppedReport) {
  for (const bool refused : {false, true}) {
    RecordingReporter sink;
    StoppedLastReporter reporter(sink);
    ServiceRequests requests;
    FakeBody body;
    if (refused) body.validation = Error::message("Invalid installed service version");
    body.supervisor = Error::file_system(3);
    run_service_body(reporter, body);
    EXPECT_EQ(handle_service_control(1, requests, &reporter), 0u);
    EXPECT_EQ(handle_service_control(4, requests, &reporter), 0u);
    EXPECT_EQ(requests.stop_requested.load(), 1);  // the request itself still counts
    if (refused) {
      EXPECT_THAT(sink.reports, ElementsAre(starting_report(), refused_report()));
    } else {
      EXPECT_THAT(sink.reports,
                  ElementsAre(starting_report(), running_report(), stopped_report(true)));
    }
  }
}

TEST(StoppedLastReporter, AStopBeforeTheEndStillReportsStoppingFirst) {
  RecordingReporter sink;
  StoppedLastReporter reporter(sink);
  ServiceRequests requests;
  reporter.report(running_report());
  EXPECT_EQ(handle_service_control(5, requests, &reporter), 0u);
  reporter.report(stopped_report(false));
  EXPECT_THAT(sink.reports,
              ElementsAre(running_report(), stopping_report(), stopped_report(false)));
}

}  // namespace
}  // namespace vornakel
