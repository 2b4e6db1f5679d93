#include "service_indicator/input_watcher.h"

#include <string>
#include <system_error>
#include <thread>
#include <utility>

namespace vornakel::service_indicator {

void run_input_watcher(native_protocol::ByteSource& input, const IndicatorEventSender& events) {
  // What the read returned does not matter: the agent has nothing more to say.
  (void)input.fill();
  events.send(Closed{});
}

Status start_input_watcher(std::shared_ptr<native_protocol::ByteSource> input,
                           IndicatorEventSender events) {
  try {
    std::thread watcher([input = std::move(input), events = std::move(events)] {
      run_input_watcher(*input, events);
    });
    watcher.detach();
  } catch (const std::system_error& e) {
    return Error::message(std::string("the input watcher thread could not start: ") + e.what());
  }
  return Ok();
}

}  // namespace vornakel::service_indicator
