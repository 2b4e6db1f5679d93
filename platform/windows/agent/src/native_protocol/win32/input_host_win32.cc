// The "--input" mode: the input host on the process's own standard handles and the real desktop,
// displays, input injection and clocks.
#include "native_protocol/win32/input_host_win32.h"

#include <windows.h>

#include <memory>

#include "native_protocol/authorization/unix_clock.h"
#include "native_protocol/command_loop_seams.h"
#include "native_protocol/input_host.h"
#include "native_protocol/win32/std_handles_win32.h"
#include "service_host/modes.h"

namespace vornakel {
namespace {

class ThreadLastError final : public native_protocol::LastErrorReader {
 public:
  uint32_t last_error() override { return GetLastError(); }
};

}  // namespace

Status run_input_host() {
  namespace np = native_protocol;
  // Standard input goes on to the detached command reader, which may still be blocked in a read
  // when this returns; shared ownership keeps the source alive for it until the process ends.
  auto input = std::make_shared<np::StdInputSource>();
  np::StdOutputSink output;
  np::SystemUnixClock clock;
  np::SystemMonotonicClock monotonic;
  ThreadLastError last_error;
  std::unique_ptr<np::InputDesktop> desktop = np::win32::make_input_desktop();
  std::unique_ptr<np::DisplaySource> displays = np::win32::make_display_source();
  std::unique_ptr<np::InputBackendFactory> backends = np::win32::make_input_backend_factory();

  np::InputHostSeams seams{input,    output,    clock,     monotonic,
                           *desktop, *displays, *backends, last_error};
  return np::run_input_host_session(seams);
}

}  // namespace vornakel
