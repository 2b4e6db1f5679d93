// Modes that this build does not contain yet. Each refuses with a fixed message instead of doing
// something partial.
#include "service_host/modes.h"

namespace vornakel {

Status run_indicator() {
  return Error::message("The session indicator is not available in this build");
}

}  // namespace vornakel
