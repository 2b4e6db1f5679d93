// The command reader on its own detached thread feeding the queue, as the host runs it. Built a
// second time under ThreadSanitizer (queue_tsan.cmake), where any unsynchronised access between
// the reader and the loop side fails the test.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "native_protocol/command_queue.h"
#include "native_protocol/command_queue_reader.h"
#include "native_protocol/support/queue_byte_source.h"

namespace vornakel::native_protocol {
namespace {

using std::chrono::milliseconds;
using testing::QueueByteSource;

constexpr milliseconds kGenerous{10000};

std::string numbered_lines(int count) {
  std::string bytes;
  for (int i = 0; i < count; ++i) bytes += "{\"n\":" + std::to_string(i) + "}\n";
  return bytes;
}

// Drains the queue as the loop would, until the stream ends.
std::vector<std::string> drain(CommandReceiver& receiver) {
  std::vector<std::string> lines;
  std::string line;
  for (;;) {
    Received got = receiver.receive(milliseconds(100), line);
    if (got == Received::kEndOfInput) return lines;
    if (got == Received::kLine) lines.push_back(line);
  }
}

TEST(CommandReaderThreadTest, EveryLineArrivesInOrderThroughAFullQueue) {
  auto queue = std::make_shared<CommandQueue>();
  CommandQueueReceiver receiver(queue);
  // 500 lines keep the reader blocked on the bound of 64 most of the time.
  ASSERT_TRUE(
      start_command_reader(std::make_shared<QueueByteSource>(numbered_lines(500)), queue).ok());
  std::vector<std::string> lines = drain(receiver);
  ASSERT_EQ(lines.size(), 500u);
  EXPECT_EQ(lines.front(), "{\"n\":0}\n");
  EXPECT_EQ(lines.back(), "{\"n\":499}\n");
  EXPECT_TRUE(queue->wait_reader_finished(kGenerous));
}

TEST(CommandReaderThreadTest, ALineOfExactly2048BytesIsDeliveredAnd2049EndTheStream) {
  const std::string fits = std::string(2047, ' ') + "\n";
  const std::string too_long = std::string(2048, ' ') + "\n";
  auto queue = std::make_shared<CommandQueue>();
  CommandQueueReceiver receiver(queue);
  ASSERT_TRUE(
      start_command_reader(
          std::make_shared<QueueByteSource>(fits + too_long + "{\"after\":1}\n", 512), queue)
          .ok());
  std::vector<std::string> lines = drain(receiver);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], fits);
}

TEST(CommandReaderThreadTest, AnUnterminatedLastLineOrAReadErrorEndTheStreamLikeEndOfFile) {
  for (bool fail_at_end : {false, true}) {
    auto queue = std::make_shared<CommandQueue>();
    CommandQueueReceiver receiver(queue);
    std::string bytes = fail_at_end ? "{\"a\":1}\n" : "{\"a\":1}\n{\"b\":2}";
    ASSERT_TRUE(
        start_command_reader(std::make_shared<QueueByteSource>(bytes, 3, fail_at_end), queue).ok());
    std::vector<std::string> lines = drain(receiver);
    ASSERT_EQ(lines.size(), 1u) << fail_at_end;
    EXPECT_EQ(lines[0], "{\"a\":1}\n");
  }
}

// One line, then every read throws std::bad_alloc.
class ExhaustedSource final : public ByteSource {
 public:
  Result<std::span<const uint8_t>> fill() override {
    if (line_.empty()) throw std::bad_alloc();
    return std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(line_.data()), line_.size());
  }
  void consume(size_t count) override { line_.erase(0, count); }

 private:
  std::string line_ = "{\"a\":1}\n";
};

TEST(CommandReaderThreadTest, AnAllocationFailureEndsTheReaderNotTheProcess) {
  auto queue = std::make_shared<CommandQueue>();
  CommandQueueReceiver receiver(queue);
  ASSERT_TRUE(start_command_reader(std::make_shared<ExhaustedSource>(), queue).ok());
  // The loop sees the line, then the reader gone, and ends the session as on end of input.
  EXPECT_EQ(drain(receiver), (std::vector<std::string>{"{\"a\":1}\n"}));
  EXPECT_TRUE(queue->wait_reader_finished(kGenerous));
}

TEST(CommandReaderThreadTest, TheReaderStopsWhenTheLoopHasGoneFirst) {
  auto queue = std::make_shared<CommandQueue>();
  auto source = std::make_shared<QueueByteSource>(numbered_lines(1000));
  std::weak_ptr<QueueByteSource> watched = source;
  {
    CommandQueueReceiver receiver(queue);
    ASSERT_TRUE(start_command_reader(std::move(source), queue).ok());
    std::string line;
    ASSERT_EQ(receiver.receive(kGenerous, line), Received::kLine);
    // The receiver goes here, with the reader most likely blocked on the full queue.
  }
  ASSERT_TRUE(queue->wait_reader_finished(kGenerous));
  // It stopped at the queue, not at the end of its input.
  auto still_there = watched.lock();
  if (still_there) {
    EXPECT_LT(still_there->consumed(), numbered_lines(1000).size());
  }
}

}  // namespace
}  // namespace vornakel::native_protocol
