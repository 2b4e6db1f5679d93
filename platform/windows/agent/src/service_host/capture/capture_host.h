// The capture host ("--capture"): starts the installed media engine as LocalSystem on the desktop
// that currently receives input (the sign-in and lock screens included), with the caller's
// arguments and standard handles, and ends with the engine's exit code. It never touches the media
// stream: the caller talks to the engine through the pipes it gave the capture host.
#ifndef VORNAKEL_SERVICE_HOST_CAPTURE_CAPTURE_HOST_H_
#define VORNAKEL_SERVICE_HOST_CAPTURE_CAPTURE_HOST_H_

#include <cstdint>
#include <string>
#include <vector>

#include "common/result.h"
#include "service_host/capture/input_desktop_name.h"
#include "service_host/install_layout.h"

namespace vornakel {

// Relative to the installed version's directory.
inline constexpr char16_t kMediaEngineRelativePath[] = u"runtime/ffmpeg.exe";

// How the engine is started, as the rules decided it.
struct EngineLaunch {
  std::u16string application;   // the engine path, the OS string validation formed
  std::u16string command_line;  // engine_command_line of that path and the capture arguments
  std::u16string desktop;       // "WinSta0\<input desktop>"
};

// What the capture host asks of the machine. The Win32 implementation is the real one; tests
// substitute their own.
class CapturePlatform {
 public:
  virtual ~CapturePlatform() = default;
  virtual Status require_local_system() = 0;
  virtual Result<InstallLayout> validate_install() = 0;
  virtual Status check_protected_path(const std::u16string& path, bool private_mode) = 0;
  // The input desktop's UOI_NAME as read into the zero-filled buffer.
  virtual Result<DesktopNameBuffer> read_input_desktop_name() = 0;
  // Starts the engine with the process's own standard handles inside a new kill-on-close job,
  // waits for it, closes the job (ending whatever the engine left running) and returns the
  // engine's exit code unchanged.
  virtual Result<uint32_t> run_engine(const EngineLaunch& launch) = 0;
};

// Every step of the capture host in order; the first failure is the result. On success the result
// is the engine's exit code, which the caller ends the process with.
Result<uint32_t> capture_engine_exit_code(CapturePlatform& platform,
                                          const std::vector<std::u16string>& args);

}  // namespace vornakel

#endif  // VORNAKEL_SERVICE_HOST_CAPTURE_CAPTURE_HOST_H_
