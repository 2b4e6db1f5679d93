// The input desktop rules over a DesktopApi: only "Default" and "Winlogon" are accepted, held input
// is released on the old desktop before the thread moves and again after, and the backend is
// destroyed so that a new one is built for the new desktop.
#ifndef VORNAKEL_NATIVE_PROTOCOL_INJECTION_INPUT_DESKTOP_TRACKER_H_
#define VORNAKEL_NATIVE_PROTOCOL_INJECTION_INPUT_DESKTOP_TRACKER_H_

#include <memory>
#include <string>

#include "native_protocol/injection/desktop_api.h"
#include "native_protocol/injection/input_desktop.h"

namespace vornakel::native_protocol {

class InputDesktopTracker : public InputDesktop {
 public:
  explicit InputDesktopTracker(std::unique_ptr<DesktopApi> api);
  ~InputDesktopTracker() override;  // closes the attached desktop's handle
  InputDesktopTracker(const InputDesktopTracker&) = delete;
  InputDesktopTracker& operator=(const InputDesktopTracker&) = delete;

  Result<bool> refresh_input_desktop(std::unique_ptr<InputBackend>& backend) override;
  const std::string& name() const override { return name_; }

 private:
  void adopt(DesktopApi::Handle handle, std::string name);

  std::unique_ptr<DesktopApi> api_;
  DesktopApi::Handle handle_ = 0;
  std::string name_;
};

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_INJECTION_INPUT_DESKTOP_TRACKER_H_
