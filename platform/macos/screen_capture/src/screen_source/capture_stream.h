#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "h264/media_time.h"
#include "h264/picture.h"
#include "screen_source/frame_queue.h"

namespace vornakel::capture {

// What the first dictionary of a frame's attachments array says about the frame's status.
struct FrameStatusAttachments {
  bool hasArray = false;
  bool arrayIsEmpty = true;
  bool hasStatus = false;                // the frame-status key is present
  std::optional<int64_t> statusInteger;  // its value, when that value is an integer
};

// A frame is incomplete only when it says so with an integer status other than 0 ("complete").
bool sampleBufferIsComplete(const FrameStatusAttachments& attachments);

enum class StreamOutputType { screen, other };

// One delivery of the stream's output callback.
struct CapturedFrame {
  StreamOutputType outputType = StreamOutputType::screen;
  PictureRef picture;  // null when the sample buffer has no image buffer
  MediaTime presentationTime;
  MediaTime duration;
  FrameStatusAttachments attachments;
};

// The stream's output and delegate. Called on the frame queue (frames) or a queue of the
// platform's choosing (stops).
class CaptureStreamClient {
 public:
  virtual ~CaptureStreamClient() = default;
  virtual void didOutputFrame(const CapturedFrame& frame) = 0;
  virtual void didStopWithError(const std::string& description) = 0;
};

struct StreamConfiguration {
  uint32_t display = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t frameRate = 0;
  bool showsCursor = true;
};

// One configured capture stream of one display.
class CaptureStream {
 public:
  virtual ~CaptureStream() = default;
  // Adds the client as the stream's screen output on the frame queue; a failure is described.
  virtual std::optional<std::string> addOutput(std::weak_ptr<CaptureStreamClient> client,
                                               FrameQueue& frameQueue) = 0;
  // Starts capture. A failure arrives later through the client's didStopWithError.
  virtual void startCapture() = 0;
  // Stops capture; the outcome is ignored.
  virtual void stopCapture() = 0;
};

class CaptureStreamFactory {
 public:
  virtual ~CaptureStreamFactory() = default;
  // Builds the stream (filter for the whole display, configuration, the client as delegate).
  virtual std::unique_ptr<CaptureStream> makeStream(
      const StreamConfiguration& configuration, std::weak_ptr<CaptureStreamClient> delegate) = 0;
};

}  // namespace vornakel::capture
