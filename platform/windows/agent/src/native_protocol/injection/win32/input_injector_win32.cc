// SendInput and the cursor calls for the input backend, on the calling thread's desktop.
#include <windows.h>

#include <string>
#include <utility>

#include "native_protocol/injection/injecting_backend.h"
#include "native_protocol/win32/dpi_awareness_win32.h"
#include "native_protocol/win32/input_host_win32.h"
#include "native_protocol/win32/system_message_win32.h"

#ifndef MAPVK_VK_TO_VSC_EX
#define MAPVK_VK_TO_VSC_EX 4
#endif

namespace vornakel::native_protocol::win32 {
namespace {

class Win32InputInjector : public InputInjector {
 public:
  // One INPUT on the stack: the release of held input runs through here when memory may have
  // run out.
  bool send_input(const InjectedEvent& event) override {
    INPUT input{};
    if (event.kind == InjectedEvent::Kind::kKeyboard) {
      input.type = INPUT_KEYBOARD;
      input.ki.wVk = event.vk;
      input.ki.wScan = event.scan;
      input.ki.dwFlags = event.flags;
      input.ki.time = event.time;
      input.ki.dwExtraInfo = static_cast<ULONG_PTR>(event.extra_info);
    } else {
      input.type = INPUT_MOUSE;
      input.mi.dx = event.dx;
      input.mi.dy = event.dy;
      input.mi.mouseData = event.mouse_data;
      input.mi.dwFlags = event.flags;
      input.mi.time = event.time;
      input.mi.dwExtraInfo = static_cast<ULONG_PTR>(event.extra_info);
    }
    // Whatever last error SendInput leaves stays for the command loop to report.
    return SendInput(1, &input, sizeof(INPUT)) == 1;
  }

  Result<void, AdapterError> set_cursor_pos(int32_t x, int32_t y) override {
    // The command loop reports the thread's last error after a failed action; the message leaves
    // it intact.
    if (!SetCursorPos(x, y)) return AdapterError::platform(system_message(GetLastError()));
    return {};
  }

  std::optional<CursorPoint> cursor_pos() override {
    POINT point{};
    if (!GetCursorPos(&point)) return std::nullopt;
    return CursorPoint{point.x, point.y};
  }

  int32_t primary_screen_width() override { return GetSystemMetrics(SM_CXSCREEN); }
  int32_t primary_screen_height() override { return GetSystemMetrics(SM_CYSCREEN); }

  bool enter_per_monitor_dpi_awareness() override { return dpi_awareness_.enter(); }

  void restore_dpi_awareness() override { dpi_awareness_.restore(); }

  uint32_t scan_code_for(uint16_t vk) override {
    // The layout of whoever receives the keys, not this process's own.
    HWND foreground = GetForegroundWindow();
    const DWORD thread = foreground != nullptr ? GetWindowThreadProcessId(foreground, nullptr) : 0;
    return MapVirtualKeyExW(vk, MAPVK_VK_TO_VSC_EX, GetKeyboardLayout(thread));
  }

 private:
  DpiAwarenessStack dpi_awareness_;
};

}  // namespace

std::unique_ptr<InputInjector> make_input_injector() {
  return std::make_unique<Win32InputInjector>();
}

std::unique_ptr<InputBackendFactory> make_input_backend_factory() {
  return std::make_unique<InjectingBackendFactory>([] { return make_input_injector(); });
}

}  // namespace vornakel::native_protocol::win32
