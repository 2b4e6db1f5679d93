// The "--indicator" mode on the process's own standard handles, the system clock and real window
// threads. Once the windows have been started the mode never returns: the process ends at once with
// the loop's status, without joining the window threads or the input watcher (it waits only for a
// window that is being set up to finish its setup).
#include <windows.h>

#include <memory>

#include "common/win32/standard_error.h"
#include "native_protocol/command_loop_seams.h"
#include "native_protocol/win32/std_handles_win32.h"
#include "service_host/modes.h"
#include "service_indicator/indicator_session.h"
#include "service_indicator/win32/window_thread_win32.h"

namespace vornakel {

Status run_indicator() {
  namespace np = native_protocol;
  namespace si = service_indicator;
  // Shared with the detached input watcher, which stays blocked in its read until the process ends.
  auto input = std::make_shared<np::StdInputSource>();
  np::StdOutputSink output;
  np::SystemMonotonicClock clock;
  si::win32::WindowThreadLauncher windows;
  si::IndicatorSeams seams{input, output, clock, windows};

  Result<si::IndicatorEnd> end = si::run_indicator_session(seams);
  if (!end.ok()) return end.take_error();
  if (end.value().error) win32::write_entry_error(*end.value().error);
  windows.settle_before_exit();
  ::ExitProcess(static_cast<UINT>(end.value().exit_status));
}

}  // namespace vornakel
