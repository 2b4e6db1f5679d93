// The operating-system reads of the command loop that are not desktops, displays or input: the two
// clocks and the thread's last error code. Each is a seam so that every timing rule of the loop is
// tested with a fake clock instead of real waiting.
#ifndef VORNAKEL_NATIVE_PROTOCOL_COMMAND_LOOP_SEAMS_H_
#define VORNAKEL_NATIVE_PROTOCOL_COMMAND_LOOP_SEAMS_H_

#include <chrono>
#include <cstdint>

namespace vornakel::native_protocol {

class LoopClock {
 public:
  virtual ~LoopClock() = default;
  // The system clock in whole seconds since the Unix epoch; 0 before the epoch.
  virtual uint64_t now_unix_seconds() = 0;
  // The monotonic clock that paces the command rate limit.
  virtual std::chrono::steady_clock::time_point monotonic_now() = 0;
};

// The calling thread's last Win32 error, read right after a refused dispatch.
class LastErrorReader {
 public:
  virtual ~LastErrorReader() = default;
  virtual uint32_t last_error() = 0;
};

// The real clocks; portable, so the same class serves the program and the benchmarks.
class SystemLoopClock final : public LoopClock {
 public:
  uint64_t now_unix_seconds() override;
  std::chrono::steady_clock::time_point monotonic_now() override;
};

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_COMMAND_LOOP_SEAMS_H_
