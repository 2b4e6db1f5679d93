#include "native_protocol/command_loop_seams.h"

namespace vornakel::native_protocol {

uint64_t SystemLoopClock::now_unix_seconds() {
  const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since_epoch).count();
  return seconds < 0 ? 0 : static_cast<uint64_t>(seconds);
}

std::chrono::steady_clock::time_point SystemLoopClock::monotonic_now() {
  return std::chrono::steady_clock::now();
}

}  // namespace vornakel::native_protocol
