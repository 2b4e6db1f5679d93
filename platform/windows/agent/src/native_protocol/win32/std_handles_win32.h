// The process's own standard input and output as the input host's byte source and status sink.
#ifndef VORNAKEL_NATIVE_PROTOCOL_WIN32_STD_HANDLES_WIN32_H_
#define VORNAKEL_NATIVE_PROTOCOL_WIN32_STD_HANDLES_WIN32_H_

#include <windows.h>

#include <string>

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

// Collects status lines and hands them to STD_OUTPUT_HANDLE on flush(), so that lines written back
// to back leave in one write and a closed pipe is reported by the flush. FlushFileBuffers is not
// used: on a pipe it would wait for the agent to read, and Wine refuses it for pipes.
class StdOutputSink final : public StatusSink {
 public:
  StdOutputSink();
  Status write(std::string_view bytes) override;
  Status flush() override;

 private:
  HANDLE handle_;
  std::string pending_;
};

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_WIN32_STD_HANDLES_WIN32_H_
