#include "native_protocol/stream_byte_source.h"

#include <algorithm>
#include <utility>

namespace vornakel::native_protocol {

StreamByteSource::StreamByteSource(std::unique_ptr<StreamReadApi> api)
    : api_(std::move(api)), pipe_(api_->is_pipe()) {}

Result<size_t> StreamByteSource::read_raw(std::span<uint8_t> buffer) {
  for (;;) {
    const RawRead read = api_->read(buffer);
    if (!read.succeeded) {
      // The writer closing its end of the pipe is the end of input, not a failure.
      if (read.error == kErrorBrokenPipe || read.error == kErrorHandleEof) return size_t{0};
      return Error::os_from_win32(read.error);
    }
    if (read.count > 0 || !pipe_) return std::min(read.count, buffer.size());
    // Zero bytes on a pipe are the agent's empty write when the pipe still has its writer: wait
    // for its next bytes. A pipe that cannot tell has ended (Wine reads the end of a Unix pipe as
    // zero bytes and cannot peek it).
    if (!api_->writer_connected()) return size_t{0};
  }
}

}  // namespace vornakel::native_protocol
