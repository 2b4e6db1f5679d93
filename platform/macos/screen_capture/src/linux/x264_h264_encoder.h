#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <variant>
#include <vector>

#include "h264/h264_encoder.h"
#include "screen_source/clock.h"

struct x264_t;

namespace vornakel::capture {

// libx264 set up to behave like the VideoToolbox session, from the same session settings:
// Baseline, no B-frames, real time, an average bit rate with a 1.5× ceiling over any second (or a
// rate of the encoder's choosing for a bit rate of 0), a key frame at least every `frameRate`
// frames and at least every second, length-prefixed output with the parameter sets kept apart.
// Encoding happens on the caller's queue; the output handler runs before `submit` returns.
class X264H264Encoder final : public H264Encoder {
 public:
  static std::variant<std::unique_ptr<H264Encoder>, int32_t> create(
      int32_t width, int32_t height, int32_t frameRate, int32_t bitrateKbps, AnnexBWriter writer,
      ErrorHandler onError, const Clock& clock);
  ~X264H264Encoder() override;

 protected:
  bool hasSession() const override;
  int32_t submit(const PictureRef& pixelBuffer, MediaTime presentationTime,
                 MediaTime duration) override;
  void completeAndInvalidateSession() override;

 private:
  X264H264Encoder(AnnexBWriter output, ErrorHandler errorHandler, const Clock& clock);

  const Clock& clock_;
  // The session is used from the frame queue and closed from the main queue.
  mutable std::mutex sessionLock_;
  x264_t* session_ = nullptr;
  int32_t width_ = 0;
  int32_t height_ = 0;
  std::vector<uint8_t> sequenceParameterSet_;
  std::vector<uint8_t> pictureParameterSet_;
  // Presentation time of the last key frame, in nanoseconds.
  std::optional<std::chrono::nanoseconds> lastKeyFrameTime_;
  std::chrono::nanoseconds keyFrameDue_{0};
  int64_t nextFrameNumber_ = 0;
};

}  // namespace vornakel::capture
