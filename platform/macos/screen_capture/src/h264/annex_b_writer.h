#pragma once

#include <sys/types.h>
#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace vornakel::capture {

enum class AnnexBWriterError { downstreamClosed };

// The two system calls the writer makes, behind a seam so that tests can script EINTR, short
// writes and a reader that goes away.
class WriteSystemCalls {
 public:
  virtual ~WriteSystemCalls() = default;
  virtual ssize_t write(int descriptor, const void* bytes, size_t count) = 0;
  virtual ssize_t writev(int descriptor, const iovec* pieces, int count) = 0;

  static WriteSystemCalls& system();
};

// Writes the video stream to a descriptor, unbuffered, and turns every way a reader can go away
// (EPIPE with SIGPIPE ignored, a zero-length write) into `downstreamClosed`.
class AnnexBWriter {
 public:
  explicit AnnexBWriter(int outputDescriptor = 1,
                        WriteSystemCalls& calls = WriteSystemCalls::system())
      : descriptor(outputDescriptor), calls_(&calls) {}

  // Writes every byte, repeating after EINTR and continuing after short writes.
  std::optional<AnnexBWriterError> writeAll(std::span<const uint8_t> bytes) const;

  // The same for a gathered list of pieces: one writev per access unit in the normal case. The
  // pieces themselves are never copied; only the list is, to step past a short write.
  std::optional<AnnexBWriterError> writeAll(std::span<const iovec> pieces) const;

  int descriptor;

 private:
  WriteSystemCalls* calls_;
};

}  // namespace vornakel::capture
