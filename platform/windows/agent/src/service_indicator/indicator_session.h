// The "--indicator" mode from its brand to its end: the stage lines, the session line and its
// checks, the two window threads and the input watcher, and the event loop.
#ifndef VORNAKEL_SERVICE_INDICATOR_INDICATOR_SESSION_H_
#define VORNAKEL_SERVICE_INDICATOR_INDICATOR_SESSION_H_

#include <memory>
#include <optional>
#include <string>

#include "common/result.h"
#include "native_protocol/command_loop_seams.h"
#include "native_protocol/framing.h"
#include "service_indicator/brand.h"
#include "service_indicator/indicator_event.h"

namespace vornakel::service_indicator {

// Everything one window thread is given; it keeps its own copies.
struct WindowThreadStart {
  DesktopName desktop;
  Brand brand;
  std::string details;  // the details text, UTF-8, without the shortcut line
  IndicatorEventSender events;
  std::shared_ptr<IndicatorFlags> flags;
};

// Starts the window thread of one desktop and returns without waiting for it; the thread reports
// through the queue. An error means no thread was started.
class WindowLauncher {
 public:
  virtual ~WindowLauncher() = default;
  virtual Status start_window(WindowThreadStart start) = 0;
};

struct IndicatorSeams {
  // Shared with the detached input watcher, which may outlive this call.
  std::shared_ptr<native_protocol::ByteSource> input;
  native_protocol::StatusSink& status;
  native_protocol::MonotonicClock& clock;
  WindowLauncher& windows;
};

// How the indicator ends once its windows have been started. The process must then end at once
// with `exit_status` (the window threads are never joined); `error` is the reason of an unusual
// end (standard output failed, a thread could not start), worth reporting on standard error.
struct IndicatorEnd {
  int exit_status = 1;
  std::optional<Error> error;
};

// An error is a setup failure before any window was started (brand, session line, validation, a
// failed stage line), for the process entry to report.
Result<IndicatorEnd> run_indicator_session(IndicatorSeams& seams,
                                           std::string_view brand_text = kBuiltinBrandText);

}  // namespace vornakel::service_indicator

#endif  // VORNAKEL_SERVICE_INDICATOR_INDICATOR_SESSION_H_
