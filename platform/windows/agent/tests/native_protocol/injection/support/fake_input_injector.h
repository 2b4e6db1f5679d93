// An InputInjector that records what the backend asks of the system and can be told to fail.
#ifndef VORNAKEL_TESTS_NATIVE_PROTOCOL_INJECTION_SUPPORT_FAKE_INPUT_INJECTOR_H_
#define VORNAKEL_TESTS_NATIVE_PROTOCOL_INJECTION_SUPPORT_FAKE_INPUT_INJECTOR_H_

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "native_protocol/injection/input_injector.h"

namespace vornakel::native_protocol::testing {

// Shared between a test and the injector the backend owns.
struct InjectorState {
  // Every send_input call, each with its events.
  std::vector<std::vector<InjectedEvent>> sends;
  // Calls in order: "send", "set_cursor x y", "dpi_enter", "dpi_restore".
  std::vector<std::string> calls;
  // Sends numbered from 1 that report zero events accepted.
  std::vector<size_t> failing_sends;
  std::optional<CursorPoint> cursor = CursorPoint{0, 0};
  int32_t screen_width = 1920;
  int32_t screen_height = 1080;
  bool dpi_enter_succeeds = true;
  std::optional<std::string> set_cursor_error;
  std::map<uint16_t, uint32_t> scan_codes;  // default: 0x100 + vk
  int dpi_depth = 0;

  // All events sent so far, flattened.
  std::vector<InjectedEvent> events() const;
};

class FakeInputInjector : public InputInjector {
 public:
  explicit FakeInputInjector(std::shared_ptr<InjectorState> state) : state_(std::move(state)) {}

  bool send_input(const InjectedEvent& event) override;
  Result<void, AdapterError> set_cursor_pos(int32_t x, int32_t y) override;
  std::optional<CursorPoint> cursor_pos() override { return state_->cursor; }
  int32_t primary_screen_width() override { return state_->screen_width; }
  int32_t primary_screen_height() override { return state_->screen_height; }
  bool enter_per_monitor_dpi_awareness() override;
  void restore_dpi_awareness() override;
  uint32_t scan_code_for(uint16_t vk) override;

 private:
  std::shared_ptr<InjectorState> state_;
};

}  // namespace vornakel::native_protocol::testing

#endif  // VORNAKEL_TESTS_NATIVE_PROTOCOL_INJECTION_SUPPORT_FAKE_INPUT_INJECTOR_H_
