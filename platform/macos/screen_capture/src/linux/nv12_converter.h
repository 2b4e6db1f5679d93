#pragma once

#include <cstdint>
#include <vector>

#include "linux/picture_linux.h"

namespace vornakel::capture {

// A 32-bit-per-pixel image in the X server's little-endian layout: bytes B, G, R, unused.
struct BgrxImage {
  uint8_t* pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;  // bytes per row
};

// Converts the screen into the encoder's '420v' form: BT.601 video-range NV12, scaled to the
// picture's size by picking the nearest source pixel (chroma averages the four pixels it covers).
class Nv12Converter {
 public:
  void convert(const BgrxImage& source, Picture& target);

 private:
  void prepareMaps(const BgrxImage& source, const Picture& target);

  std::vector<int32_t> columnOffsets_;  // byte offset of the source pixel for each target column
  std::vector<int32_t> sourceRows_;     // source row for each target row
  int32_t mappedSourceWidth_ = -1, mappedSourceHeight_ = -1;
  int32_t mappedTargetWidth_ = -1, mappedTargetHeight_ = -1;
};

// Draws a pointer image (premultiplied ARGB, one 32-bit value per pixel) onto the screen image with
// its top-left corner at (left, top); the parts outside the image are clipped.
void compositeCursor(BgrxImage& screen, const uint32_t* argb, int32_t width, int32_t height,
                     int32_t left, int32_t top);

}  // namespace vornakel::capture
