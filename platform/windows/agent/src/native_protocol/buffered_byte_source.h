// A ByteSource over a raw stream (a pipe, a file): keeps what one raw read returned beyond the
// current line for the next framed read.
#ifndef VORNAKEL_NATIVE_PROTOCOL_BUFFERED_BYTE_SOURCE_H_
#define VORNAKEL_NATIVE_PROTOCOL_BUFFERED_BYTE_SOURCE_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/result.h"
#include "native_protocol/framing.h"

namespace vornakel::native_protocol {

class BufferedByteSource : public ByteSource {
 public:
  Result<std::span<const uint8_t>> fill() final;
  void consume(size_t count) final;

 protected:
  // Reads at most buffer.size() bytes; 0 means end of input.
  virtual Result<size_t> read_raw(std::span<uint8_t> buffer) = 0;

 private:
  std::array<uint8_t, 4096> buffer_{};
  size_t begin_ = 0;
  size_t end_ = 0;
};

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_BUFFERED_BYTE_SOURCE_H_
