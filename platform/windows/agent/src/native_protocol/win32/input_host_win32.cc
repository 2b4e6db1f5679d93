// The "--input" mode as far as this build goes: the authorization phase on the process's own
// standard handles. The desktop, the input backend and the command loop follow it.
#include "native_protocol/input_host_authorization.h"
#include "native_protocol/win32/std_handles_win32.h"
#include "service_host/modes.h"

namespace vornakel {

Status run_input_host() {
  native_protocol::StdInputSource input;
  native_protocol::StdOutputSink output;
  native_protocol::SystemUnixClock clock;
  auto session = native_protocol::authorize_input_host(input, output, clock);
  if (!session.ok()) return session.take_error();
  return Error::message("The native input host has no input desktop support in this build");
}

}  // namespace vornakel
