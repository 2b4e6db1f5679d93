#include "native_protocol/command_queue_reader.h"

#include <exception>
#include <string>
#include <thread>
#include <utility>
#include <variant>

namespace vornakel::native_protocol {
namespace {

// Marks the reader as gone however the read loop ends, so that a loop waiting on an empty queue
// is never left waiting for a reader that will not post again.
class ReaderExit {
 public:
  explicit ReaderExit(CommandQueue& queue) : queue_(queue) {}
  ~ReaderExit() { queue_.reader_finished(); }
  ReaderExit(const ReaderExit&) = delete;
  ReaderExit& operator=(const ReaderExit&) = delete;

 private:
  CommandQueue& queue_;
};

void read_into_queue(ByteSource& source, CommandQueue& queue) {
  for (;;) {
    ReadOutcome outcome = read_framed_line(source, kCommandLineBound);
    if (auto* line = std::get_if<Line>(&outcome)) {
      if (!queue.post_line(std::move(line->bytes))) return;
      continue;
    }
    // End of input, an over-long or unterminated line and a read error all close the session the
    // same way; the error itself is of no use to anyone once the stream is unusable.
    queue.post_end_of_input();
    return;
  }
}

}  // namespace

void run_command_reader(ByteSource& source, CommandQueue& queue) {
  ReaderExit exit(queue);
  try {
    read_into_queue(source, queue);
  } catch (...) {
    // Only an allocation can throw here (a line, a queue item). An exception leaving a thread
    // would end the process with input still held; ending the reader instead closes the session
    // as end of input does, and the loop releases what it holds.
  }
}

Status start_command_reader(std::shared_ptr<ByteSource> source,
                            std::shared_ptr<CommandQueue> queue) {
  try {
    std::thread reader([source = std::move(source), queue = std::move(queue)] {
      run_command_reader(*source, *queue);
    });
    reader.detach();
  } catch (const std::exception& e) {
    // No thread (std::system_error) or no memory for its state (std::bad_alloc).
    return Error::message(std::string("the command reader thread could not start: ") + e.what());
  }
  return Ok();
}

}  // namespace vornakel::native_protocol
