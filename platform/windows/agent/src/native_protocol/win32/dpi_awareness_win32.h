// Switching the calling thread to per-monitor DPI awareness (v2) so that monitor rectangles and
// cursor positions are physical pixels. A link seam: the shipped program insists on v2, while the
// test programs run under Wine, which refuses v2 but accepts per-monitor v1.
#ifndef VORNAKEL_NATIVE_PROTOCOL_WIN32_DPI_AWARENESS_WIN32_H_
#define VORNAKEL_NATIVE_PROTOCOL_WIN32_DPI_AWARENESS_WIN32_H_

#include <windows.h>

namespace vornakel::native_protocol::win32 {

// The thread's previous context, or null when the switch was refused (the thread is unchanged).
DPI_AWARENESS_CONTEXT enter_per_monitor_dpi_awareness();

// Restores what enter_per_monitor_dpi_awareness() returned; a no-op for null.
void restore_dpi_awareness(DPI_AWARENESS_CONTEXT previous);

}  // namespace vornakel::native_protocol::win32

#endif  // VORNAKEL_NATIVE_PROTOCOL_WIN32_DPI_AWARENESS_WIN32_H_
