#include "native_protocol/support/ticket_test_support.h"

#include <algorithm>
#include <cstring>

namespace vornakel::native_protocol::testing {

Result<size_t> ScriptedInput::read_raw(std::span<uint8_t> buffer) {
  if (position_ == input_.size()) {
    if (error_) return *error_;
    return size_t{0};
  }
  const size_t count = std::min({buffer.size(), chunk_, input_.size() - position_});
  std::memcpy(buffer.data(), input_.data() + position_, count);
  position_ += count;
  return count;
}

Result<std::span<const uint8_t>> ByteAtATimeSource::fill() {
  const auto* data = reinterpret_cast<const uint8_t*>(input_.data()) + position_;
  return std::span<const uint8_t>(data, position_ < input_.size() ? 1 : 0);
}

Status RecordingSink::write(std::string_view bytes) {
  if (fail_write) return *fail_write;
  written.append(bytes);
  return Ok();
}

Status RecordingSink::flush() {
  if (fail_flush) return *fail_flush;
  flushed_at.push_back(written.size());
  return Ok();
}

Result<void, AdapterError> RecordingBackend::execute(const InputAction& action) {
  if (fail) return *fail;
  executed.push_back(action);
  return {};
}

}  // namespace vornakel::native_protocol::testing
