// The process entry's last step: a mode's result becomes the exit status, and an error one line on
// standard error.
#ifndef VORNAKEL_COMMON_EXIT_STATUS_H_
#define VORNAKEL_COMMON_EXIT_STATUS_H_

#include <string_view>

#include "common/result.h"

namespace vornakel {

// Written when an exception escapes a mode or the report of its error. Only an allocation can
// throw in this program, so the report may have failed for want of memory: this line needs none.
inline constexpr std::string_view kOutOfMemoryLine =
    "Windows host service: The process ran out of memory\n";

// Runs `run`; success is status 0. An error is written with `write_error` ("Windows host
// service: ", its display, a line feed) and is status 1. An exception from either is caught here
// and `write_fixed` (which must not throw) gets kOutOfMemoryLine, again with status 1.
template <typename Run, typename WriteError, typename WriteFixed>
int exit_status_of(Run&& run, WriteError&& write_error, WriteFixed&& write_fixed) noexcept {
  try {
    const Status status = run();
    if (status.ok()) return 0;
    write_error(status.error());
  } catch (...) {
    write_fixed(kOutOfMemoryLine);
  }
  return 1;
}

}  // namespace vornakel

#endif  // VORNAKEL_COMMON_EXIT_STATUS_H_
