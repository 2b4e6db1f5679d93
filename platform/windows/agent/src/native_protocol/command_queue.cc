#include "native_protocol/command_queue.h"

#include <utility>

namespace vornakel::native_protocol {

CommandQueue::CommandQueue(std::size_t capacity) : capacity_(capacity == 0 ? 1 : capacity) {}

bool CommandQueue::post(Item item) {
  std::unique_lock lock(mutex_);
  not_full_.wait(lock, [this] { return loop_gone_ || items_.size() < capacity_; });
  if (loop_gone_) return false;
  items_.push_back(std::move(item));
  lock.unlock();
  not_empty_.notify_one();
  return true;
}

bool CommandQueue::post_line(std::string line) { return post(Item{false, std::move(line)}); }

bool CommandQueue::post_end_of_input() { return post(Item{true, {}}); }

void CommandQueue::reader_finished() {
  {
    std::lock_guard lock(mutex_);
    reader_gone_ = true;
  }
  not_empty_.notify_all();
  reader_done_.notify_all();
}

Received CommandQueue::wait_for(std::chrono::milliseconds limit, std::string& line) {
  std::unique_lock lock(mutex_);
  if (!not_empty_.wait_for(lock, limit, [this] { return !items_.empty() || reader_gone_; })) {
    return Received::kNothing;
  }
  // Lines posted before the reader stopped are still delivered; only an empty queue with no reader
  // behind it means the stream is over.
  if (items_.empty()) return Received::kEndOfInput;
  Item item = std::move(items_.front());
  items_.pop_front();
  lock.unlock();
  not_full_.notify_one();
  if (item.end_of_input) return Received::kEndOfInput;
  line = std::move(item.line);
  return Received::kLine;
}

void CommandQueue::loop_finished() {
  {
    std::lock_guard lock(mutex_);
    loop_gone_ = true;
    items_.clear();
  }
  not_full_.notify_all();
}

bool CommandQueue::wait_reader_finished(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return reader_done_.wait_for(lock, limit, [this] { return reader_gone_; });
}

CommandQueueReceiver::CommandQueueReceiver(std::shared_ptr<CommandQueue> queue)
    : queue_(std::move(queue)) {}

CommandQueueReceiver::~CommandQueueReceiver() { queue_->loop_finished(); }

Received CommandQueueReceiver::receive(std::chrono::milliseconds limit, std::string& line) {
  return queue_->wait_for(limit, line);
}

}  // namespace vornakel::native_protocol
