#include "screen_source/screen_source.h"

#include <utility>

namespace vornakel::capture {

bool sampleBufferIsComplete(const FrameStatusAttachments& attachments) {
  if (!attachments.hasArray || attachments.arrayIsEmpty || !attachments.hasStatus) return true;
  if (!attachments.statusInteger.has_value()) return true;
  return *attachments.statusInteger == 0;
}

std::shared_ptr<ScreenSource> ScreenSource::create(H264Encoder& encoder, StopHandler onStopped,
                                                   FrameQueue& frameQueue,
                                                   CaptureStreamFactory& streams,
                                                   const Clock& clock) {
  return std::shared_ptr<ScreenSource>(
      new ScreenSource(encoder, std::move(onStopped), frameQueue, streams, clock));
}

ScreenSource::ScreenSource(H264Encoder& pictureEncoder, StopHandler stopHandler, FrameQueue& queue,
                           CaptureStreamFactory& streamFactory, const Clock& timeSource)
    : encoder(pictureEncoder),
      onStopped(std::move(stopHandler)),
      frameQueue(queue),
      streams(streamFactory),
      clock(timeSource) {}

std::optional<std::string> ScreenSource::start(uint32_t display, int32_t width, int32_t height,
                                               int32_t frameRate, bool showsCursor) {
  const StreamConfiguration configuration{display, width, height, frameRate, showsCursor};
  const std::weak_ptr<CaptureStreamClient> self = weak_from_this();
  std::unique_ptr<CaptureStream> created = streams.makeStream(configuration, self);
  if (auto failure = created->addOutput(self, frameQueue)) {
    return "the screen stream stopped: " + *failure;
  }
  CaptureStream* running = created.get();
  {
    std::lock_guard<std::mutex> hold(lifecycleLock);
    stream = std::move(created);
  }
  running->startCapture();
  startIdleTimer();
  return std::nullopt;
}

void ScreenSource::startIdleTimer() {
  const std::weak_ptr<ScreenSource> weakSelf = weak_from_this();
  auto timer =
      frameQueue.startTimer(IdleSchedule::firstCheck, IdleSchedule::checkInterval, [weakSelf] {
        if (auto self = weakSelf.lock()) self->idleTimerFired();
      });
  std::lock_guard<std::mutex> hold(lifecycleLock);
  idleTimer = std::move(timer);
}

void ScreenSource::stop() {
  std::unique_ptr<QueueTimer> timer;
  std::unique_ptr<CaptureStream> stopping;
  {
    std::lock_guard<std::mutex> hold(lifecycleLock);
    timer = std::move(idleTimer);
    stopping = std::move(stream);
  }
  timer.reset();  // Cancelled first, so that it cannot re-send into a closing encoder.
  if (stopping) {
    stopping->stopCapture();
    stopping.reset();
  }
  encoder.stopSession();
}

void ScreenSource::didOutputFrame(const CapturedFrame& frame) {
  if (frame.outputType != StreamOutputType::screen || !frame.picture) return;
  if (!sampleBufferIsComplete(frame.attachments)) return;
  if (encoder.downstreamClosed.load()) {
    onStopped(std::nullopt);
    return;
  }
  lastPixelBuffer = frame.picture;
  lastEncodedAt = clock.now();
  encoder.encode(frame.picture, frame.presentationTime, frame.duration);
}

void ScreenSource::didStopWithError(const std::string& description) {
  onStopped("the screen stream stopped: " + description);
}

void ScreenSource::idleTimerFired() {
  if (!lastPixelBuffer) return;
  const Clock::Instant now = clock.now();
  if (lastEncodedAt && now - *lastEncodedAt < IdleSchedule::silence) return;
  if (encoder.downstreamClosed.load()) {
    onStopped(std::nullopt);
    return;
  }
  lastEncodedAt = now;
  encoder.encode(lastPixelBuffer, clock.hostTime(), MediaTime::invalid());
}

}  // namespace vornakel::capture
