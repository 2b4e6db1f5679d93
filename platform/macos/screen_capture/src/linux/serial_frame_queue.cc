#include "linux/serial_frame_queue.h"

namespace vornakel::capture {

class SerialFrameQueue::Timer final : public QueueTimer {
 public:
  Timer(SerialFrameQueue& queue, uint64_t id) : queue_(queue), id_(id) {}
  ~Timer() override { queue_.cancel(id_); }

 private:
  SerialFrameQueue& queue_;
  uint64_t id_;
};

SerialFrameQueue::SerialFrameQueue() : worker_([this] { run(); }) {}

SerialFrameQueue::~SerialFrameQueue() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

void SerialFrameQueue::post(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    tasks_.push_back(std::move(task));
  }
  changed_.notify_all();
}

std::unique_ptr<QueueTimer> SerialFrameQueue::startTimer(std::chrono::milliseconds first,
                                                         std::chrono::milliseconds interval,
                                                         std::function<void()> handler) {
  uint64_t id = 0;
  {
    std::lock_guard<std::mutex> hold(lock_);
    id = nextTimerId_++;
    timers_[id] = TimerEntry{std::chrono::steady_clock::now() + first, interval,
                             std::make_shared<std::function<void()>>(std::move(handler))};
  }
  changed_.notify_all();
  return std::make_unique<Timer>(*this, id);
}

void SerialFrameQueue::cancel(uint64_t id) {
  std::unique_lock<std::mutex> hold(lock_);
  timers_.erase(id);
  // From another thread, wait until a firing that already began has ended.
  if (std::this_thread::get_id() != worker_.get_id()) {
    changed_.wait(hold, [&] { return firingTimer_ != id; });
  }
}

void SerialFrameQueue::run() {
  std::unique_lock<std::mutex> hold(lock_);
  while (!stopping_) {
    if (!tasks_.empty()) {
      std::function<void()> task = std::move(tasks_.front());
      tasks_.pop_front();
      hold.unlock();
      task();
      task = nullptr;  // released outside the lock
      hold.lock();
      continue;
    }
    auto due = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (due == timers_.end() || it->second.next < due->second.next) due = it;
    }
    if (due == timers_.end()) {
      changed_.wait(hold);
      continue;
    }
    const auto now = std::chrono::steady_clock::now();
    if (due->second.next > now) {
      // A copy: the entry may be erased by a cancel while this thread waits.
      const auto deadline = due->second.next;
      changed_.wait_until(hold, deadline);
      continue;
    }
    // Like a dispatch timer that fell behind: one firing, then the next interval from now.
    due->second.next += due->second.interval;
    if (due->second.next <= now) due->second.next = now + due->second.interval;
    const auto handler = due->second.handler;
    firingTimer_ = due->first;
    hold.unlock();
    (*handler)();
    hold.lock();
    firingTimer_ = 0;
    changed_.notify_all();
  }
}

}  // namespace vornakel::capture
