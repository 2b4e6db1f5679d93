// Fakes for the authorization phase: scripted standard input, recorded standard output, a fixed
// clock and a backend that records what reaches it.
#ifndef VORNAKEL_TESTS_NATIVE_PROTOCOL_SUPPORT_TICKET_TEST_SUPPORT_H_
#define VORNAKEL_TESTS_NATIVE_PROTOCOL_SUPPORT_TICKET_TEST_SUPPORT_H_

#include <optional>
#include <string>
#include <vector>

#include "native_protocol/authorization/unix_clock.h"
#include "native_protocol/buffered_byte_source.h"
#include "native_protocol/framing.h"
#include "native_protocol/injection/input_action.h"

namespace vornakel::native_protocol::testing {

// Hands out `input` in reads of at most `chunk` bytes, then end of input (or `error`).
class ScriptedInput final : public BufferedByteSource {
 public:
  explicit ScriptedInput(std::string input, size_t chunk = 4096,
                         std::optional<Error> error = std::nullopt)
      : input_(std::move(input)), chunk_(chunk), error_(std::move(error)) {}

  // Bytes taken from the underlying stream so far (what a pipe would have lost).
  size_t raw_consumed() const { return position_; }

 protected:
  Result<size_t> read_raw(std::span<uint8_t> buffer) override;

 private:
  std::string input_;
  size_t chunk_;
  std::optional<Error> error_;
  size_t position_ = 0;
};

// Reads exactly one byte per fill, so what has been consumed is what has been read.
class ByteAtATimeSource final : public ByteSource {
 public:
  explicit ByteAtATimeSource(std::string input) : input_(std::move(input)) {}
  Result<std::span<const uint8_t>> fill() override;
  void consume(size_t count) override { position_ += count; }
  size_t consumed() const { return position_; }

 private:
  std::string input_;
  size_t position_ = 0;
};

class RecordingSink final : public StatusSink {
 public:
  Status write(std::string_view bytes) override;
  Status flush() override;

  std::string written;
  // What had been written at each flush.
  std::vector<size_t> flushed_at;
  std::optional<Error> fail_write;
  std::optional<Error> fail_flush;
};

class FixedClock final : public UnixClock {
 public:
  explicit FixedClock(uint64_t now) : now_(now) {}
  uint64_t now_unix_s() override { return now_; }
  void set(uint64_t now) { now_ = now; }

 private:
  uint64_t now_;
};

class RecordingBackend final : public InputBackend {
 public:
  Result<void, AdapterError> execute(const InputAction& action) override;
  Result<void, AdapterError> release_all() override { return {}; }

  std::vector<InputAction> executed;
  std::optional<AdapterError> fail;
};

}  // namespace vornakel::native_protocol::testing

#endif  // VORNAKEL_TESTS_NATIVE_PROTOCOL_SUPPORT_TICKET_TEST_SUPPORT_H_
