// Switching the calling thread to per-monitor DPI awareness (v2) so that monitor rectangles and
// cursor positions are physical pixels. A link seam: the shipped program insists on v2, while the
// test programs run under Wine, which refuses v2 but accepts per-monitor v1.
#ifndef VORNAKEL_NATIVE_PROTOCOL_WIN32_DPI_AWARENESS_WIN32_H_
#define VORNAKEL_NATIVE_PROTOCOL_WIN32_DPI_AWARENESS_WIN32_H_

#include <windows.h>

#include <vector>

namespace vornakel::native_protocol::win32 {

// The thread's previous context, or null when the switch was refused (the thread is unchanged).
DPI_AWARENESS_CONTEXT enter_per_monitor_dpi_awareness();

// Restores what enter_per_monitor_dpi_awareness() returned; a no-op for null.
void restore_dpi_awareness(DPI_AWARENESS_CONTEXT previous);

// The contexts one seam object switched the thread out of, most recent last. Restoring keeps the
// thread's last error: it runs after the call whose error the command loop may still have to read.
// Whatever is still entered when the owner goes away is restored then.
class DpiAwarenessStack {
 public:
  DpiAwarenessStack() = default;
  DpiAwarenessStack(const DpiAwarenessStack&) = delete;
  DpiAwarenessStack& operator=(const DpiAwarenessStack&) = delete;
  ~DpiAwarenessStack() {
    while (!previous_.empty()) restore();
  }

  bool enter() {
    DPI_AWARENESS_CONTEXT previous = enter_per_monitor_dpi_awareness();
    if (previous == nullptr) return false;
    previous_.push_back(previous);
    return true;
  }

  void restore() {
    if (previous_.empty()) return;
    const DWORD code = GetLastError();
    restore_dpi_awareness(previous_.back());
    previous_.pop_back();
    SetLastError(code);
  }

 private:
  std::vector<DPI_AWARENESS_CONTEXT> previous_;
};

}  // namespace vornakel::native_protocol::win32

#endif  // VORNAKEL_NATIVE_PROTOCOL_WIN32_DPI_AWARENESS_WIN32_H_
