#pragma once

#import <ScreenCaptureKit/ScreenCaptureKit.h>

#include "macos/dispatch_frame_queue.h"
#include "macos/sc_display_list.h"
#include "screen_source/capture_stream.h"

// The stream's output and delegate: forwards to the screen source while it exists.
@interface VKStreamOutput : NSObject <SCStreamOutput, SCStreamDelegate>
- (instancetype)initWithClient:(std::weak_ptr<vornakel::capture::CaptureStreamClient>)client;
@end

namespace vornakel::capture {

class SCCaptureStream final : public CaptureStream {
 public:
  SCCaptureStream(SCStream* stream, VKStreamOutput* output, DispatchFrameQueue& frameQueue,
                  std::weak_ptr<CaptureStreamClient> client);

  std::optional<std::string> addOutput(std::weak_ptr<CaptureStreamClient> client,
                                       FrameQueue& frameQueue) override;
  void startCapture() override;
  void stopCapture() override;

 private:
  SCStream* stream_;
  VKStreamOutput* output_;
  DispatchFrameQueue& frameQueue_;
  std::weak_ptr<CaptureStreamClient> client_;
};

class SCCaptureStreamFactory final : public CaptureStreamFactory {
 public:
  SCCaptureStreamFactory(SCDisplayList& displays, DispatchFrameQueue& frameQueue)
      : displays_(displays), frameQueue_(frameQueue) {}

  std::unique_ptr<CaptureStream> makeStream(const StreamConfiguration& configuration,
                                            std::weak_ptr<CaptureStreamClient> delegate) override;

 private:
  SCDisplayList& displays_;
  DispatchFrameQueue& frameQueue_;
};

}  // namespace vornakel::capture
