// The capture host's Windows calls: naming the input desktop, taking the standard handles, and
// running the media engine in a kill-on-close job.
#ifndef VORNAKEL_SERVICE_HOST_CAPTURE_WIN32_CAPTURE_HOST_WIN32_H_
#define VORNAKEL_SERVICE_HOST_CAPTURE_WIN32_CAPTURE_HOST_WIN32_H_

#include <windows.h>

#include <cstdint>

#include "common/result.h"
#include "service_host/capture/capture_host.h"
#include "service_host/capture/input_desktop_name.h"

namespace vornakel::win32 {

// OpenInputDesktop(0, not inheritable, DESKTOP_READOBJECTS), its UOI_NAME into the zero-filled
// 512-byte buffer, then CloseDesktop (whose failure is ignored).
Result<DesktopNameBuffer> read_input_desktop_name();

struct StandardHandles {
  HANDLE input = nullptr;
  HANDLE output = nullptr;
  HANDLE error = nullptr;
};

// GetStdHandle for input, output and error, in that order; a null or invalid handle is an
// operating-system error.
Result<StandardHandles> take_standard_handles();

// Starts the engine (CreateProcessW, flags 0x08000004, handle inheritance on, the process's own
// standard handles) suspended in a new kill-on-close job, waits for it, and closes the job before
// returning its exit code.
Result<uint32_t> run_engine(const EngineLaunch& launch);

}  // namespace vornakel::win32

#endif  // VORNAKEL_SERVICE_HOST_CAPTURE_WIN32_CAPTURE_HOST_WIN32_H_
