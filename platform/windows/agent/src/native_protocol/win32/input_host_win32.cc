#include "native_protocol/win32/input_host_win32.h"

#include "native_protocol/input_host_authorization.h"
#include "native_protocol/win32/std_handles_win32.h"

namespace vornakel::native_protocol {

Status run_input_host() {
  StdInputSource input;
  StdOutputSink output;
  SystemUnixClock clock;
  auto session = authorize_input_host(input, output, clock);
  if (!session.ok()) return session.take_error();
  // The desktop, the input backend and the command loop are not part of this build yet.
  return Error::message("The native input host has no input desktop support in this build");
}

}  // namespace vornakel::native_protocol
