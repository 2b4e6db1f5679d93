#include "native_protocol/injection/support/fake_input_injector.h"

#include <algorithm>

namespace vornakel::native_protocol::testing {

std::vector<InjectedEvent> InjectorState::events() const {
  std::vector<InjectedEvent> all;
  for (const auto& send : sends) all.insert(all.end(), send.begin(), send.end());
  return all;
}

bool FakeInputInjector::send_input(const InjectedEvent& event) {
  state_->calls.push_back("send");
  const size_t send_number = state_->sends.size() + 1;
  const bool fails = std::find(state_->failing_sends.begin(), state_->failing_sends.end(),
                               send_number) != state_->failing_sends.end();
  // A refused send still counts as a call, so that later sends keep their numbers.
  state_->sends.push_back({event});
  if (fails) {
    state_->sends.back().clear();
    return false;
  }
  return true;
}

Result<void, AdapterError> FakeInputInjector::set_cursor_pos(int32_t x, int32_t y) {
  state_->calls.push_back("set_cursor " + std::to_string(x) + " " + std::to_string(y));
  if (state_->set_cursor_error) return AdapterError::platform(*state_->set_cursor_error);
  state_->cursor = CursorPoint{x, y};
  return {};
}

bool FakeInputInjector::enter_per_monitor_dpi_awareness() {
  state_->calls.push_back("dpi_enter");
  if (!state_->dpi_enter_succeeds) return false;
  ++state_->dpi_depth;
  return true;
}

void FakeInputInjector::restore_dpi_awareness() {
  state_->calls.push_back("dpi_restore");
  --state_->dpi_depth;
}

uint32_t FakeInputInjector::scan_code_for(uint16_t vk) {
  auto found = state_->scan_codes.find(vk);
  return found != state_->scan_codes.end() ? found->second : 0x100u + vk;
}

}  // namespace vornakel::native_protocol::testing
