// What the window threads and the input watcher tell the indicator's main thread, the queue that
// carries it, and the two process-wide flags the windows share with the main thread.
#ifndef VORNAKEL_SERVICE_INDICATOR_INDICATOR_EVENT_H_
#define VORNAKEL_SERVICE_INDICATOR_INDICATOR_EVENT_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>

#include "native_protocol/framing.h"

namespace vornakel::service_indicator {

using native_protocol::DesktopName;
using native_protocol::WindowStage;

struct WindowReady {};
struct WindowFailed {
  WindowStage stage;
  DesktopName desktop;
  int32_t code;  // see window_failure_code
};
struct StopRequested {};
struct Closed {};
using IndicatorEvent = std::variant<WindowReady, WindowFailed, StopRequested, Closed>;

// The code a failed window setup reports, from the thread's last error right after the failing
// call: 0 stays 0, a positive Win32 code becomes its HRESULT, anything else (already an HRESULT) is
// kept. Access denied (5) gives -2147024891.
int32_t window_failure_code(uint32_t last_error);

// The main thread's side of the queue.
class IndicatorEventSource {
 public:
  virtual ~IndicatorEventSource() = default;
  // The next event, or nullopt when none arrived within `limit` or a producer woke the consumer
  // to look at the flags.
  virtual std::optional<IndicatorEvent> wait_for(std::chrono::milliseconds limit) = 0;
};

// Many producers, one consumer, in the order sent. Unbounded: its producers are the user's clicks
// and key presses and one event per thread, and a producer must never block inside a window
// procedure.
class IndicatorEventQueue final : public IndicatorEventSource {
 public:
  void send(IndicatorEvent event);
  // Ends the consumer's current or next wait without an event: a flag changed. Kept until a wait
  // returns because of it, so a wake while the consumer is busy is not lost.
  void wake();
  std::optional<IndicatorEvent> wait_for(std::chrono::milliseconds limit) override;

 private:
  std::mutex mutex_;
  std::condition_variable not_empty_;
  std::deque<IndicatorEvent> events_;
  bool woken_ = false;
};

// One producer's handle on the queue; every thread holds its own.
class IndicatorEventSender {
 public:
  explicit IndicatorEventSender(std::shared_ptr<IndicatorEventQueue> queue)
      : queue_(std::move(queue)) {}
  void send(IndicatorEvent event) const { queue_->send(event); }
  void wake() const { queue_->wake(); }

 private:
  std::shared_ptr<IndicatorEventQueue> queue_;
};

// `stopRequested` is only ever set; `inputPaused` is flipped by the pause buttons of both windows.
// The main thread only reads them.
class IndicatorFlags {
 public:
  void request_stop() { stop_requested_.store(1); }
  bool stop_requested() const { return stop_requested_.load() != 0; }
  void toggle_pause() { input_paused_.fetch_xor(1); }
  bool input_paused() const { return input_paused_.load() != 0; }

 private:
  std::atomic<uint8_t> stop_requested_{0};
  std::atomic<uint8_t> input_paused_{0};
};

}  // namespace vornakel::service_indicator

#endif  // VORNAKEL_SERVICE_INDICATOR_INDICATOR_EVENT_H_
