#pragma once

#include <dispatch/dispatch.h>

#include "screen_source/frame_queue.h"

namespace vornakel::capture {

// The screen source's serial queue: user-interactive, no target queue, autorelease behaviour
// inherited.
class DispatchFrameQueue final : public FrameQueue {
 public:
  DispatchFrameQueue();

  dispatch_queue_t queue() const { return queue_; }

  void post(std::function<void()> task) override;
  std::unique_ptr<QueueTimer> startTimer(std::chrono::milliseconds first,
                                         std::chrono::milliseconds interval,
                                         std::function<void()> handler) override;

  bool isCurrent() const;

 private:
  dispatch_queue_t queue_;
};

}  // namespace vornakel::capture
