#include "native_protocol/injection/support/fake_desktop_api.h"

#include <algorithm>
#include <new>

namespace vornakel::native_protocol::testing {

Result<DesktopApi::Handle, uint32_t> FakeDesktopApi::open_input_desktop() {
  if (state_->open_error) {
    state_->calls.push_back("open failed");
    return *state_->open_error;
  }
  const Handle handle = state_->next_handle++;
  state_->open_handles.push_back(handle);
  state_->calls.push_back("open " + std::to_string(handle));
  return handle;
}

std::optional<std::u16string> FakeDesktopApi::desktop_name(Handle desktop) {
  state_->calls.push_back("name " + std::to_string(desktop));
  if (state_->naming_runs_out_of_memory) throw std::bad_alloc();
  return state_->input_desktop;
}

bool FakeDesktopApi::set_thread_desktop(Handle desktop) {
  state_->calls.push_back("set " + std::to_string(desktop));
  return !state_->set_thread_desktop_fails;
}

void FakeDesktopApi::close_desktop(Handle desktop) {
  state_->calls.push_back("close " + std::to_string(desktop));
  auto& open = state_->open_handles;
  open.erase(std::remove(open.begin(), open.end(), desktop), open.end());
}

Result<void, AdapterError> LoggingBackend::release_all() {
  calls_.push_back("release_all");
  if (release_results_.empty()) return {};
  const bool ok = release_results_.front();
  release_results_.erase(release_results_.begin());
  if (ok) return {};
  return AdapterError::platform("release refused");
}

}  // namespace vornakel::native_protocol::testing
