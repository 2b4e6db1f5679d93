// A DesktopApi over a scripted sequence of input desktops, recording every call.
#ifndef VORNAKEL_TESTS_NATIVE_PROTOCOL_INJECTION_SUPPORT_FAKE_DESKTOP_API_H_
#define VORNAKEL_TESTS_NATIVE_PROTOCOL_INJECTION_SUPPORT_FAKE_DESKTOP_API_H_

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "native_protocol/injection/desktop_api.h"
#include "native_protocol/injection/input_action.h"

namespace vornakel::native_protocol::testing {

struct DesktopState {
  // The input desktop's name; nullopt makes the name unreadable.
  std::optional<std::u16string> input_desktop = u"Default";
  std::optional<uint32_t> open_error;  // Win32 code of a failing OpenInputDesktop
  bool set_thread_desktop_fails = false;
  bool naming_runs_out_of_memory = false;  // desktop_name throws std::bad_alloc
  // Calls in order: "open N", "name N", "set N", "close N" (N: handle).
  std::vector<std::string> calls;
  std::vector<DesktopApi::Handle> open_handles;
  DesktopApi::Handle next_handle = 1;
};

class FakeDesktopApi : public DesktopApi {
 public:
  explicit FakeDesktopApi(std::shared_ptr<DesktopState> state) : state_(std::move(state)) {}

  Result<Handle, uint32_t> open_input_desktop() override;
  std::optional<std::u16string> desktop_name(Handle desktop) override;
  bool set_thread_desktop(Handle desktop) override;
  void close_desktop(Handle desktop) override;

 private:
  std::shared_ptr<DesktopState> state_;
};

// A backend that only logs release_all and its own destruction into a shared call list.
class LoggingBackend : public InputBackend {
 public:
  LoggingBackend(std::vector<std::string>& calls, std::vector<bool> release_results)
      : calls_(calls), release_results_(std::move(release_results)) {}
  ~LoggingBackend() override { calls_.push_back("backend destroyed"); }

  Result<void, AdapterError> execute(const InputAction&) override { return {}; }
  Result<void, AdapterError> release_all() override;

 private:
  std::vector<std::string>& calls_;
  std::vector<bool> release_results_;  // consumed in order; success once exhausted
};

}  // namespace vornakel::native_protocol::testing

#endif  // VORNAKEL_TESTS_NATIVE_PROTOCOL_INJECTION_SUPPORT_FAKE_DESKTOP_API_H_
