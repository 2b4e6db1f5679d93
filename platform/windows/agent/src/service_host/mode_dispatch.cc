#include "service_host/mode_dispatch.h"

#include <optional>

#include "common/utf16.h"

namespace vornakel {
namespace {

std::optional<Mode> mode_named(const std::string& name) {
  if (name == "--input") return Mode::kInput;
  if (name == "--capture") return Mode::kCapture;
  if (name == "--indicator") return Mode::kIndicator;
  if (name == "--is-system") return Mode::kIsSystem;
  if (name == "--validate-install") return Mode::kValidateInstall;
  return std::nullopt;
}

// The helpers that run in the user's session check the token before touching the window station,
// so a caller that is not LocalSystem always learns that, never a window-station error.
Status run_session_helper_prelude(ModeSteps& steps) {
  VK_RETURN_IF_ERROR(steps.require_local_system());
  return steps.attach_interactive_window_station();
}

}  // namespace

ModeSelection select_mode(const std::vector<std::u16string>& args) {
  ModeSelection selection;
  if (args.empty()) {
    selection.mode = Mode::kService;
    return selection;
  }
  const std::optional<std::string> first = utf16_to_utf8(args.front());
  if (!first) {
    selection.mode = Mode::kService;
    return selection;
  }
  const std::optional<Mode> mode = mode_named(*first);
  if (!mode) return selection;
  if (*mode == Mode::kCapture) {
    selection.mode = Mode::kCapture;
    selection.capture_args.assign(args.begin() + 1, args.end());
    return selection;
  }
  if (args.size() != 1) return selection;
  selection.mode = *mode;
  return selection;
}

Status run_mode(const ModeSelection& selection, ModeSteps& steps) {
  switch (selection.mode) {
    case Mode::kService:
      return steps.run_service_dispatcher();
    case Mode::kInput:
      VK_RETURN_IF_ERROR(run_session_helper_prelude(steps));
      return steps.run_input_host();
    case Mode::kCapture:
      VK_RETURN_IF_ERROR(run_session_helper_prelude(steps));
      return steps.run_capture_host(selection.capture_args);
    case Mode::kIndicator:
      VK_RETURN_IF_ERROR(run_session_helper_prelude(steps));
      return steps.run_indicator();
    case Mode::kIsSystem:
      return steps.require_local_system();
    case Mode::kValidateInstall:
      return steps.validate_install();
    case Mode::kUnknown:
      break;
  }
  return Error::message(kUnknownServiceOperation);
}

}  // namespace vornakel
