#include "service_indicator/window/input_origin.h"

#include "native_protocol/injection/injecting_backend.h"

namespace vornakel::service_indicator {
namespace {

// Window message numbers (winuser.h), which this portable file cannot include.
constexpr uint32_t kKeyFirst = 0x0100;             // WM_KEYFIRST (WM_KEYDOWN)
constexpr uint32_t kKeyLast = 0x0109;              // WM_KEYLAST (WM_UNICHAR)
constexpr uint32_t kMouseFirst = 0x0200;           // WM_MOUSEFIRST (WM_MOUSEMOVE)
constexpr uint32_t kMouseLast = 0x020E;            // WM_MOUSELAST (WM_MOUSEHWHEEL)
constexpr uint32_t kNonClientMouseFirst = 0x00A0;  // WM_NCMOUSEMOVE
constexpr uint32_t kNonClientMouseLast = 0x00AD;   // WM_NCXBUTTONDBLCLK

bool in(uint32_t message, uint32_t first, uint32_t last) {
  return message >= first && message <= last;
}

}  // namespace

bool is_remote_input(uint32_t message, uint64_t extra_info) {
  if (extra_info != native_protocol::kInjectedExtraInfo) return false;
  return in(message, kKeyFirst, kKeyLast) || in(message, kMouseFirst, kMouseLast) ||
         in(message, kNonClientMouseFirst, kNonClientMouseLast);
}

}  // namespace vornakel::service_indicator
