#pragma once

#include <CoreVideo/CoreVideo.h>

#include "h264/picture.h"

namespace vornakel::capture {

// A picture is a retained pixel buffer from the capture stream.
class Picture {
 public:
  explicit Picture(CVPixelBufferRef buffer) : pixelBuffer(CVPixelBufferRetain(buffer)) {}
  ~Picture() { CVPixelBufferRelease(pixelBuffer); }
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  CVPixelBufferRef const pixelBuffer;
};

}  // namespace vornakel::capture
