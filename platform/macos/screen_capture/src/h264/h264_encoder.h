#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "h264/annex_b_writer.h"
#include "h264/encoded_sample.h"
#include "h264/media_time.h"
#include "h264/picture.h"

namespace vornakel::capture {

enum class H264EncoderErrorCase { sessionCreateFailed, encodeFailed };

struct H264EncoderError {
  H264EncoderErrorCase errorCase;
  int32_t status;

  std::string message() const;
};

inline constexpr std::string_view kDownstreamClosedMessage =
    "the agent stopped reading the video stream";

using ErrorHandler = std::function<void(const std::string&)>;

// The encoder as the screen source sees it. The platform part owns the compression session; this
// part holds the rules that do not depend on it: when a picture is submitted at all, how an output
// is judged, and how a sample becomes an access unit on the writer.
class H264Encoder {
 public:
  H264Encoder(AnnexBWriter output, ErrorHandler errorHandler)
      : writer(output), onError(std::move(errorHandler)) {}
  virtual ~H264Encoder() = default;
  H264Encoder(const H264Encoder&) = delete;
  H264Encoder& operator=(const H264Encoder&) = delete;

  // Submits one picture; failures are reported through `onError`, never to the caller.
  void encode(const PictureRef& pixelBuffer, MediaTime presentationTime, MediaTime duration);

  // Completes every pending frame, then invalidates and clears the session. Later `encode` calls
  // do nothing.
  void stopSession();

  // Set once a write failed; never cleared. Read from the frame queue, written from the output
  // handler.
  std::atomic<bool> downstreamClosed{false};

  // Writes one sample as an access unit: start code and delimiter, the parameter sets for a key
  // frame, then every NAL unit, all in one gathered write.
  void emit(const EncodedSample& sample);

 protected:
  // The output handler's rule: a non-zero status or a missing (dropped) sample is reported,
  // anything else is emitted.
  void handleOutput(int32_t status, const EncodedSample* sample);

  virtual bool hasSession() const = 0;
  // Hands the picture to the session; returns the platform status of the submission.
  virtual int32_t submit(const PictureRef& pixelBuffer, MediaTime presentationTime,
                         MediaTime duration) = 0;
  virtual void completeAndInvalidateSession() = 0;

  AnnexBWriter writer;
  ErrorHandler onError;
};

}  // namespace vornakel::capture
