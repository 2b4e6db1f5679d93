#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace vornakel::capture {

// A repeating timer on a frame queue; destroying it cancels it. Once the destructor has returned
// the handler is not running and will not run again.
class QueueTimer {
 public:
  virtual ~QueueTimer() = default;
};

// The serial queue that runs the frame callback and the idle timer, so that the two never run at
// the same time.
class FrameQueue {
 public:
  virtual ~FrameQueue() = default;
  // Runs the task on the queue, after everything posted before it.
  virtual void post(std::function<void()> task) = 0;
  virtual std::unique_ptr<QueueTimer> startTimer(std::chrono::milliseconds first,
                                                 std::chrono::milliseconds interval,
                                                 std::function<void()> handler) = 0;
};

}  // namespace vornakel::capture
