// Modes that this build does not contain yet. Each refuses with a fixed message instead of doing
// something partial.
#include "service_host/modes.h"

namespace vornakel {

Status run_capture_host(const std::vector<std::u16string>&) {
  return Error::message("The capture host is not available in this build");
}

}  // namespace vornakel
