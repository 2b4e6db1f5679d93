#pragma once

#include <VideoToolbox/VideoToolbox.h>

#include <memory>
#include <mutex>
#include <variant>

#include "h264/h264_encoder.h"

namespace vornakel::capture {

// The VideoToolbox compression session for low-latency screen video. Samples arrive on the
// session's own thread, one at a time and in order, and are written from there.
class VTH264Encoder final : public H264Encoder {
 public:
  static std::variant<std::unique_ptr<H264Encoder>, int32_t> create(int32_t width, int32_t height,
                                                                    int32_t frameRate,
                                                                    int32_t bitrateKbps,
                                                                    AnnexBWriter writer,
                                                                    ErrorHandler onError);
  ~VTH264Encoder() override;

 protected:
  bool hasSession() const override;
  int32_t submit(const PictureRef& pixelBuffer, MediaTime presentationTime,
                 MediaTime duration) override;
  void completeAndInvalidateSession() override;

 private:
  // What an output handler holds: a weak reference to this, so that a late sample after the
  // encoder is gone is dropped.
  struct HandlerTarget {
    std::mutex lock;
    VTH264Encoder* encoder = nullptr;
  };

  VTH264Encoder(AnnexBWriter output, ErrorHandler errorHandler, VTCompressionSessionRef session);
  void outputArrived(OSStatus status, CMSampleBufferRef sample);

  mutable std::mutex sessionLock_;  // encode runs on the frame queue, stop on the main queue
  VTCompressionSessionRef session_;
  std::shared_ptr<HandlerTarget> handlerTarget_;
};

}  // namespace vornakel::capture
