// The input watcher: after the session line the agent writes nothing more, so whatever standard
// input does next (a byte, the end, an error) ends the indicator.
#ifndef VORNAKEL_SERVICE_INDICATOR_INPUT_WATCHER_H_
#define VORNAKEL_SERVICE_INDICATOR_INPUT_WATCHER_H_

#include <memory>

#include "common/result.h"
#include "native_protocol/framing.h"
#include "service_indicator/indicator_event.h"

namespace vornakel::service_indicator {

// One blocking fill of the same buffered reader that read the session line (so bytes already
// buffered behind that line count at once), then `Closed`. Runs on the calling thread.
void run_input_watcher(native_protocol::ByteSource& input, const IndicatorEventSender& events);

// Starts run_input_watcher on a detached thread that keeps its own reference to the reader: it is
// never joined, the process ends while it may still be blocked in the read.
Status start_input_watcher(std::shared_ptr<native_protocol::ByteSource> input,
                           IndicatorEventSender events);

}  // namespace vornakel::service_indicator

#endif  // VORNAKEL_SERVICE_INDICATOR_INPUT_WATCHER_H_
