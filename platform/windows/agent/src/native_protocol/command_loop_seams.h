// The operating-system reads of the command loop that are not desktops, displays, input or the
// whole-second clock: the monotonic clock that paces the rate limit and the thread's last error
// code. Each is a seam so that every timing rule of the loop is tested with a fake clock.
#ifndef VORNAKEL_NATIVE_PROTOCOL_COMMAND_LOOP_SEAMS_H_
#define VORNAKEL_NATIVE_PROTOCOL_COMMAND_LOOP_SEAMS_H_

#include <chrono>
#include <cstdint>

namespace vornakel::native_protocol {

class MonotonicClock {
 public:
  virtual ~MonotonicClock() = default;
  virtual std::chrono::steady_clock::time_point now() = 0;
};

class SystemMonotonicClock final : public MonotonicClock {
 public:
  std::chrono::steady_clock::time_point now() override { return std::chrono::steady_clock::now(); }
};

// The calling thread's last Win32 error, read right after a refused dispatch.
class LastErrorReader {
 public:
  virtual ~LastErrorReader() = default;
  virtual uint32_t last_error() = 0;
};

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_COMMAND_LOOP_SEAMS_H_
