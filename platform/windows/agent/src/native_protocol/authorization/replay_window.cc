#include "native_protocol/authorization/replay_window.h"

namespace vornakel::native_protocol {
namespace {

void shift_left(ReplayWindow& window, uint64_t count) {
  if (count >= 128) {
    window.low = window.high = 0;
  } else if (count >= 64) {
    window.high = window.low << (count - 64);
    window.low = 0;
  } else if (count > 0) {
    window.high = (window.high << count) | (window.low >> (64 - count));
    window.low <<= count;
  }
}

bool bit(const ReplayWindow& window, uint64_t index) {
  return index < 64 ? ((window.low >> index) & 1u) != 0 : ((window.high >> (index - 64)) & 1u) != 0;
}

void set_bit(ReplayWindow& window, uint64_t index) {
  if (index < 64) {
    window.low |= uint64_t{1} << index;
  } else {
    window.high |= uint64_t{1} << (index - 64);
  }
}

}  // namespace

std::string_view replay_result_name(ReplayResult result) {
  switch (result) {
    case ReplayResult::kAccept:
      return "Accept";
    case ReplayResult::kDuplicate:
      return "Duplicate";
    case ReplayResult::kTooOld:
      return "TooOld";
    case ReplayResult::kInvalidZero:
      return "InvalidZero";
  }
  return {};
}

ReplayResult replay_check(ReplayWindow& window, uint64_t sequence) {
  if (sequence == 0) return ReplayResult::kInvalidZero;
  if (!window.any_accepted) {
    window.any_accepted = true;
    window.highest = sequence;
    window.low = 1;
    window.high = 0;
    return ReplayResult::kAccept;
  }
  if (sequence > window.highest) {
    shift_left(window, sequence - window.highest);
    set_bit(window, 0);
    window.highest = sequence;
    return ReplayResult::kAccept;
  }
  const uint64_t age = window.highest - sequence;
  if (age > 127) return ReplayResult::kTooOld;
  if (bit(window, age)) return ReplayResult::kDuplicate;
  set_bit(window, age);
  return ReplayResult::kAccept;
}

}  // namespace vornakel::native_protocol
