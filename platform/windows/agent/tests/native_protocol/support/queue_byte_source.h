// An in-memory standard input for the command reader: hands out its bytes in chunks of a fixed
// size, so lines straddle fills the way they do on a pipe, and can end in a read error.
#ifndef VORNAKEL_TESTS_NATIVE_PROTOCOL_SUPPORT_QUEUE_BYTE_SOURCE_H_
#define VORNAKEL_TESTS_NATIVE_PROTOCOL_SUPPORT_QUEUE_BYTE_SOURCE_H_

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "native_protocol/framing.h"

namespace vornakel::native_protocol::testing {

class QueueByteSource final : public ByteSource {
 public:
  explicit QueueByteSource(std::string bytes, std::size_t chunk = 7, bool fail_at_end = false)
      : bytes_(std::move(bytes)), chunk_(chunk), fail_at_end_(fail_at_end) {}

  Result<std::span<const uint8_t>> fill() override {
    if (offset_ == bytes_.size()) {
      if (fail_at_end_) return Error::os_from_win32(109);  // a broken pipe
      return std::span<const uint8_t>();
    }
    // Like a pipe: the buffered window is handed out again until it is used up, then refilled.
    if (offset_ >= window_end_) window_end_ = std::min(bytes_.size(), offset_ + chunk_);
    return std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes_.data()) + offset_,
                                    window_end_ - offset_);
  }

  void consume(std::size_t count) override {
    offset_ += count;
    consumed_.store(offset_, std::memory_order_relaxed);
  }

  // How far the reader has got; readable from another thread.
  std::size_t consumed() const { return consumed_.load(std::memory_order_relaxed); }

 private:
  std::string bytes_;
  std::size_t chunk_;
  bool fail_at_end_;
  std::size_t offset_ = 0;
  std::size_t window_end_ = 0;
  std::atomic<std::size_t> consumed_{0};
};

}  // namespace vornakel::native_protocol::testing

#endif  // VORNAKEL_TESTS_NATIVE_PROTOCOL_SUPPORT_QUEUE_BYTE_SOURCE_H_
