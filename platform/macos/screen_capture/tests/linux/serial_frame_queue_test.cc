#include "linux/serial_frame_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace vornakel::capture {
namespace {

using namespace std::chrono_literals;

// Waits for a condition the queue thread brings about; the bound only guards a hung test.
template <typename Predicate>
bool eventually(std::mutex& lock, std::condition_variable& changed, Predicate predicate) {
  std::unique_lock<std::mutex> hold(lock);
  return changed.wait_for(hold, 10s, predicate);
}

TEST(SerialFrameQueueTest, TasksRunInOrderOnOneThread) {
  SerialFrameQueue queue;
  std::mutex lock;
  std::condition_variable changed;
  std::vector<int> order;
  std::vector<std::thread::id> threads;
  for (int i = 0; i < 50; ++i) {
    queue.post([&, i] {
      std::lock_guard<std::mutex> hold(lock);
      order.push_back(i);
      threads.push_back(std::this_thread::get_id());
      changed.notify_all();
    });
  }
  ASSERT_TRUE(eventually(lock, changed, [&] { return order.size() == 50; }));
  for (int i = 0; i < 50; ++i) EXPECT_EQ(order[static_cast<size_t>(i)], i);
  for (const auto id : threads) EXPECT_EQ(id, threads.front());
  EXPECT_NE(threads.front(), std::this_thread::get_id());
}

TEST(SerialFrameQueueTest, CancelledTimerNeverFiresAgain) {
  SerialFrameQueue queue;
  std::atomic<int> firings{0};
  std::atomic<bool> running{false};
  std::atomic<bool> overlapped{false};
  auto timer = queue.startTimer(0ms, 1ms, [&] {
    running = true;
    ++firings;
    for (int i = 0; i < 2000; ++i) std::this_thread::yield();  // widen the window for cancel
    running = false;
  });
  while (firings < 3) std::this_thread::yield();
  timer.reset();
  // The destructor waited for a firing in progress, and nothing runs after it.
  if (running) overlapped = true;
  const int after = firings;
  std::mutex lock;
  std::condition_variable changed;
  bool drained = false;
  queue.post([&] {
    std::lock_guard<std::mutex> hold(lock);
    drained = true;
    changed.notify_all();
  });
  ASSERT_TRUE(eventually(lock, changed, [&] { return drained; }));
  EXPECT_FALSE(overlapped);
  EXPECT_EQ(firings, after);
}

TEST(SerialFrameQueueTest, TimerCancelledWhileTheQueueWaitsForIt) {
  SerialFrameQueue queue;
  std::atomic<int> firings{0};
  for (int i = 0; i < 20; ++i) {
    auto timer = queue.startTimer(50ms, 50ms, [&] { ++firings; });
    std::this_thread::yield();
  }
  EXPECT_EQ(firings, 0);
}

}  // namespace
}  // namespace vornakel::capture
