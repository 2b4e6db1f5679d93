// The input host's command reader: framed lines under the command bound, handed out by a source
// in pieces of any size, read into the queue the loop takes them from. Oracle: an independent
// splitter predicts every line, the one outcome that ends the reading (end of input, an over-long
// or unterminated line, a read error) and how far the source was consumed; the queue hands the
// loop exactly those lines in order, then the end marker.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "native_protocol/command_queue.h"
#include "native_protocol/command_queue_reader.h"
#include "native_protocol/framing.h"
#include "support/fuzz_oracles.h"

namespace {

using namespace vornakel::native_protocol;
using vornakel::fuzz::require;

// Serves `bytes` in pieces of at most `piece` bytes; at `fail_at` (when below the end) every
// further fill fails, as a broken pipe does.
class PieceSource final : public ByteSource {
 public:
  PieceSource(std::string_view bytes, size_t piece, size_t fail_at)
      : bytes_(bytes),
        piece_(piece),
        end_(std::min(fail_at, bytes.size())),
        fails_(fail_at < bytes.size()) {}
  vornakel::Result<std::span<const uint8_t>> fill() override {
    if (position_ == end_ && fails_) return vornakel::Error::os_from_win32(109);
    const size_t count = std::min(piece_, end_ - position_);
    return std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes_.data()) + position_,
                                    count);
  }
  void consume(size_t count) override {
    require(count <= std::min(piece_, end_ - position_), "the reader consumes only what it saw");
    position_ += count;
  }
  size_t position() const { return position_; }

 private:
  std::string_view bytes_;
  size_t piece_;
  size_t end_;
  bool fails_;
  size_t position_ = 0;
};

enum class Kind { kLine, kEnd, kRejected, kIoError };
struct Expected {
  Kind kind;
  size_t next;  // where the source stands afterwards
};

Expected expect_read(std::string_view bytes, size_t at, size_t bound, size_t fail_at) {
  const size_t end = std::min(fail_at, bytes.size());
  const bool fails = fail_at < bytes.size();
  if (at == end) return {fails ? Kind::kIoError : Kind::kEnd, at};
  const size_t window = std::min(bound + 1, end - at);
  for (size_t k = 0; k < window; ++k) {
    if (bytes[at + k] == '\n') return {k + 1 <= bound ? Kind::kLine : Kind::kRejected, at + k + 1};
  }
  if (end - at >= bound + 1) return {Kind::kRejected, at + bound + 1};
  return {fails ? Kind::kIoError : Kind::kRejected, end};
}

Kind kind_of(const ReadOutcome& outcome) {
  if (std::holds_alternative<Line>(outcome)) return Kind::kLine;
  if (std::holds_alternative<EndOfInput>(outcome)) return Kind::kEnd;
  if (std::holds_alternative<Rejected>(outcome)) return Kind::kRejected;
  return Kind::kIoError;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const size_t piece = 1 + data[0] % 64 + (data[1] & 0x80 ? 4096 : 0);
  const size_t fail_at = (data[1] & 0x40) ? (static_cast<size_t>(data[2]) << 6) : SIZE_MAX;
  // Small bounds reach the edges quickly; the command bound itself is the one that ships.
  const size_t bound = (data[1] & 0x20) ? 1 + data[3] % 32 : kCommandLineBound;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 4, size - 4);

  // One framed read after another, each checked against the splitter.
  {
    PieceSource source(bytes, piece, fail_at);
    size_t at = 0;
    for (;;) {
      const Expected expected = expect_read(bytes, at, bound, fail_at);
      const ReadOutcome outcome = read_framed_line(source, bound);
      require(kind_of(outcome) == expected.kind, "the framed read ends as the splitter says");
      if (const auto* line = std::get_if<Line>(&outcome)) {
        require(line->bytes == bytes.substr(at, expected.next - at),
                "a line is its bytes, LF included");
      }
      if (const auto* rejected = std::get_if<Rejected>(&outcome)) {
        require(rejected->error == generic_rejection(), "a rejected line gives the generic error");
      }
      require(source.position() <= expected.next, "nothing past the line or bound + 1 is consumed");
      if (expected.kind != Kind::kLine) break;
      require(source.position() == expected.next, "a line is consumed whole");
      at = expected.next;
    }
  }

  // The reader thread's loop, run here, into a queue roomy enough never to block.
  {
    PieceSource source(bytes, piece, fail_at);
    CommandQueue queue(bytes.size() + 2);
    run_command_reader(source, queue);
    size_t at = 0;
    std::string line;
    for (;;) {
      const Expected expected = expect_read(bytes, at, kCommandLineBound, fail_at);
      const Received received = queue.wait_for(std::chrono::milliseconds(0), line);
      if (expected.kind == Kind::kLine) {
        require(received == Received::kLine && line == bytes.substr(at, expected.next - at),
                "the queue hands out every line in order");
        at = expected.next;
        continue;
      }
      require(received == Received::kEndOfInput, "whatever ends the reading ends the queue");
      break;
    }
    require(queue.wait_reader_finished(std::chrono::milliseconds(0)), "the reader says it is gone");
  }
  return 0;
}
