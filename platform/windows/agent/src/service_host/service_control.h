// The service's status reports and the rules of its control handler, kept free of the service
// control manager so that they can be tested anywhere.
#ifndef VORNAKEL_SERVICE_HOST_SERVICE_CONTROL_H_
#define VORNAKEL_SERVICE_HOST_SERVICE_CONTROL_H_

#include <cstdint>
#include <mutex>

#include "common/result.h"
#include "service_host/service_requests.h"

namespace vornakel {

inline constexpr char16_t kServiceName[] = u"VornakelConnectHost";

// Control codes the service acts on.
inline constexpr uint32_t kControlStop = 1;
inline constexpr uint32_t kControlInterrogate = 4;
inline constexpr uint32_t kControlShutdown = 5;
inline constexpr uint32_t kControlStopSession = 128;
inline constexpr uint32_t kControlAgentDisable = 129;
inline constexpr uint32_t kControlAgentEnable = 130;

inline constexpr uint32_t kNoError = 0;
inline constexpr uint32_t kErrorCallNotImplemented = 120;

// The fields of SERVICE_STATUS after the service type (always SERVICE_WIN32_OWN_PROCESS), in order.
struct ServiceStatusReport {
  uint32_t current_state = 0;
  uint32_t controls_accepted = 0;
  uint32_t win32_exit_code = 0;
  uint32_t service_specific_exit_code = 0;
  uint32_t check_point = 0;
  uint32_t wait_hint = 0;

  bool operator==(const ServiceStatusReport&) const = default;
};

inline constexpr uint32_t kServiceWin32OwnProcess = 0x10;

ServiceStatusReport starting_report();
// LocalSystem check or installation validation failed: access denied.
ServiceStatusReport refused_report();
ServiceStatusReport running_report();
ServiceStatusReport stopping_report();
ServiceStatusReport stopped_report(bool supervisor_failed);

// Sends a status report to the service control manager. A failed report is ignored by design: the
// service has no other channel to complain through.
class ServiceStatusReporter {
 public:
  virtual ~ServiceStatusReporter() = default;
  virtual void report(const ServiceStatusReport& status) = 0;
};

// The one reporter both threads report through. The control handler (dispatcher thread) and the
// service thread may report at the same moment, and a supervisor that fails on its own sends the
// stopped report while a stop control may still be on its way: once a stopped report has gone
// out, Windows may already have let the process go, and any later report can crash it. So reports
// are sent one at a time, and nothing is sent after a stopped report.
class StoppedLastReporter final : public ServiceStatusReporter {
 public:
  explicit StoppedLastReporter(ServiceStatusReporter& inner) : inner_(inner) {}
  void report(const ServiceStatusReport& status) override;

 private:
  ServiceStatusReporter& inner_;
  std::mutex mutex_;
  bool stopped_ = false;
};

// The rules of the control handler. `reporter` is null until the handler's registration handed
// out a status handle. Returns the Win32 status the handler gives back. Never waits.
uint32_t handle_service_control(uint32_t control, ServiceRequests& requests,
                                ServiceStatusReporter* reporter);

// What the service thread runs between the handler's registration and its return.
class ServiceBody {
 public:
  virtual ~ServiceBody() = default;
  virtual Status require_local_system() = 0;
  virtual Status validate_install() = 0;
  virtual Status run_supervisor() = 0;
};

// Reports starting, checks, reports running, supervises, reports stopped. Errors are not
// reported anywhere but in the final status's exit code.
void run_service_body(ServiceStatusReporter& reporter, ServiceBody& body);

}  // namespace vornakel

#endif  // VORNAKEL_SERVICE_HOST_SERVICE_CONTROL_H_
