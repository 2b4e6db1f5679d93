// The native input host from its start record to its end: the authorization phase, the opening of
// the input desktop and the first backend, the ready line, the command reader and the command loop,
// and the one error line and the release of held input that follow the loop.
#ifndef VORNAKEL_NATIVE_PROTOCOL_INPUT_HOST_H_
#define VORNAKEL_NATIVE_PROTOCOL_INPUT_HOST_H_

#include <memory>

#include "common/result.h"
#include "native_protocol/authorization/unix_clock.h"
#include "native_protocol/command_loop.h"
#include "native_protocol/command_loop_seams.h"
#include "native_protocol/framing.h"
#include "native_protocol/injection/display_source.h"
#include "native_protocol/injection/input_backend_factory.h"
#include "native_protocol/injection/input_desktop.h"
#include "native_protocol/input_host_authorization.h"

namespace vornakel::native_protocol {

// The error of a session that ran out of memory (the one exception this program can meet).
inline constexpr char kInputHostOutOfMemory[] = "The input host ran out of memory";

// Everything the host works through. Standard input is shared with the detached reader thread,
// which may outlive this call.
struct InputHostSeams {
  std::shared_ptr<ByteSource> input;
  StatusSink& status;
  UnixClock& clock;
  MonotonicClock& monotonic;
  InputDesktop& desktop;
  DisplaySource& displays;
  InputBackendFactory& backends;
  LastErrorReader& last_error;
};

// Runs the command loop, then ends the session as every ending must: held input released on the
// desktop the person is on (the input desktop is followed once more first), then the one error
// line if the loop failed. No exception leaves it; running out of memory ends the loop like any
// failure, and neither the release nor the error line needs memory.
Status run_session_loop(LoopContext& context);

// Everything after the authorization phase, from the first attachment to the input desktop on.
Status run_authorized_input_host(InputHostSeams& seams, AuthorizedSession session);

// Runs the whole host. Success means the agent closed the session; an error is handed to the
// process entry, after whatever status line the failing step writes. No exception leaves it, and
// held input is released on every way out of the loop, an allocation failure included.
Status run_input_host_session(InputHostSeams& seams);

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_INPUT_HOST_H_
