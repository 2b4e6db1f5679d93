// One indicator window thread per desktop: it attaches to its desktop, builds the window, its
// controls and the stop shortcut, reports ready (or the step that failed), and runs the window's
// message loop.
#ifndef VORNAKEL_SERVICE_INDICATOR_WIN32_WINDOW_THREAD_WIN32_H_
#define VORNAKEL_SERVICE_INDICATOR_WIN32_WINDOW_THREAD_WIN32_H_

#include <chrono>

#include "common/result.h"
#include "service_indicator/indicator_session.h"

namespace vornakel::service_indicator::win32 {

// Runs one window thread's whole life on the calling thread.
void run_window_thread(WindowThreadStart start);

// Starts each window on a detached thread of its own: the process ends without joining them.
class WindowThreadLauncher final : public WindowLauncher {
 public:
  Status start_window(WindowThreadStart start) override;

  // Waits, at most kSettleBound, until no window is in the middle of its setup, and lets none begin
  // after it. A thread ended by the process's exit while it builds windows can hold the window
  // system's locks (under Wine, X11's and the heap's), and the exit then hangs until the process
  // is killed, which loses the exit status. A window that is set up and waiting for messages is
  // safe to end.
  void settle_before_exit();

  static constexpr std::chrono::milliseconds kSettleBound{2000};
};

}  // namespace vornakel::service_indicator::win32

#endif  // VORNAKEL_SERVICE_INDICATOR_WIN32_WINDOW_THREAD_WIN32_H_
