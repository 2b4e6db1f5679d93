#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "h264/picture.h"

namespace vornakel::capture {

// The stand-in's picture: one NV12 frame (full-resolution luma plane, then interleaved Cb/Cr at
// half resolution), both planes with a stride equal to the width. Width and height are even.
class Picture {
 public:
  Picture(int32_t pictureWidth, int32_t pictureHeight)
      : width(pictureWidth),
        height(pictureHeight),
        storage_(new uint8_t[static_cast<size_t>(pictureWidth) *
                             static_cast<size_t>(pictureHeight) * 3 / 2]) {}

  uint8_t* luma() { return storage_.get(); }
  const uint8_t* luma() const { return storage_.get(); }
  uint8_t* chroma() { return storage_.get() + lumaSize(); }
  const uint8_t* chroma() const { return storage_.get() + lumaSize(); }
  size_t lumaSize() const { return static_cast<size_t>(width) * static_cast<size_t>(height); }

  const int32_t width;
  const int32_t height;

 private:
  std::unique_ptr<uint8_t[]> storage_;
};

}  // namespace vornakel::capture
