// The indicator's main loop: turns the windows' events and the two flags into status lines, and
// decides when and with which status the process ends.
#ifndef VORNAKEL_SERVICE_INDICATOR_EVENT_LOOP_H_
#define VORNAKEL_SERVICE_INDICATOR_EVENT_LOOP_H_

#include <chrono>

#include "common/result.h"
#include "native_protocol/command_loop_seams.h"
#include "native_protocol/framing.h"
#include "service_indicator/indicator_event.h"

namespace vornakel::service_indicator {

// While the windows start, the loop also watches the deadline.
inline constexpr std::chrono::milliseconds kEventWait{100};
// Once both are ready nothing is timed: the loop sleeps until an event arrives or a window wakes it
// after changing a flag, so an idle indicator costs nothing here.
inline constexpr std::chrono::milliseconds kReadyWait = std::chrono::hours(1);
// How long the two windows have to report ready.
inline constexpr std::chrono::seconds kReadyDeadline{5};

struct EventLoopSeams {
  IndicatorEventSource& events;
  const IndicatorFlags& flags;
  native_protocol::StatusSink& status;
  native_protocol::MonotonicClock& clock;
};

// Runs until a window fails, a `Closed` arrives, or the deadline passes before both windows are
// ready. Returns the exit status: 0 when both windows had reported ready before that, otherwise 1.
// A status line that cannot be written ends the loop with that error.
Result<int> run_event_loop(EventLoopSeams& seams,
                           std::chrono::steady_clock::time_point ready_deadline);

}  // namespace vornakel::service_indicator

#endif  // VORNAKEL_SERVICE_INDICATOR_EVENT_LOOP_H_
