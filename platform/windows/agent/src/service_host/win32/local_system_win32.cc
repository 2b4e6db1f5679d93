#include <windows.h>

#include "common/win32/system_messages_win32.h"
#include "service_host/local_system.h"
#include "service_host/win32/token_user.h"

namespace vornakel {

Status require_local_system() {
  Result<win32::TokenUserBuffer> token_user = win32::read_process_token_user();
  if (!token_user.ok()) return token_user.take_error();
  if (!::IsWellKnownSid(token_user.value().user()->User.Sid, WinLocalSystemSid)) {
    return Error::message(kRequiresLocalSystem);
  }
  return Ok();
}

Status attach_interactive_window_station() {
  constexpr ACCESS_MASK kAccess = WINSTA_ENUMDESKTOPS | WINSTA_READATTRIBUTES |
                                  WINSTA_WRITEATTRIBUTES | WINSTA_ACCESSGLOBALATOMS |
                                  WINSTA_ENUMERATE | WINSTA_READSCREEN;
  static_assert(kAccess == 0x333);
  HWINSTA station = ::OpenWindowStationW(L"WinSta0", FALSE, kAccess);
  if (station == nullptr) return win32::last_os_error();
  if (!::SetProcessWindowStation(station)) {
    const Error error = win32::last_os_error();
    ::CloseWindowStation(station);
    return error;
  }
  // Never closed once attached: the process keeps using the window station until it ends, and
  // closing the station a process is attached to is refused anyway.
  return Ok();
}

}  // namespace vornakel
