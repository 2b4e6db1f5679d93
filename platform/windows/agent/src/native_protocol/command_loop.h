// The command loop of the input host: after the ready line it follows the lease and the input
// desktop, takes one command line at a time off the queue, and carries it out, host commands
// directly and remote input through translation, the authorization state and the input backend.
#ifndef VORNAKEL_NATIVE_PROTOCOL_COMMAND_LOOP_H_
#define VORNAKEL_NATIVE_PROTOCOL_COMMAND_LOOP_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string_view>

#include "common/result.h"
#include "native_protocol/authorization/authorization_state.h"
#include "native_protocol/authorization/ticket_verification.h"
#include "native_protocol/authorization/unix_clock.h"
#include "native_protocol/command_loop_seams.h"
#include "native_protocol/command_queue.h"
#include "native_protocol/control_gate.h"
#include "native_protocol/framing.h"
#include "native_protocol/injection/display_record.h"
#include "native_protocol/injection/display_source.h"
#include "native_protocol/injection/input_action.h"
#include "native_protocol/injection/input_backend_factory.h"
#include "native_protocol/injection/input_desktop.h"

namespace vornakel::native_protocol {

inline constexpr std::chrono::milliseconds kCommandWait{100};
inline constexpr std::size_t kCommandsPerSecond = 300;
// The input host never changes the permission epoch it was approved with.
inline constexpr uint64_t kPermissionEpoch = 1;

// The operating-system pieces the loop works through; all outlive the loop.
struct LoopSeams {
  UnixClock& clock;
  MonotonicClock& monotonic;
  CommandReceiver& commands;
  StatusSink& status;
  InputDesktop& desktop;
  DisplaySource& displays;
  InputBackendFactory& backends;
  LastErrorReader& last_error;
};

// Everything the loop reads and changes, owned by the start-up code and lent to the loop.
struct LoopContext {
  LoopContext(LoopSeams seams_in, VerifiedAuthorization session_in,
              AuthorizationState authorization_in, DisplayRecord display_in,
              std::unique_ptr<InputBackend> backend_in);

  LoopSeams seams;
  // The step in progress, or the outcome word of a refused dispatch; the error line carries it.
  LoopStage stage = LoopStage::kCheckLease;
  // Set only when a dispatched action is refused.
  uint32_t win32 = 0;
  VerifiedAuthorization session;
  AuthorizationState authorization;
  DisplayRecord display;
  std::unique_ptr<InputBackend> backend;
  ControlGate gate;
  uint64_t dispatch_counter = 0;
  // Arrival instants of the command lines of the last second, oldest first.
  std::deque<std::chrono::steady_clock::time_point> recent_commands;
};

// The attached desktop's name as the desktop line's word; nullopt for a name the host never
// attaches to.
std::optional<DesktopName> desktop_name_of(std::string_view name);

// Runs until the session is closed (success) or something fails (the error; `stage` and `win32`
// then say what the error line reports). Releasing held input afterwards is the caller's task.
Status run_command_loop(LoopContext& context);

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_COMMAND_LOOP_H_
