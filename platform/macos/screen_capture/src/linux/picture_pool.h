#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "linux/picture_linux.h"

namespace vornakel::capture {

// A fixed number of reusable pictures: a picture comes back when its last holder lets go. When all
// are out (the encoder is behind) the capture skips a frame instead of queueing more, as a capture
// stream with a bounded queue depth does.
class PicturePool : public std::enable_shared_from_this<PicturePool> {
 public:
  static std::shared_ptr<PicturePool> create(int32_t width, int32_t height, size_t capacity);

  // A free picture, or null when every picture is still held.
  std::shared_ptr<Picture> take();

 private:
  PicturePool(int32_t width, int32_t height, size_t capacity)
      : width_(width), height_(height), capacity_(capacity) {}
  void giveBack(Picture* picture);

  const int32_t width_;
  const int32_t height_;
  const size_t capacity_;
  std::mutex lock_;
  std::vector<std::unique_ptr<Picture>> free_;
  size_t created_ = 0;
};

}  // namespace vornakel::capture
