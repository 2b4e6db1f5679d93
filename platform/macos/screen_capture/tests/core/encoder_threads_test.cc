// Capture mode with the threads of the real program: frames arrive on the stream's own thread,
// samples are written from the encoder's own thread, and the stop comes from the main thread.
// Also built under ThreadSanitizer.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "entry/capture_app.h"
#include "support/fakes.h"
#include "support/threaded_fakes.h"

namespace vornakel::capture {
namespace {

using testing_support::DeliveringStreamFactory;
using testing_support::FakeClock;
using testing_support::FakeDisplayList;
using testing_support::ManualFrameQueue;
using testing_support::ScriptedWriteCalls;
using testing_support::ThreadedEncoder;

const std::string kStartNote = "capturing display 1 at 1920x1080, 30fps, 6000kbps";

class EncoderThreadsTest : public ::testing::Test {
 protected:
  EncoderThreadsTest()
      : platform{
            displays,
            streams,
            queue,
            clock,
            [this](int32_t, int32_t, int32_t, int32_t, AnnexBWriter,
                   ErrorHandler onError) -> std::variant<std::unique_ptr<H264Encoder>, int32_t> {
              auto created = std::make_unique<ThreadedEncoder>(calls, std::move(onError));
              encoder = created.get();
              return created;
            },
            [this](std::string_view text) {
              std::lock_guard<std::mutex> hold(lock);
              notes.emplace_back(text);
            },
            [this](int status) {
              {
                std::lock_guard<std::mutex> hold(lock);
                exits.push_back(status);
              }
              exited.notify_all();
            }} {
    displays.answer = ShareableContent{{{1, 1920, 1080, 1920, 1080}}, 1};
  }
  // No frame may reach the session while it is torn down.
  ~EncoderThreadsTest() override { streams.stopDelivering(); }

  bool start() {
    auto started = runCapture(Options{}, platform);
    if (!std::holds_alternative<std::unique_ptr<CaptureSession>>(started)) return false;
    session = std::move(std::get<std::unique_ptr<CaptureSession>>(started));
    return true;
  }

  bool waitForExit() {
    std::unique_lock<std::mutex> hold(lock);
    return exited.wait_for(hold, std::chrono::seconds(10), [&] { return !exits.empty(); });
  }

  FakeDisplayList displays;
  DeliveringStreamFactory streams;
  ManualFrameQueue queue;
  FakeClock clock;
  ScriptedWriteCalls calls;  // used by the encoder's thread only, until it is idle
  ThreadedEncoder* encoder = nullptr;

  std::mutex lock;
  std::condition_variable exited;
  std::vector<std::string> notes;
  std::vector<int> exits;

  CapturePlatform platform;
  std::unique_ptr<CaptureSession> session;
};

TEST_F(EncoderThreadsTest, StopWhileSamplesAreWrittenCompletesThemAndWritesNothingAfter) {
  ASSERT_TRUE(start());
  ASSERT_TRUE(encoder->waitForEmitted(5));

  stopOnSignal(*session, platform.exitProcess);
  const int submitted = encoder->submitted();
  const size_t written = calls.accepted.size();
  EXPECT_EQ(encoder->emitted(), submitted);  // every picture handed over came out whole
  EXPECT_EQ(written, static_cast<size_t>(submitted) * ThreadedEncoder::kAccessUnitSize);

  // Frames on their way still arrive after the stop; none of them reaches the stream.
  ASSERT_TRUE(streams.waitForFrames(5));
  streams.stopDelivering();
  EXPECT_EQ(encoder->submitted(), submitted);
  EXPECT_EQ(calls.accepted.size(), written);
  std::lock_guard<std::mutex> hold(lock);
  EXPECT_EQ(exits, std::vector<int>{0});
  EXPECT_EQ(notes, std::vector<std::string>{kStartNote});
}

TEST_F(EncoderThreadsTest, ReaderGoneWhileSamplesAreWrittenEndsQuietlyWithZero) {
  calls.script = {{1 << 20}, {1 << 20}, {1 << 20}, {-1, EPIPE}};
  ASSERT_TRUE(start());
  ASSERT_TRUE(waitForExit());
  streams.stopDelivering();
  session->source->stop();

  EXPECT_EQ(calls.accepted.size(), 3 * ThreadedEncoder::kAccessUnitSize);
  std::lock_guard<std::mutex> hold(lock);
  EXPECT_EQ(exits.front(), 0);
  EXPECT_TRUE(std::all_of(exits.begin(), exits.end(), [](int status) { return status == 0; }));
  EXPECT_EQ(notes, (std::vector<std::string>{kStartNote, std::string(kDownstreamClosedMessage)}));
}

}  // namespace
}  // namespace vornakel::capture
