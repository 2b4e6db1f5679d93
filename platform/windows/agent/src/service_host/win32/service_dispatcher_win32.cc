#include <windows.h>

#include "common/win32/system_messages_win32.h"
#include "service_host/modes.h"

namespace vornakel {
namespace {

wchar_t kServiceName[] = L"VornakelConnectHost";

DWORD WINAPI service_control_handler(DWORD control, DWORD, void*, void*) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI service_main(DWORD, LPWSTR*) {
  // Without a status handle nothing can be reported; the control manager sees a service that
  // never reported a state.
  (void)::RegisterServiceCtrlHandlerExW(kServiceName, service_control_handler, nullptr);
}

}  // namespace

Status run_service_dispatcher() {
  SERVICE_TABLE_ENTRYW table[] = {{kServiceName, service_main}, {nullptr, nullptr}};
  if (!::StartServiceCtrlDispatcherW(table)) return win32::last_os_error();
  return Ok();
}

}  // namespace vornakel
