// Which control sequence numbers a session has already used: the highest one and the 127 below it.
#ifndef VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_REPLAY_WINDOW_H_
#define VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_REPLAY_WINDOW_H_

#include <cstdint>
#include <string_view>

namespace vornakel::native_protocol {

enum class ReplayResult : uint8_t { kAccept = 0, kDuplicate = 1, kTooOld = 2, kInvalidZero = 3 };

std::string_view replay_result_name(ReplayResult result);

struct ReplayWindow {
  bool any_accepted = false;
  uint64_t highest = 0;
  // Bit i of the 128-bit mask records sequence (highest - i); `low` holds bits 0 to 63.
  uint64_t low = 0;
  uint64_t high = 0;
};

// Records `sequence` when it is accepted.
ReplayResult replay_check(ReplayWindow& window, uint64_t sequence);

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_REPLAY_WINDOW_H_
