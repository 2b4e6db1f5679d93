#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "h264/h264_encoder.h"
#include "screen_source/capture_stream.h"
#include "screen_source/clock.h"
#include "screen_source/frame_queue.h"

namespace vornakel::capture {

// Called once capture must end; a text means failure.
using StopHandler = std::function<void(const std::optional<std::string>&)>;

// The idle re-encode schedule: the first check a second after start, then every half second, and
// a re-send only after a full second without a picture.
struct IdleSchedule {
  static constexpr std::chrono::milliseconds firstCheck{1000};
  static constexpr std::chrono::milliseconds checkInterval{500};
  static constexpr std::chrono::milliseconds silence{1000};
};

// Turns one display's capture stream into pictures for the encoder: drops incomplete frames,
// re-sends the last picture after a second of silence, and reports the end of capture.
class ScreenSource final : public CaptureStreamClient,
                           public std::enable_shared_from_this<ScreenSource> {
 public:
  static std::shared_ptr<ScreenSource> create(H264Encoder& encoder, StopHandler onStopped,
                                              FrameQueue& frameQueue, CaptureStreamFactory& streams,
                                              const Clock& clock);

  // Configures and starts capture; returns the message of a failure that ends the program.
  std::optional<std::string> start(uint32_t display, int32_t width, int32_t height,
                                   int32_t frameRate, bool showsCursor);

  // Ends capture and flushes the encoder; safe to call when nothing runs.
  void stop();

  void didOutputFrame(const CapturedFrame& frame) override;
  void didStopWithError(const std::string& description) override;

  // One firing of the idle timer (public so that the rule can be driven directly).
  void idleTimerFired();

 private:
  ScreenSource(H264Encoder& pictureEncoder, StopHandler stopHandler, FrameQueue& queue,
               CaptureStreamFactory& streamFactory, const Clock& timeSource);
  void startIdleTimer();

  H264Encoder& encoder;
  StopHandler onStopped;
  FrameQueue& frameQueue;
  CaptureStreamFactory& streams;
  const Clock& clock;

  // `stream` and `idleTimer` are set by start and cleared by stop (main queue) while the frame
  // queue runs; the lock keeps those two hand-overs apart.
  std::mutex lifecycleLock;
  std::unique_ptr<CaptureStream> stream;
  std::unique_ptr<QueueTimer> idleTimer;

  // Only touched on the frame queue.
  PictureRef lastPixelBuffer;
  std::optional<Clock::Instant> lastEncodedAt;  // none: the distant past
};

}  // namespace vornakel::capture
