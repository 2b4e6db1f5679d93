#include "macos/dispatch_frame_queue.h"

#include <utility>

namespace vornakel::capture {
namespace {

// Marks the frame queue so that a timer cancelled on it does not wait for itself.
char frameQueueKey;

class DispatchTimer final : public QueueTimer {
 public:
  DispatchTimer(dispatch_source_t source, const DispatchFrameQueue& queue)
      : source_(source), queue_(queue) {}
  ~DispatchTimer() override {
    dispatch_source_cancel(source_);
    // Cancelling does not interrupt a handler that already runs: wait for it from elsewhere.
    if (!queue_.isCurrent()) dispatch_sync_f(queue_.queue(), nullptr, [](void*) {});
  }

 private:
  dispatch_source_t source_;
  const DispatchFrameQueue& queue_;
};

}  // namespace

DispatchFrameQueue::DispatchFrameQueue() {
  dispatch_queue_attr_t attributes =
      dispatch_queue_attr_make_with_qos_class(DISPATCH_QUEUE_SERIAL, QOS_CLASS_USER_INTERACTIVE, 0);
  queue_ = dispatch_queue_create("com.vornakel.connect.screen-capture.frames", attributes);
  dispatch_queue_set_specific(queue_, &frameQueueKey, &frameQueueKey, nullptr);
}

bool DispatchFrameQueue::isCurrent() const {
  return dispatch_get_specific(&frameQueueKey) == &frameQueueKey;
}

void DispatchFrameQueue::post(std::function<void()> task) {
  dispatch_async(queue_, ^{
    task();
  });
}

std::unique_ptr<QueueTimer> DispatchFrameQueue::startTimer(std::chrono::milliseconds first,
                                                           std::chrono::milliseconds interval,
                                                           std::function<void()> handler) {
  dispatch_source_t source = dispatch_source_create(DISPATCH_SOURCE_TYPE_TIMER, 0, 0, queue_);
  const auto firstNs = std::chrono::duration_cast<std::chrono::nanoseconds>(first).count();
  const auto intervalNs = std::chrono::duration_cast<std::chrono::nanoseconds>(interval).count();
  dispatch_source_set_timer(source, dispatch_time(DISPATCH_TIME_NOW, firstNs),
                            static_cast<uint64_t>(intervalNs), 0);
  dispatch_source_set_event_handler(source, ^{
    handler();
  });
  dispatch_resume(source);
  return std::make_unique<DispatchTimer>(source, *this);
}

}  // namespace vornakel::capture
