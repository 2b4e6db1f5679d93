#include "screen_source/screen_source.h"

#include <gtest/gtest.h>

#include "support/fakes.h"

namespace vornakel::capture {
namespace {

using namespace std::chrono_literals;
using testing_support::EventLog;
using testing_support::FakeClock;
using testing_support::FakeStreamFactory;
using testing_support::ManualFrameQueue;
using testing_support::RecordingEncoder;
using testing_support::ScriptedWriteCalls;

TEST(SampleBufferIsCompleteTest, OnlyAnIntegerOtherThanZeroMeansIncomplete) {
  EXPECT_TRUE(sampleBufferIsComplete({false, true, false, std::nullopt}));  // no array
  EXPECT_TRUE(sampleBufferIsComplete({true, true, false, std::nullopt}));   // empty array
  EXPECT_TRUE(sampleBufferIsComplete({true, false, false, std::nullopt}));  // no status key
  EXPECT_TRUE(sampleBufferIsComplete({true, false, true, std::nullopt}));   // not an integer
  EXPECT_TRUE(sampleBufferIsComplete({true, false, true, 0}));              // complete
  for (int64_t status : {1, 2, 3, 4, 5, -1}) {  // idle, blank, suspended, started, stopped
    EXPECT_FALSE(sampleBufferIsComplete({true, false, true, status})) << status;
  }
}

class ScreenSourceTest : public ::testing::Test {
 protected:
  ScreenSourceTest()
      : encoder(calls, &log),
        queue(&log),
        streams(&log),
        source(ScreenSource::create(
            encoder, [this](const std::optional<std::string>& text) { stops.push_back(text); },
            queue, streams, clock)) {}

  CapturedFrame frame(int tag, int64_t status = 0) {
    CapturedFrame captured;
    captured.picture = std::make_shared<const Picture>(tag);
    captured.presentationTime = {tag, 60};
    captured.duration = {1, 30};
    captured.attachments = {true, false, true, status};
    return captured;
  }

  void startSource() { ASSERT_FALSE(source->start(3, 1920, 1080, 30, true)); }

  EventLog log;
  ScriptedWriteCalls calls;
  RecordingEncoder encoder;
  FakeClock clock;
  ManualFrameQueue queue;
  FakeStreamFactory streams;
  std::vector<std::optional<std::string>> stops;
  std::shared_ptr<ScreenSource> source;
};

TEST_F(ScreenSourceTest, StartConfiguresTheStreamAndTheIdleSchedule) {
  startSource();
  ASSERT_EQ(streams.configurations.size(), 1u);
  const StreamConfiguration& configuration = streams.configurations[0];
  EXPECT_EQ(configuration.display, 3u);
  EXPECT_EQ(configuration.width, 1920);
  EXPECT_EQ(configuration.height, 1080);
  EXPECT_EQ(configuration.frameRate, 30);
  EXPECT_TRUE(configuration.showsCursor);
  EXPECT_EQ(streams.last->client.lock(), source);
  ASSERT_TRUE(queue.timer);
  EXPECT_EQ(queue.timer->first, 1000ms);
  EXPECT_EQ(queue.timer->interval, 500ms);
  EXPECT_EQ(log, (EventLog{"stream start"}));
}

TEST_F(ScreenSourceTest, OutputThatCannotBeAddedIsAStartFailure) {
  streams.addOutputFailure = "The operation couldn't be completed.";
  EXPECT_EQ(source->start(1, 640, 480, 30, false),
            "the screen stream stopped: The operation couldn't be completed.");
  EXPECT_FALSE(queue.timer);
  EXPECT_TRUE(log.empty());
}

TEST_F(ScreenSourceTest, StreamErrorsEndCaptureWithTheirDescription) {
  startSource();
  source->didStopWithError("Display was disconnected");
  EXPECT_EQ(stops, (std::vector<std::optional<std::string>>{
                       "the screen stream stopped: Display was disconnected"}));
}

TEST_F(ScreenSourceTest, CompleteScreenFramesGoToTheEncoder) {
  startSource();
  CapturedFrame other = frame(1);
  other.outputType = StreamOutputType::other;
  CapturedFrame noImage = frame(2);
  noImage.picture = nullptr;
  source->didOutputFrame(other);
  source->didOutputFrame(noImage);
  source->didOutputFrame(frame(3, 1));  // idle status
  source->didOutputFrame(frame(4));
  source->didOutputFrame(frame(5, 3));  // suspended
  ASSERT_EQ(encoder.submissions.size(), 1u);
  EXPECT_EQ(encoder.submissions[0].pictureTag, 4);
  EXPECT_EQ(encoder.submissions[0].presentationTime.value, 4);
  EXPECT_EQ(encoder.submissions[0].duration.timescale, 30);
  EXPECT_TRUE(stops.empty());
}

TEST_F(ScreenSourceTest, IdleTimerResendsTheLastPictureAfterASecondOfSilence) {
  startSource();
  clock.advance(1000ms);
  queue.fire();  // 1.0 s: no picture yet, nothing to re-send
  EXPECT_TRUE(encoder.submissions.empty());

  clock.advance(200ms);
  source->didOutputFrame(frame(7));  // arrives at 1.2 s
  const auto checkAt = [&](std::chrono::milliseconds step) {
    clock.advance(step);
    queue.fire();
    return encoder.submissions.size();
  };
  EXPECT_EQ(checkAt(300ms), 1u);  // 1.5 s: 0.3 s of silence
  EXPECT_EQ(checkAt(500ms), 1u);  // 2.0 s: 0.8 s
  EXPECT_EQ(checkAt(500ms), 2u);  // 2.5 s: 1.3 s -> re-sent
  EXPECT_EQ(checkAt(500ms), 2u);  // 3.0 s: 0.5 s since the re-send
  EXPECT_EQ(checkAt(500ms), 3u);  // 3.5 s: exactly 1.0 s counts

  const auto& resend = encoder.submissions[1];
  EXPECT_EQ(resend.pictureTag, 7);
  EXPECT_FALSE(resend.duration.isValid());
  EXPECT_EQ(resend.presentationTime.timescale, 1000000000);
  EXPECT_EQ(resend.presentationTime.value, clock.hostTime().value - 1000000000);
}

TEST_F(ScreenSourceTest, IncompleteFramesDoNotPostponeTheResend) {
  startSource();
  source->didOutputFrame(frame(1));
  clock.advance(900ms);
  source->didOutputFrame(frame(2, 1));  // an idle status frame is not a new picture
  clock.advance(100ms);
  queue.fire();
  ASSERT_EQ(encoder.submissions.size(), 2u);
  EXPECT_EQ(encoder.submissions[1].pictureTag, 1);
}

TEST_F(ScreenSourceTest, ClosedOutputEndsCaptureAtTheNextFrame) {
  startSource();
  source->didOutputFrame(frame(1));
  encoder.downstreamClosed = true;
  source->didOutputFrame(frame(2));
  EXPECT_EQ(stops, (std::vector<std::optional<std::string>>{std::nullopt}));
  EXPECT_EQ(encoder.submissions.size(), 1u);
}

TEST_F(ScreenSourceTest, ClosedOutputEndsCaptureAtTheNextIdleFiring) {
  startSource();
  source->didOutputFrame(frame(1));
  clock.advance(1000ms);
  queue.fire();  // re-send; the writer would now find the pipe closed
  encoder.downstreamClosed = true;
  clock.advance(500ms);
  queue.fire();  // only half a second of silence: not yet
  EXPECT_TRUE(stops.empty());
  clock.advance(500ms);
  queue.fire();
  EXPECT_EQ(stops, (std::vector<std::optional<std::string>>{std::nullopt}));
  EXPECT_EQ(encoder.submissions.size(), 2u);
}

TEST_F(ScreenSourceTest, StopCancelsTheTimerThenStopsTheStreamThenFlushesTheEncoder) {
  startSource();
  source->didOutputFrame(frame(1));
  log.clear();
  source->stop();
  EXPECT_EQ(log, (EventLog{"timer cancelled", "stream stop", "encoder complete+invalidate"}));
  // A second stop, and frames that were already on their way, do nothing.
  source->stop();
  clock.advance(2000ms);
  queue.fire();
  source->didOutputFrame(frame(2));
  EXPECT_EQ(encoder.submissions.size(), 1u);
  EXPECT_EQ(log.size(), 3u);
}

TEST_F(ScreenSourceTest, StopBeforeStartIsHarmless) {
  source->stop();
  EXPECT_EQ(log, (EventLog{"encoder complete+invalidate"}));
}

TEST_F(ScreenSourceTest, TimerHoldsTheSourceWeakly) {
  startSource();
  std::weak_ptr<ScreenSource> weak = source;
  source->didOutputFrame(frame(1));
  source.reset();
  EXPECT_TRUE(weak.expired());
  clock.advance(2000ms);
  queue.timer->handler();  // a firing that was already queued
  EXPECT_EQ(encoder.submissions.size(), 1u);
}

}  // namespace
}  // namespace vornakel::capture
