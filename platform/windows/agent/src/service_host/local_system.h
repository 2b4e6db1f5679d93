// The two checks every in-session helper runs before anything else: its token must be
// LocalSystem's, and its window station must be the interactive one.
#ifndef VORNAKEL_SERVICE_HOST_LOCAL_SYSTEM_H_
#define VORNAKEL_SERVICE_HOST_LOCAL_SYSTEM_H_

#include <cstddef>
#include <cstdint>

#include "common/result.h"

namespace vornakel {

// Windows only. Succeeds only when the current process token's user is LocalSystem.
Status require_local_system();

// Windows only. Makes "WinSta0" the process window station; its handle stays open for the life of
// the process.
Status attach_interactive_window_station();

inline constexpr char kInvalidProcessToken[] = "Invalid process token";
inline constexpr char kRequiresLocalSystem[] =
    "This entry point requires the installed LocalSystem service";
inline constexpr uint32_t kMaxTokenUserBytes = 65536;

// A TokenUser size outside 1..65536 comes from a broken or hostile token, never a real one.
inline constexpr bool token_user_size_in_bound(uint64_t size) {
  return size >= 1 && size <= kMaxTokenUserBytes;
}

inline constexpr size_t round_up_to_8(size_t size) { return (size + 7) & ~static_cast<size_t>(7); }

}  // namespace vornakel

#endif  // VORNAKEL_SERVICE_HOST_LOCAL_SYSTEM_H_
