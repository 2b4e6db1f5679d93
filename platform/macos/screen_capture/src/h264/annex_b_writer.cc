#include "h264/annex_b_writer.h"

#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace vornakel::capture {
namespace {

class PosixWriteSystemCalls final : public WriteSystemCalls {
 public:
  ssize_t write(int descriptor, const void* bytes, size_t count) override {
    return ::write(descriptor, bytes, count);
  }
  ssize_t writev(int descriptor, const iovec* pieces, int count) override {
    return ::writev(descriptor, pieces, count);
  }
};

#ifdef IOV_MAX
constexpr size_t kMaxPiecesPerCall = IOV_MAX;
#else
constexpr size_t kMaxPiecesPerCall = 1024;
#endif

}  // namespace

WriteSystemCalls& WriteSystemCalls::system() {
  static PosixWriteSystemCalls calls;
  return calls;
}

std::optional<AnnexBWriterError> AnnexBWriter::writeAll(std::span<const uint8_t> bytes) const {
  size_t offset = 0;
  while (offset < bytes.size()) {
    const ssize_t written = calls_->write(descriptor, bytes.data() + offset, bytes.size() - offset);
    if (written > 0) {
      offset += static_cast<size_t>(written);
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    return AnnexBWriterError::downstreamClosed;
  }
  return std::nullopt;
}

std::optional<AnnexBWriterError> AnnexBWriter::writeAll(std::span<const iovec> pieces) const {
  // Only the descriptors are copied, and only so that a short write can trim the first one.
  std::vector<iovec> remaining;
  remaining.reserve(pieces.size());
  for (const iovec& piece : pieces) {
    if (piece.iov_len > 0) remaining.push_back(piece);
  }
  size_t first = 0;
  while (first < remaining.size()) {
    const size_t batch = std::min(remaining.size() - first, kMaxPiecesPerCall);
    const ssize_t written =
        calls_->writev(descriptor, remaining.data() + first, static_cast<int>(batch));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return AnnexBWriterError::downstreamClosed;
    size_t advance = static_cast<size_t>(written);
    while (first < remaining.size() && advance >= remaining[first].iov_len) {
      advance -= remaining[first].iov_len;
      ++first;
    }
    if (advance > 0) {
      iovec& partial = remaining[first];
      partial.iov_base = static_cast<uint8_t*>(partial.iov_base) + advance;
      partial.iov_len -= advance;
    }
  }
  return std::nullopt;
}

}  // namespace vornakel::capture
