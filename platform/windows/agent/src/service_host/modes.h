// The mode entries that the process entry hands control to (Windows only). Each returns success
// or the error that ends the process.
#ifndef VORNAKEL_SERVICE_HOST_MODES_H_
#define VORNAKEL_SERVICE_HOST_MODES_H_

#include <string>
#include <vector>

#include "common/result.h"

namespace vornakel {

// Connects to the service control manager and returns once the service has stopped.
Status run_service_dispatcher();
// The native input host; returns when its session ends.
Status run_input_host();
// The capture host with the arguments after "--capture"; on success it ends the process itself
// with the media engine's exit status.
Status run_capture_host_then_exit(const std::vector<std::u16string>& args);
// The session indicator. It returns only a failure before its windows start; after that it ends
// the process itself, with status 0 or 1, when its standard input closes or a window ends.
Status run_indicator();

}  // namespace vornakel

#endif  // VORNAKEL_SERVICE_HOST_MODES_H_
