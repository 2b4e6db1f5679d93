#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "screen_source/frame_queue.h"

namespace vornakel::capture {

// The stand-in for a serial dispatch queue: one thread runs posted tasks in order and fires
// repeating timers between them, so a frame and a timer firing never overlap.
class SerialFrameQueue final : public FrameQueue {
 public:
  SerialFrameQueue();
  ~SerialFrameQueue() override;
  SerialFrameQueue(const SerialFrameQueue&) = delete;
  SerialFrameQueue& operator=(const SerialFrameQueue&) = delete;

  void post(std::function<void()> task) override;
  std::unique_ptr<QueueTimer> startTimer(std::chrono::milliseconds first,
                                         std::chrono::milliseconds interval,
                                         std::function<void()> handler) override;

 private:
  class Timer;
  struct TimerEntry {
    std::chrono::steady_clock::time_point next;
    std::chrono::milliseconds interval;
    std::shared_ptr<std::function<void()>> handler;
  };

  void run();
  void cancel(uint64_t id);

  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> tasks_;
  std::map<uint64_t, TimerEntry> timers_;
  uint64_t nextTimerId_ = 1;
  uint64_t firingTimer_ = 0;  // the timer whose handler runs now, 0 for none
  bool stopping_ = false;
  std::thread worker_;  // last: started once everything above exists
};

}  // namespace vornakel::capture
