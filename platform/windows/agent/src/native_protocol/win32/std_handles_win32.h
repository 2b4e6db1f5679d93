// The process's own standard input and output as the input host's byte source and status sink.
#ifndef VORNAKEL_NATIVE_PROTOCOL_WIN32_STD_HANDLES_WIN32_H_
#define VORNAKEL_NATIVE_PROTOCOL_WIN32_STD_HANDLES_WIN32_H_

#include <windows.h>

#include "native_protocol/buffered_byte_source.h"
#include "native_protocol/framing.h"

namespace vornakel::native_protocol {

// Reads STD_INPUT_HANDLE. A closed or broken pipe reads as end of input.
class StdInputSource final : public BufferedByteSource {
 public:
  StdInputSource();

 protected:
  Result<size_t> read_raw(std::span<uint8_t> buffer) override;

 private:
  HANDLE handle_;
};

// Writes STD_OUTPUT_HANDLE unbuffered; flush() asks the pipe to drain (a broken pipe is an error).
class StdOutputSink final : public StatusSink {
 public:
  StdOutputSink();
  Status write(std::string_view bytes) override;
  Status flush() override;

 private:
  HANDLE handle_;
};

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_WIN32_STD_HANDLES_WIN32_H_
