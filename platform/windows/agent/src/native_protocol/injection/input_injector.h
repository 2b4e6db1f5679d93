// The operating-system calls the input backend makes, behind a seam so that its rules (event
// layout, ordering, held state, failure handling) are tested without injecting anything.
#ifndef VORNAKEL_NATIVE_PROTOCOL_INJECTION_INPUT_INJECTOR_H_
#define VORNAKEL_NATIVE_PROTOCOL_INJECTION_INPUT_INJECTOR_H_

#include <cstdint>
#include <optional>

#include "common/result.h"
#include "native_protocol/adapter_error.h"

namespace vornakel::native_protocol {

// One SendInput element. Mouse events use dx/dy/mouse_data/flags; keyboard events vk/scan/flags.
struct InjectedEvent {
  enum class Kind { kMouse, kKeyboard };
  Kind kind = Kind::kMouse;
  int32_t dx = 0;
  int32_t dy = 0;
  uint32_t mouse_data = 0;
  uint16_t vk = 0;
  uint16_t scan = 0;
  uint32_t flags = 0;
  uint32_t time = 0;
  uint64_t extra_info = 0;

  bool operator==(const InjectedEvent&) const = default;
};

struct CursorPoint {
  int32_t x = 0;
  int32_t y = 0;
};

class InputInjector {
 public:
  virtual ~InputInjector() = default;
  // SendInput with this one event (the backend never sends more at once): whether the system
  // accepted it. Needs no memory.
  virtual bool send_input(const InjectedEvent& event) = 0;
  // SetCursorPos; the error carries the operating system's message.
  virtual Result<void, AdapterError> set_cursor_pos(int32_t x, int32_t y) = 0;
  // GetCursorPos; nullopt on failure.
  virtual std::optional<CursorPoint> cursor_pos() = 0;
  // GetSystemMetrics(SM_CXSCREEN / SM_CYSCREEN): the primary screen's size, 0 on failure.
  virtual int32_t primary_screen_width() = 0;
  virtual int32_t primary_screen_height() = 0;
  // Switches the calling thread to per-monitor DPI awareness (v2); false when the system refuses.
  // Every successful enter is paired with one restore of the previous context.
  virtual bool enter_per_monitor_dpi_awareness() = 0;
  virtual void restore_dpi_awareness() = 0;
  // MapVirtualKeyExW(vk, MAPVK_VK_TO_VSC_EX) under the keyboard layout of the thread that owns the
  // foreground window.
  virtual uint32_t scan_code_for(uint16_t vk) = 0;
};

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_INJECTION_INPUT_INJECTOR_H_
