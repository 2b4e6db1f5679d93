#include "linux/picture_pool.h"

namespace vornakel::capture {

std::shared_ptr<PicturePool> PicturePool::create(int32_t width, int32_t height, size_t capacity) {
  return std::shared_ptr<PicturePool>(new PicturePool(width, height, capacity));
}

std::shared_ptr<Picture> PicturePool::take() {
  std::unique_ptr<Picture> picture;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (!free_.empty()) {
      picture = std::move(free_.back());
      free_.pop_back();
    } else if (created_ < capacity_) {
      ++created_;
    } else {
      return nullptr;
    }
  }
  if (!picture) picture = std::make_unique<Picture>(width_, height_);
  std::weak_ptr<PicturePool> pool = weak_from_this();
  return std::shared_ptr<Picture>(picture.release(), [pool](Picture* returned) {
    if (auto owner = pool.lock()) {
      owner->giveBack(returned);
    } else {
      delete returned;
    }
  });
}

void PicturePool::giveBack(Picture* picture) {
  std::lock_guard<std::mutex> hold(lock_);
  free_.emplace_back(picture);
}

}  // namespace vornakel::capture
