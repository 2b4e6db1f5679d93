#include "native_protocol/buffered_byte_source.h"

#include <algorithm>

namespace vornakel::native_protocol {

Result<std::span<const uint8_t>> BufferedByteSource::fill() {
  if (begin_ == end_) {
    begin_ = end_ = 0;
    auto read = read_raw(std::span<uint8_t>(buffer_));
    if (!read.ok()) return read.take_error();
    end_ = std::min(read.value(), buffer_.size());
  }
  return std::span<const uint8_t>(buffer_.data() + begin_, end_ - begin_);
}

void BufferedByteSource::consume(size_t count) { begin_ += std::min(count, end_ - begin_); }

}  // namespace vornakel::native_protocol
