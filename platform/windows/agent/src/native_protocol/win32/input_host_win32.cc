#include "native_protocol/win32/input_host_win32.h"

#include <windows.h>

#include <memory>

#include "native_protocol/command_loop_seams.h"
#include "native_protocol/input_host.h"
#include "native_protocol/unix_clock.h"
#include "native_protocol/win32/std_handles_win32.h"

namespace vornakel::native_protocol {
namespace {

class ThreadLastError final : public LastErrorReader {
 public:
  uint32_t last_error() override { return GetLastError(); }
};

}  // namespace

Status run_input_host() {
  // Standard input goes on to the detached command reader, which may still be blocked in a read
  // when this returns; shared ownership keeps the source alive for it until the process ends.
  auto input = std::make_shared<StdInputSource>();
  StdOutputSink output;
  SystemUnixClock clock;
  SystemMonotonicClock monotonic;
  ThreadLastError last_error;
  std::unique_ptr<InputDesktop> desktop = win32::make_input_desktop();
  std::unique_ptr<DisplaySource> displays = win32::make_display_source();
  std::unique_ptr<InputBackendFactory> backends = win32::make_input_backend_factory();

  InputHostSeams seams{input, output, clock, monotonic, *desktop, *displays, *backends, last_error};
  return run_input_host_session(seams);
}

}  // namespace vornakel::native_protocol
