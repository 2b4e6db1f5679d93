#include "service_indicator/indicator_event.h"

#include "common/error.h"

namespace vornakel::service_indicator {

int32_t window_failure_code(uint32_t last_error) {
  return static_cast<int32_t>(hresult_from_win32(last_error));
}

void IndicatorEventQueue::send(IndicatorEvent event) {
  {
    std::lock_guard lock(mutex_);
    events_.push_back(event);
  }
  not_empty_.notify_one();
}

void IndicatorEventQueue::wake() {
  {
    std::lock_guard lock(mutex_);
    woken_ = true;
  }
  not_empty_.notify_one();
}

std::optional<IndicatorEvent> IndicatorEventQueue::wait_for(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  if (!not_empty_.wait_for(lock, limit, [this] { return woken_ || !events_.empty(); })) {
    return std::nullopt;
  }
  // Events first; a wake stays pending behind them, so the flags are looked at after the last.
  if (events_.empty()) {
    woken_ = false;
    return std::nullopt;
  }
  IndicatorEvent event = events_.front();
  events_.pop_front();
  return event;
}

}  // namespace vornakel::service_indicator
