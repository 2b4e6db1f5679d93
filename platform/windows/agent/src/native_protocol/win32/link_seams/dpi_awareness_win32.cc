// Pointer coordinates and monitor rectangles must be physical pixels on every monitor, which only
// per-monitor awareness version 2 guarantees; anything less is a failure, not a fallback.
#include "native_protocol/win32/dpi_awareness_win32.h"

namespace vornakel::native_protocol::win32 {

DPI_AWARENESS_CONTEXT enter_per_monitor_dpi_awareness() {
  return SetThreadDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
}

void restore_dpi_awareness(DPI_AWARENESS_CONTEXT previous) {
  if (previous != nullptr) SetThreadDpiAwarenessContext(previous);
}

}  // namespace vornakel::native_protocol::win32
