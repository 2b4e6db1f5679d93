#include "native_protocol/authorization/unix_clock.h"

#include <chrono>

namespace vornakel::native_protocol {

uint64_t SystemUnixClock::now_unix_s() {
  const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since_epoch).count();
  return seconds < 0 ? 0 : static_cast<uint64_t>(seconds);
}

}  // namespace vornakel::native_protocol
