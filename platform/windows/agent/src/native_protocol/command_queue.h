// The hand-off between the command reader thread and the command loop: a bounded queue of command
// lines closed by one end-of-input marker. The reader is detached and may outlive the loop, so the
// queue is shared; each side tells the other when it has gone instead of being joined.
#ifndef VORNAKEL_NATIVE_PROTOCOL_COMMAND_QUEUE_H_
#define VORNAKEL_NATIVE_PROTOCOL_COMMAND_QUEUE_H_

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace vornakel::native_protocol {

// What one wait of the loop yields.
enum class Received {
  kNothing,     // the wait ran out
  kLine,        // one command line (line feed included)
  kEndOfInput,  // the marker arrived, or the reader has gone without one
};

// The loop's view of the command stream.
class CommandReceiver {
 public:
  virtual ~CommandReceiver() = default;
  // Waits at most `limit` for the next item; a line is stored in `line`.
  virtual Received receive(std::chrono::milliseconds limit, std::string& line) = 0;
};

class CommandQueue {
 public:
  static constexpr std::size_t kCapacity = 64;

  explicit CommandQueue(std::size_t capacity = kCapacity);
  CommandQueue(const CommandQueue&) = delete;
  CommandQueue& operator=(const CommandQueue&) = delete;

  // Reader side. Both block while the queue is full; they return false once the loop has gone,
  // which tells the reader to stop.
  bool post_line(std::string line);
  bool post_end_of_input();
  // Called as the reader stops for any reason; a loop waiting on an empty queue then ends.
  void reader_finished();

  // Loop side. Waits at most `limit` (a real wait: this is the loop's only pause).
  Received wait_for(std::chrono::milliseconds limit, std::string& line);
  // Called as the loop goes; wakes a reader blocked on a full queue.
  void loop_finished();

  // Whether the reader has stopped, waiting at most `limit` for it.
  bool wait_reader_finished(std::chrono::milliseconds limit);

 private:
  struct Item {
    bool end_of_input = false;
    std::string line;
  };
  bool post(Item item);

  const std::size_t capacity_;
  std::mutex mutex_;
  std::condition_variable not_full_;
  std::condition_variable not_empty_;
  std::condition_variable reader_done_;
  std::deque<Item> items_;
  bool loop_gone_ = false;
  bool reader_gone_ = false;
};

// The loop's end of a shared queue. Destroying it tells the reader that nobody listens any more.
class CommandQueueReceiver final : public CommandReceiver {
 public:
  explicit CommandQueueReceiver(std::shared_ptr<CommandQueue> queue);
  ~CommandQueueReceiver() override;
  CommandQueueReceiver(const CommandQueueReceiver&) = delete;
  CommandQueueReceiver& operator=(const CommandQueueReceiver&) = delete;

  Received receive(std::chrono::milliseconds limit, std::string& line) override;

 private:
  std::shared_ptr<CommandQueue> queue_;
};

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_COMMAND_QUEUE_H_
