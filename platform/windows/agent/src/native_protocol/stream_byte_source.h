// Standard input as a ByteSource: when a read means the end of input and when it only means that
// the writer wrote nothing, which depends on what kind of handle standard input is.
#ifndef VORNAKEL_NATIVE_PROTOCOL_STREAM_BYTE_SOURCE_H_
#define VORNAKEL_NATIVE_PROTOCOL_STREAM_BYTE_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "common/result.h"
#include "native_protocol/buffered_byte_source.h"

namespace vornakel::native_protocol {

// Win32 codes that end the input instead of failing the read.
inline constexpr uint32_t kErrorBrokenPipe = 109;
inline constexpr uint32_t kErrorHandleEof = 38;

// One ReadFile as Windows reported it.
struct RawRead {
  bool succeeded = false;
  size_t count = 0;    // bytes read, when it succeeded
  uint32_t error = 0;  // GetLastError, when it failed
};

// ReadFile and GetFileType on one handle.
class StreamReadApi {
 public:
  virtual ~StreamReadApi() = default;
  // GetFileType reports FILE_TYPE_PIPE.
  virtual bool is_pipe() = 0;
  virtual RawRead read(std::span<uint8_t> buffer) = 0;
  // PeekNamedPipe succeeds: the pipe still has its writer.
  virtual bool writer_connected() = 0;
};

// On a pipe a read that succeeds with zero bytes is the writer's empty write, not its end (that is
// ERROR_BROKEN_PIPE), so the read is repeated while the pipe still has its writer; on a file or a
// device zero bytes are the end.
class StreamByteSource : public BufferedByteSource {
 public:
  explicit StreamByteSource(std::unique_ptr<StreamReadApi> api);

 protected:
  Result<size_t> read_raw(std::span<uint8_t> buffer) final;

 private:
  std::unique_ptr<StreamReadApi> api_;
  bool pipe_;
};

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_STREAM_BYTE_SOURCE_H_
