// When standard input ends: on a pipe only when the writer has gone, on a file at its end.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <variant>

#include "native_protocol/stream_byte_source.h"

namespace vornakel::native_protocol {
namespace {

// Each scripted read hands out its bytes, or fails with its code; an exhausted script fails the
// test rather than blocking.
struct ScriptedRead {
  std::string bytes;
  uint32_t error = 0;
  bool writer_gone = false;  // for a zero-byte read: PeekNamedPipe fails after it
};

class ScriptedReadApi final : public StreamReadApi {
 public:
  ScriptedReadApi(bool pipe, std::deque<ScriptedRead> reads)
      : pipe_(pipe), reads_(std::move(reads)) {}
  bool is_pipe() override { return pipe_; }
  bool writer_connected() override { return writer_connected_; }
  RawRead read(std::span<uint8_t> buffer) override {
    if (reads_.empty()) {
      ADD_FAILURE() << "read past the end of the script";
      return RawRead{false, 0, kErrorBrokenPipe};
    }
    const ScriptedRead next = reads_.front();
    reads_.pop_front();
    writer_connected_ = !next.writer_gone;
    if (next.error != 0) return RawRead{false, 0, next.error};
    std::memcpy(buffer.data(), next.bytes.data(), next.bytes.size());
    return RawRead{true, next.bytes.size(), 0};
  }

 private:
  bool pipe_;
  bool writer_connected_ = true;
  std::deque<ScriptedRead> reads_;
};

// The lines read until the end, then "<end>", or "<error N>" / "<rejected>".
std::string read_all(bool pipe, std::deque<ScriptedRead> reads) {
  StreamByteSource source(std::make_unique<ScriptedReadApi>(pipe, std::move(reads)));
  std::string seen;
  for (int i = 0; i < 8; ++i) {
    ReadOutcome outcome = read_framed_line(source, kCommandLineBound);
    if (auto* line = std::get_if<Line>(&outcome)) {
      seen += line->bytes;
      continue;
    }
    if (std::holds_alternative<EndOfInput>(outcome)) return seen + "<end>";
    if (auto* failed = std::get_if<IoError>(&outcome)) {
      return seen + "<error " + std::to_string(failed->error.code()) + ">";
    }
    return seen + "<rejected>";
  }
  return seen;
}

TEST(StreamInputTest, AnEmptyWriteOnAPipeIsNotTheEnd) {
  EXPECT_EQ(read_all(true, {{""}, {"a\n"}, {""}, {""}, {"b\n"}, {"", kErrorBrokenPipe}}),
            "a\nb\n<end>");
  // Even between the two halves of one line.
  EXPECT_EQ(read_all(true, {{"{\"type\""}, {""}, {":\"close\"}\n"}, {"", kErrorBrokenPipe}}),
            "{\"type\":\"close\"}\n<end>");
}

// Wine reads the end of a Unix pipe as zero bytes; the pipe then has no writer to peek.
TEST(StreamInputTest, ZeroBytesFromAPipeWithoutItsWriterAreTheEnd) {
  EXPECT_EQ(read_all(true, {{"a\n"}, {"", 0, true}}), "a\n<end>");
}

TEST(StreamInputTest, OnAFileZeroBytesAreTheEnd) {
  EXPECT_EQ(read_all(false, {{"a\n"}, {""}}), "a\n<end>");
  EXPECT_EQ(read_all(false, {{""}}), "<end>");
}

TEST(StreamInputTest, OtherReadFailuresAreErrors) {
  EXPECT_EQ(read_all(true, {{"a\n"}, {"", kErrorHandleEof}}), "a\n<end>");
  EXPECT_EQ(read_all(true, {{"a\n"}, {"", 6}}), "a\n<error 2147942406>");  // invalid handle
}

}  // namespace
}  // namespace vornakel::native_protocol
