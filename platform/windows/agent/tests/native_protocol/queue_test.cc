// The command queue on its own: order, the end-of-input marker, the bound of 64 and the two ways
// one side learns that the other has gone.
#include "native_protocol/command_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>

namespace vornakel::native_protocol {
namespace {

using std::chrono::milliseconds;

TEST(CommandQueueTest, DeliversLinesInOrderThenTheMarker) {
  CommandQueue queue;
  ASSERT_TRUE(queue.post_line("a\n"));
  ASSERT_TRUE(queue.post_line("b\n"));
  ASSERT_TRUE(queue.post_end_of_input());
  std::string line;
  EXPECT_EQ(queue.wait_for(milliseconds(0), line), Received::kLine);
  EXPECT_EQ(line, "a\n");
  EXPECT_EQ(queue.wait_for(milliseconds(0), line), Received::kLine);
  EXPECT_EQ(line, "b\n");
  EXPECT_EQ(queue.wait_for(milliseconds(0), line), Received::kEndOfInput);
}

TEST(CommandQueueTest, AnEmptyQueueYieldsNothingWhileTheReaderLives) {
  CommandQueue queue;
  std::string line = "untouched";
  EXPECT_EQ(queue.wait_for(milliseconds(0), line), Received::kNothing);
  EXPECT_EQ(line, "untouched");
}

TEST(CommandQueueTest, AReaderGoneWithoutMarkerEndsTheStreamAfterItsLastLine) {
  CommandQueue queue;
  ASSERT_TRUE(queue.post_line("last\n"));
  queue.reader_finished();
  std::string line;
  EXPECT_EQ(queue.wait_for(milliseconds(0), line), Received::kLine);
  EXPECT_EQ(line, "last\n");
  EXPECT_EQ(queue.wait_for(milliseconds(0), line), Received::kEndOfInput);
  EXPECT_TRUE(queue.wait_reader_finished(milliseconds(0)));
}

TEST(CommandQueueTest, HoldsSixtyFourItemsAndBlocksTheSixtyFifthUntilOneIsTaken) {
  CommandQueue queue;
  for (int i = 0; i < 64; ++i) ASSERT_TRUE(queue.post_line(std::to_string(i) + "\n"));
  auto blocked = std::async(std::launch::async, [&queue] { return queue.post_line("64\n"); });
  // Not a timing rule: the post must still be pending however long we look.
  EXPECT_EQ(blocked.wait_for(milliseconds(50)), std::future_status::timeout);
  std::string line;
  ASSERT_EQ(queue.wait_for(milliseconds(0), line), Received::kLine);
  EXPECT_EQ(line, "0\n");
  EXPECT_TRUE(blocked.get());
  int count = 0;
  while (queue.wait_for(milliseconds(0), line) == Received::kLine) ++count;
  EXPECT_EQ(count, 64);
  EXPECT_EQ(line, "64\n");
}

TEST(CommandQueueTest, ACapacityOfZeroStillHoldsOneItem) {
  CommandQueue queue(0);
  auto posted = std::async(std::launch::async, [&queue] { return queue.post_line("a\n"); });
  std::string line;
  // The wait is only a bound for a broken queue, whose post would never get in.
  EXPECT_EQ(queue.wait_for(milliseconds(10000), line), Received::kLine);
  queue.loop_finished();
  EXPECT_TRUE(posted.get());
}

TEST(CommandQueueTest, TheLoopLeavingReleasesABlockedReaderAndRefusesLaterPosts) {
  CommandQueue queue;
  for (int i = 0; i < 64; ++i) ASSERT_TRUE(queue.post_line("x\n"));
  auto blocked = std::async(std::launch::async, [&queue] { return queue.post_end_of_input(); });
  queue.loop_finished();
  EXPECT_FALSE(blocked.get());
  EXPECT_FALSE(queue.post_line("late\n"));
}

TEST(CommandQueueTest, DestroyingTheReceiverTellsTheReader) {
  auto queue = std::make_shared<CommandQueue>();
  {
    CommandQueueReceiver receiver(queue);
    ASSERT_TRUE(queue->post_line("a\n"));
    std::string line;
    EXPECT_EQ(receiver.receive(milliseconds(0), line), Received::kLine);
  }
  EXPECT_FALSE(queue->post_line("b\n"));
}

}  // namespace
}  // namespace vornakel::native_protocol
