// The process's own standard input and output as the input host's byte source and status sink.
#ifndef VORNAKEL_NATIVE_PROTOCOL_WIN32_STD_HANDLES_WIN32_H_
#define VORNAKEL_NATIVE_PROTOCOL_WIN32_STD_HANDLES_WIN32_H_

#include <windows.h>

#include <string>

#include "native_protocol/framing.h"
#include "native_protocol/stream_byte_source.h"

namespace vornakel::native_protocol {

// Reads STD_INPUT_HANDLE under StreamByteSource's end-of-input rules. A missing handle reads as
// the end of input.
class StdInputSource final : public StreamByteSource {
 public:
  StdInputSource();
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
