// The few window-station calls that following the input desktop needs, behind a seam: desktop
// switches cannot be produced on demand in a test (and Wine never switches), so the rules are
// exercised against a fake.
#ifndef VORNAKEL_NATIVE_PROTOCOL_INJECTION_DESKTOP_API_H_
#define VORNAKEL_NATIVE_PROTOCOL_INJECTION_DESKTOP_API_H_

#include <cstdint>
#include <optional>
#include <string>

#include "common/result.h"

namespace vornakel::native_protocol {

class DesktopApi {
 public:
  // An open desktop handle, opaque to portable code. Never 0 for an open desktop.
  using Handle = uintptr_t;

  virtual ~DesktopApi() = default;
  // OpenInputDesktop(0, not inheritable, read objects | write objects | journal playback).
  // The error is the Win32 code of the failed call.
  virtual Result<Handle, uint32_t> open_input_desktop() = 0;
  // The desktop's name (up to the first NUL of a 256-unit buffer); nullopt when it cannot be read.
  virtual std::optional<std::u16string> desktop_name(Handle desktop) = 0;
  // SetThreadDesktop for the calling thread.
  virtual bool set_thread_desktop(Handle desktop) = 0;
  // CloseDesktop; a failure to close is ignored.
  virtual void close_desktop(Handle desktop) = 0;
};

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_INJECTION_DESKTOP_API_H_
