#include <windows.h>

#include <atomic>
#include <string>

#include "common/win32/system_messages_win32.h"
#include "common/win32/wide.h"
#include "service_host/install_layout.h"
#include "service_host/local_system.h"
#include "service_host/modes.h"
#include "service_host/service_control.h"
#include "service_host/supervisor.h"

namespace vornakel {
namespace {

// Written once by service_main right after registration, read by the handler on the dispatcher
// thread. Both threads report through it, so the stopped report stays the last one.
std::atomic<ServiceStatusReporter*> service_reporter{nullptr};

class Win32StatusReporter : public ServiceStatusReporter {
 public:
  explicit Win32StatusReporter(SERVICE_STATUS_HANDLE handle) : handle_(handle) {}

  void report(const ServiceStatusReport& report) override {
    SERVICE_STATUS status{};
    status.dwServiceType = kServiceWin32OwnProcess;
    status.dwCurrentState = report.current_state;
    status.dwControlsAccepted = report.controls_accepted;
    status.dwWin32ExitCode = report.win32_exit_code;
    status.dwServiceSpecificExitCode = report.service_specific_exit_code;
    status.dwCheckPoint = report.check_point;
    status.dwWaitHint = report.wait_hint;
    // Nothing to do about a failed report: the service has no other channel.
    (void)::SetServiceStatus(handle_, &status);
  }

 private:
  SERVICE_STATUS_HANDLE handle_;
};

class Win32ServiceBody : public ServiceBody {
 public:
  Status require_local_system() override { return vornakel::require_local_system(); }
  Status validate_install() override {
    // The supervisor resolves the layout again; only the verdict matters here.
    Result<InstallLayout> layout = vornakel::validate_install();
    if (!layout.ok()) return layout.take_error();
    return Ok();
  }
  Status run_supervisor() override { return vornakel::run_supervisor(); }
};

DWORD WINAPI service_control_handler(DWORD control, DWORD, void*, void*) {
  return handle_service_control(control, service_requests(), service_reporter.load());
}

void WINAPI service_main(DWORD, LPWSTR*) {
  const SERVICE_STATUS_HANDLE handle = ::RegisterServiceCtrlHandlerExW(
      win32::to_wide(kServiceName).c_str(), service_control_handler, nullptr);
  // Without a status handle nothing can be reported; the control manager sees a service that
  // never reported a state.
  if (handle == nullptr ||
      handle == reinterpret_cast<SERVICE_STATUS_HANDLE>(INVALID_HANDLE_VALUE)) {
    return;
  }
  // Static: a control can still arrive while service_main returns. The service runs once per
  // process, so the handle it is built with is the only one.
  static Win32StatusReporter win32_reporter(handle);
  static StoppedLastReporter reporter(win32_reporter);
  service_reporter.store(&reporter);
  Win32ServiceBody body;
  run_service_body(reporter, body);
}

}  // namespace

Status run_service_dispatcher() {
  // The table takes a writable name; it lives until the dispatcher returns.
  std::wstring name = win32::to_wide(kServiceName);
  SERVICE_TABLE_ENTRYW table[] = {{name.data(), service_main}, {nullptr, nullptr}};
  if (!::StartServiceCtrlDispatcherW(table)) return win32::last_os_error();
  return Ok();
}

}  // namespace vornakel
