#include "service_host/service_control.h"

namespace vornakel {
namespace {

constexpr uint32_t kStateStopped = 1;
constexpr uint32_t kStateStartPending = 2;
constexpr uint32_t kStateStopPending = 3;
constexpr uint32_t kStateRunning = 4;
constexpr uint32_t kAcceptStopAndShutdown = 0x1 | 0x4;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kWaitHintMs = 10000;

ServiceStatusReport report(uint32_t state, uint32_t accepted, uint32_t exit_code) {
  ServiceStatusReport status;
  status.current_state = state;
  status.controls_accepted = accepted;
  status.win32_exit_code = exit_code;
  status.wait_hint = kWaitHintMs;
  return status;
}

}  // namespace

ServiceRequests& service_requests() {
  static ServiceRequests requests;
  return requests;
}

ServiceStatusReport starting_report() { return report(kStateStartPending, 0, 0); }
ServiceStatusReport refused_report() { return report(kStateStopped, 0, kErrorAccessDenied); }
ServiceStatusReport running_report() { return report(kStateRunning, kAcceptStopAndShutdown, 0); }
ServiceStatusReport stopping_report() { return report(kStateStopPending, 0, 0); }
ServiceStatusReport stopped_report(bool supervisor_failed) {
  return report(kStateStopped, 0, supervisor_failed ? 1 : 0);
}

void StoppedLastReporter::report(const ServiceStatusReport& status) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopped_) return;
  inner_.report(status);
  if (status.current_state == kStateStopped) stopped_ = true;
}

uint32_t handle_service_control(uint32_t control, ServiceRequests& requests,
                                ServiceStatusReporter* reporter) {
  switch (control) {
    case kControlStop:
    case kControlShutdown:
      // The report goes out before the flag is set, so a supervisor stopping on this request
      // reports stopped after it; a stop that comes after the service stopped on its own is
      // dropped by StoppedLastReporter.
      if (reporter != nullptr) reporter->report(stopping_report());
      requests.stop_requested.store(1);
      return kNoError;
    case kControlInterrogate:
      return kNoError;
    case kControlStopSession:
      requests.stop_session_request.store(1);
      return kNoError;
    case kControlAgentDisable:
      requests.agent_state_request.store(kAgentStateDisable);
      return kNoError;
    case kControlAgentEnable:
      requests.agent_state_request.store(kAgentStateEnable);
      return kNoError;
    default:
      return kErrorCallNotImplemented;
  }
}

void run_service_body(ServiceStatusReporter& reporter, ServiceBody& body) {
  reporter.report(starting_report());
  Status checked = body.require_local_system();
  if (checked.ok()) checked = body.validate_install();
  if (!checked.ok()) {
    reporter.report(refused_report());
    return;
  }
  reporter.report(running_report());
  const Status supervised = body.run_supervisor();
  reporter.report(stopped_report(!supervised.ok()));
}

}  // namespace vornakel
