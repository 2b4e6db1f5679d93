// The window-station calls behind DesktopApi.
#include <windows.h>

#include <string_view>

#include "common/win32/wide.h"
#include "native_protocol/injection/input_desktop_tracker.h"
#include "native_protocol/win32/input_host_win32.h"

namespace vornakel::native_protocol::win32 {
namespace {

// DESKTOP_READOBJECTS | DESKTOP_WRITEOBJECTS | DESKTOP_JOURNALPLAYBACK: enough to inject input and
// read the desktop's name, nothing more.
constexpr ACCESS_MASK kInputDesktopAccess = 0xA1;

HDESK to_desktop(DesktopApi::Handle handle) { return reinterpret_cast<HDESK>(handle); }

class Win32DesktopApi : public DesktopApi {
 public:
  Result<Handle, uint32_t> open_input_desktop() override {
    HDESK desktop = OpenInputDesktop(0, FALSE, kInputDesktopAccess);
    if (desktop == nullptr || desktop == INVALID_HANDLE_VALUE) {
      return static_cast<uint32_t>(GetLastError());
    }
    return reinterpret_cast<Handle>(desktop);
  }

  std::optional<std::u16string> desktop_name(Handle desktop) override {
    wchar_t name[256] = {};
    DWORD needed = 0;
    if (!GetUserObjectInformationW(to_desktop(desktop), UOI_NAME, name, sizeof(name), &needed)) {
      return std::nullopt;
    }
    size_t length = 0;
    while (length < 256 && name[length] != L'\0') ++length;
    return vornakel::win32::to_u16(std::wstring_view(name, length));
  }

  bool set_thread_desktop(Handle desktop) override {
    return SetThreadDesktop(to_desktop(desktop)) != FALSE;
  }

  void close_desktop(Handle desktop) override { CloseDesktop(to_desktop(desktop)); }
};

}  // namespace

std::unique_ptr<DesktopApi> make_desktop_api() { return std::make_unique<Win32DesktopApi>(); }

std::unique_ptr<InputDesktop> make_input_desktop() {
  return std::make_unique<InputDesktopTracker>(make_desktop_api());
}

}  // namespace vornakel::native_protocol::win32
