// Test programs only: Wine refuses per-monitor awareness version 2 (error 87) but accepts version
// 1, which gives the same physical-pixel coordinates on its single unscaled monitor.
#include "native_protocol/win32/dpi_awareness_win32.h"

namespace vornakel::native_protocol::win32 {

DPI_AWARENESS_CONTEXT enter_per_monitor_dpi_awareness() {
  DPI_AWARENESS_CONTEXT previous =
      SetThreadDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  if (previous == nullptr) {
    previous = SetThreadDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE);
  }
  return previous;
}

void restore_dpi_awareness(DPI_AWARENESS_CONTEXT previous) {
  if (previous != nullptr) SetThreadDpiAwarenessContext(previous);
}

}  // namespace vornakel::native_protocol::win32
