// The event queue, the input watcher and the event loop with real threads: two window threads and
// the watcher producing while the main thread runs the loop. Built a second time under
// ThreadSanitizer (indicator_tsan.cmake).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "native_protocol/command_loop_seams.h"
#include "native_protocol/support/queue_byte_source.h"
#include "service_indicator/event_loop.h"
#include "service_indicator/input_watcher.h"

namespace vornakel::service_indicator {
namespace {

class StringSink final : public native_protocol::StatusSink {
 public:
  Status write(std::string_view bytes) override {
    text.append(bytes);
    return Ok();
  }
  Status flush() override { return Ok(); }
  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) out.push_back(line);
    return out;
  }
  std::string text;
};

TEST(IndicatorThreadsTest, EveryEventOfEveryProducerArrivesInItsProducersOrder) {
  auto queue = std::make_shared<IndicatorEventQueue>();
  constexpr int kProducers = 3;
  constexpr int kEach = 5000;
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([sender = IndicatorEventSender(queue), p] {
      const auto desktop = p == 0 ? DesktopName::kDefault : DesktopName::kWinlogon;
      for (int i = 0; i < kEach; ++i) {
        sender.send(WindowFailed{static_cast<WindowStage>(p), desktop, i});
      }
    });
  }
  std::vector<int> next(kProducers, 0);
  for (int received = 0; received < kProducers * kEach; ++received) {
    std::optional<IndicatorEvent> event = queue->wait_for(std::chrono::seconds(10));
    ASSERT_TRUE(event);
    const auto& failed = std::get<WindowFailed>(*event);
    const int producer = static_cast<int>(failed.stage);
    EXPECT_EQ(failed.code, next[producer]++);
  }
  for (std::thread& t : producers) t.join();
  EXPECT_FALSE(queue->wait_for(std::chrono::milliseconds(1)));
}

// Two windows get ready, hammer the stop and pause controls, and the agent then closes standard
// input: one stop line, the last pause line equal to the flag, status 0.
TEST(IndicatorThreadsTest, LoopReportsOneStopAndTheFinalPauseWhileWindowsRace) {
  auto queue = std::make_shared<IndicatorEventQueue>();
  auto flags = std::make_shared<IndicatorFlags>();
  std::vector<std::thread> windows;
  for (int w = 0; w < 2; ++w) {
    windows.emplace_back([sender = IndicatorEventSender(queue), flags, w] {
      sender.send(WindowReady{});
      for (int i = 0; i < 2000; ++i) {
        flags->toggle_pause();
        if (i % 100 == w) {
          flags->request_stop();
          sender.send(StopRequested{});
        }
      }
      if (w == 0) flags->toggle_pause();  // odd in all: paused at the end
      sender.send(StopRequested{});
    });
  }
  std::thread closer([queue, flags, &windows] {
    for (std::thread& t : windows) t.join();
    // The agent closes its end once the windows are done; the last StopRequested may still be in
    // the queue ahead of Closed, which is what makes the final pause line certain.
    auto input = std::make_shared<native_protocol::testing::QueueByteSource>("");
    ASSERT_TRUE(start_input_watcher(input, IndicatorEventSender(queue)).ok());
  });

  StringSink sink;
  native_protocol::SystemMonotonicClock clock;
  EventLoopSeams seams{*queue, *flags, sink, clock};
  Result<int> status = run_event_loop(seams, clock.now() + kReadyDeadline);
  closer.join();

  ASSERT_TRUE(status.ok());
  EXPECT_EQ(status.value(), 0);
  const std::vector<std::string> lines = sink.lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), R"({"type":"ready"})"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), R"({"type":"stop"})"), 1);
  std::vector<std::string> pauses;
  std::copy_if(lines.begin(), lines.end(), std::back_inserter(pauses),
               [](const std::string& line) { return line.find("pause") != std::string::npos; });
  ASSERT_FALSE(pauses.empty());
  EXPECT_EQ(pauses.back(), R"({"type":"pause","paused":true})");
  for (size_t i = 1; i < pauses.size(); ++i) EXPECT_NE(pauses[i], pauses[i - 1]);
}

}  // namespace
}  // namespace vornakel::service_indicator
