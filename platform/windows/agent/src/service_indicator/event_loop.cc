#include "service_indicator/event_loop.h"

#include <optional>
#include <type_traits>

namespace vornakel::service_indicator {
namespace {

namespace np = native_protocol;

class EventLoop {
 public:
  explicit EventLoop(EventLoopSeams& seams) : seams_(seams) {}

  Result<int> run(std::chrono::steady_clock::time_point ready_deadline) {
    for (;;) {
      std::optional<IndicatorEvent> event =
          seams_.events.wait_for(ready_ < 2 ? kEventWait : kReadyWait);
      std::optional<Result<int>> end;
      if (event) {
        end = std::visit([this](const auto& e) { return on(e); }, *event);
      } else {
        end = on_quiet_wait();
      }
      if (end) return std::move(*end);
      if (ready_ < 2 && seams_.clock.now() >= ready_deadline) return 1;
    }
  }

 private:
  using Step = std::optional<Result<int>>;

  int exit_status() const { return ready_ >= 2 ? 0 : 1; }

  Step on(const WindowReady&) {
    if (++ready_ == 2) {
      if (Step failed = write(np::StatusLine::ready())) return failed;
    }
    return report_pause();
  }

  Step on(const WindowFailed& failed) {
    const int status = exit_status();
    if (Step unwritten =
            write(np::StatusLine::window_error(failed.stage, failed.desktop, failed.code))) {
      return unwritten;
    }
    return Result<int>(status);
  }

  Step on(const StopRequested&) {
    if (Step failed = report_stop()) return failed;
    return report_pause();
  }

  Step on(const Closed&) { return Result<int>(exit_status()); }

  // A window whose placement failed sets the flag without an event and wakes the loop; it is
  // noticed here.
  Step on_quiet_wait() {
    if (seams_.flags.stop_requested()) {
      if (Step failed = report_stop()) return failed;
    }
    return report_pause();
  }

  Step report_stop() {
    if (stop_reported_) return std::nullopt;
    stop_reported_ = true;
    return write(np::StatusLine::stop());
  }

  // Two flips within one pass cancel out and are never reported; what is reported always ends
  // equal to the flag.
  Step report_pause() {
    const bool paused = seams_.flags.input_paused();
    if (paused == pause_reported_) return std::nullopt;
    pause_reported_ = paused;
    return write(np::StatusLine::pause(paused));
  }

  Step write(const np::StatusLine& line) {
    Status written = np::write_status_line(seams_.status, line);
    if (!written.ok()) return Result<int>(written.take_error());
    return std::nullopt;
  }

  EventLoopSeams& seams_;
  int ready_ = 0;
  bool stop_reported_ = false;
  bool pause_reported_ = false;
};

}  // namespace

Result<int> run_event_loop(EventLoopSeams& seams,
                           std::chrono::steady_clock::time_point ready_deadline) {
  return EventLoop(seams).run(ready_deadline);
}

}  // namespace vornakel::service_indicator
