#include "native_protocol/injection/input_desktop_tracker.h"

#include <utility>

#include "common/utf16.h"
#include "native_protocol/framing.h"

namespace vornakel::native_protocol {
namespace {

// A desktop just opened: closed on every way out of the refresh but adoption, so that an
// allocation failure (the refresh also runs as the host ends, when memory may have run out) does
// not leak it.
class OpenedDesktop {
 public:
  OpenedDesktop(DesktopApi& api, DesktopApi::Handle handle) : api_(api), handle_(handle) {}
  ~OpenedDesktop() {
    if (handle_ != 0) api_.close_desktop(handle_);
  }
  OpenedDesktop(const OpenedDesktop&) = delete;
  OpenedDesktop& operator=(const OpenedDesktop&) = delete;
  DesktopApi::Handle get() const { return handle_; }
  DesktopApi::Handle release() { return std::exchange(handle_, 0); }

 private:
  DesktopApi& api_;
  DesktopApi::Handle handle_;
};

}  // namespace

InputDesktopTracker::InputDesktopTracker(std::unique_ptr<DesktopApi> api) : api_(std::move(api)) {}

InputDesktopTracker::~InputDesktopTracker() {
  if (handle_ != 0) api_->close_desktop(handle_);
}

void InputDesktopTracker::adopt(DesktopApi::Handle handle, std::string name) {
  if (handle_ != 0) api_->close_desktop(handle_);
  handle_ = handle;
  name_ = std::move(name);
}

Result<bool> InputDesktopTracker::refresh_input_desktop(std::unique_ptr<InputBackend>& backend) {
  Result<DesktopApi::Handle, uint32_t> opened = api_->open_input_desktop();
  if (!opened.ok()) return Error::os_from_win32(opened.error());
  OpenedDesktop desktop(*api_, opened.value());

  const std::optional<std::u16string> name = api_->desktop_name(desktop.get());
  if (!name || (*name != u"Default" && *name != u"Winlogon")) return generic_rejection();
  std::string utf8_name = *name == u"Default" ? "Default" : "Winlogon";
  if (utf8_name == name_) return false;

  // Keys and buttons held on the old desktop would otherwise stay down there.
  if (backend) (void)backend->release_all();
  if (!api_->set_thread_desktop(desktop.get())) return generic_rejection();
  // The thread now lives on the new desktop: keep its handle even if the release below fails, so
  // that it is closed with the tracker rather than leaked.
  adopt(desktop.release(), std::move(utf8_name));
  if (backend) {
    Result<void, AdapterError> released = backend->release_all();
    if (!released.ok()) return Error::message(released.error().message());
  }
  backend.reset();
  return true;
}

}  // namespace vornakel::native_protocol
