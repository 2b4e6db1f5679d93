#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "screen_source/capture_stream.h"

namespace vornakel::capture {

// Captures one X screen the way ScreenCaptureKit captures a display: a picture when something on
// it changed (XDamage), no more often than the frame rate, scaled to the configured size, with the
// pointer drawn in when asked. The grab, conversion and pacing run on the stream's own thread; the
// pictures are delivered on the frame queue.
class XCaptureStream final : public CaptureStream {
 public:
  explicit XCaptureStream(const StreamConfiguration& configuration);
  ~XCaptureStream() override;

  std::optional<std::string> addOutput(std::weak_ptr<CaptureStreamClient> client,
                                       FrameQueue& frameQueue) override;
  void startCapture() override;
  void stopCapture() override;

 private:
  class Session;
  void captureLoop();

  const StreamConfiguration configuration_;
  std::weak_ptr<CaptureStreamClient> client_;
  FrameQueue* frameQueue_ = nullptr;
  std::atomic<bool> stopRequested_{false};
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::thread thread_;
};

class XCaptureStreamFactory final : public CaptureStreamFactory {
 public:
  std::unique_ptr<CaptureStream> makeStream(const StreamConfiguration& configuration,
                                            std::weak_ptr<CaptureStreamClient> delegate) override;
};

}  // namespace vornakel::capture
