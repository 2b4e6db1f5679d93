// Chooses what the process does from its arguments and runs the chosen mode's steps in order.
#ifndef VORNAKEL_SERVICE_HOST_MODE_DISPATCH_H_
#define VORNAKEL_SERVICE_HOST_MODE_DISPATCH_H_

#include <string>
#include <vector>

#include "common/result.h"

namespace vornakel {

enum class Mode {
  kService,          // no argument: the service control manager started us
  kInput,            // "--input"
  kCapture,          // "--capture" [engine arguments...]
  kIndicator,        // "--indicator"
  kIsSystem,         // "--is-system"
  kValidateInstall,  // "--validate-install"
  kUnknown,          // anything else: "Unknown service operation"
};

inline constexpr char kUnknownServiceOperation[] = "Unknown service operation";

struct ModeSelection {
  Mode mode = Mode::kUnknown;
  std::vector<std::u16string> capture_args;  // the arguments after "--capture", unchanged
};

// `args` excludes the program name. Matching is exact and case-sensitive; a first argument with an
// unpaired surrogate counts as no argument at all.
ModeSelection select_mode(const std::vector<std::u16string>& args);

// The steps a mode may run, in the form the dispatcher calls them.
class ModeSteps {
 public:
  virtual ~ModeSteps() = default;
  virtual Status require_local_system() = 0;
  virtual Status attach_interactive_window_station() = 0;
  virtual Status run_service_dispatcher() = 0;
  virtual Status run_input_host() = 0;
  virtual Status run_capture_host(const std::vector<std::u16string>& args) = 0;
  virtual Status run_indicator() = 0;
  virtual Status validate_install() = 0;  // the layout is not needed here
};

// Runs the selected mode's steps; the first failing step ends the mode with its error.
Status run_mode(const ModeSelection& selection, ModeSteps& steps);

}  // namespace vornakel

#endif  // VORNAKEL_SERVICE_HOST_MODE_DISPATCH_H_
