// "Now" of the authorization rules: the system clock in whole seconds since the Unix epoch.
#ifndef VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_UNIX_CLOCK_H_
#define VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_UNIX_CLOCK_H_

#include <cstdint>

namespace vornakel::native_protocol {

class UnixClock {
 public:
  virtual ~UnixClock() = default;
  // Whole seconds since the epoch; 0 when the clock reads before it.
  virtual uint64_t now_unix_s() = 0;
};

class SystemUnixClock final : public UnixClock {
 public:
  uint64_t now_unix_s() override;
};

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_UNIX_CLOCK_H_
