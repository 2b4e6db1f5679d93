// Keeps the calling thread attached to the current input desktop ("Default" or "Winlogon").
#ifndef VORNAKEL_NATIVE_PROTOCOL_INJECTION_INPUT_DESKTOP_H_
#define VORNAKEL_NATIVE_PROTOCOL_INJECTION_INPUT_DESKTOP_H_

#include <memory>
#include <string>

#include "common/result.h"
#include "native_protocol/injection/input_action.h"

namespace vornakel::native_protocol {

class InputDesktop {
 public:
  virtual ~InputDesktop() = default;
  // Follows the input desktop. Returns true when the thread moved to another desktop; the held
  // input of `backend` is then released and the backend destroyed (null afterwards), so the caller
  // must build a new one. Errors: the OS error of opening the input desktop; the generic rejection
  // error when the desktop cannot be named, is not accepted or cannot be attached; the backend's
  // message when releasing held input after the switch fails.
  virtual Result<bool> refresh_input_desktop(std::unique_ptr<InputBackend>& backend) = 0;
  // Name of the attached desktop; empty before the first attachment.
  virtual const std::string& name() const = 0;
};

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_INJECTION_INPUT_DESKTOP_H_
