#include "service_host/capture/win32/capture_host_win32.h"

#include <optional>
#include <string>
#include <utility>

#include "common/win32/system_messages_win32.h"
#include "common/win32/unique_handle.h"
#include "common/win32/wide.h"
#include "service_host/install_layout.h"
#include "service_host/local_system.h"
#include "service_host/modes.h"
#include "service_host/protected_path.h"
#include "service_host/win32/child_process_win32.h"

namespace vornakel::win32 {
namespace {

constexpr DWORD kEngineCreationFlags = CREATE_SUSPENDED | CREATE_NO_WINDOW;
static_assert(kEngineCreationFlags == 0x08000004);
static_assert(sizeof(DesktopNameBuffer) == 512);
#ifdef _WIN64
static_assert(sizeof(STARTUPINFOW) == 104);
#endif

Result<HANDLE> standard_handle(DWORD which) {
  ::SetLastError(ERROR_SUCCESS);
  HANDLE handle = ::GetStdHandle(which);
  if (UniqueHandle::is_valid(handle)) return handle;
  // A process started without standard handles gets null back with no error set; error 0 would
  // display as "The operation completed successfully", so name the missing handle instead.
  const DWORD code = ::GetLastError();
  return Error::os_from_win32(code != ERROR_SUCCESS ? code : ERROR_INVALID_HANDLE);
}

class Win32CapturePlatform : public CapturePlatform {
 public:
  Status require_local_system() override { return vornakel::require_local_system(); }
  Result<InstallLayout> validate_install() override { return vornakel::validate_install(); }
  Status check_protected_path(const std::u16string& path, bool private_mode) override {
    return vornakel::check_protected_path(path, private_mode);
  }
  Result<DesktopNameBuffer> read_input_desktop_name() override {
    return win32::read_input_desktop_name();
  }
  Result<uint32_t> run_engine(const EngineLaunch& launch) override {
    return win32::run_engine(launch);
  }
};

}  // namespace

Result<DesktopNameBuffer> read_input_desktop_name() {
  HDESK desktop = ::OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS);
  if (desktop == nullptr) return last_os_error();
  DesktopNameBuffer name{};
  std::optional<Error> failure;
  if (!::GetUserObjectInformationW(desktop, UOI_NAME, name.data(), sizeof(name), nullptr)) {
    failure = last_os_error();
  }
  ::CloseDesktop(desktop);
  if (failure) return *failure;
  return name;
}

Result<StandardHandles> take_standard_handles() {
  StandardHandles handles;
  using Slot = HANDLE StandardHandles::*;
  for (const auto& [which, slot] :
       {std::pair<DWORD, Slot>{STD_INPUT_HANDLE, &StandardHandles::input},
        std::pair<DWORD, Slot>{STD_OUTPUT_HANDLE, &StandardHandles::output},
        std::pair<DWORD, Slot>{STD_ERROR_HANDLE, &StandardHandles::error}}) {
    Result<HANDLE> handle = standard_handle(which);
    if (!handle.ok()) return handle.take_error();
    handles.*slot = handle.value();
  }
  return handles;
}

Result<uint32_t> run_engine(const EngineLaunch& launch) {
  // Not owned: they stay the capture host's own, and the engine inherits them.
  Result<StandardHandles> handles = take_standard_handles();
  if (!handles.ok()) return handles.take_error();

  Result<UniqueHandle> job = create_kill_on_close_job();
  if (!job.ok()) return job.take_error();

  // The application name is the OS string as validated; the command line is Unicode text.
  const std::wstring application = to_wide(launch.application);
  // Writable: CreateProcessW may modify both in place.
  std::wstring command_line = to_wide(launch.command_line);
  std::wstring desktop = to_wide(launch.desktop);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.lpDesktop = desktop.data();
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = handles.value().input;
  startup.hStdOutput = handles.value().output;
  startup.hStdError = handles.value().error;

  Result<StartedProcess> started =
      start_suspended_in_job(job.value().get(), [&](PROCESS_INFORMATION& info) {
        return ::CreateProcessW(application.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                                kEngineCreationFlags, nullptr, nullptr, &startup, &info);
      });
  if (!started.ok()) return started.take_error();  // the job closes on the way out

  StartedProcess& engine = started.value();
  (void)::WaitForSingleObject(engine.process.get(), INFINITE);
  DWORD exit_code = 1;
  std::optional<Error> failure;
  if (!::GetExitCodeProcess(engine.process.get(), &exit_code)) failure = last_os_error();
  engine.thread.reset();
  engine.process.reset();
  // Whatever the engine started and left behind dies here, before the capture host ends.
  job.value().reset();
  if (failure) return *failure;
  return static_cast<uint32_t>(exit_code);
}

}  // namespace vornakel::win32

namespace vornakel {

Status run_capture_host_then_exit(const std::vector<std::u16string>& args) {
  win32::Win32CapturePlatform platform;
  Result<uint32_t> exit_code = capture_engine_exit_code(platform, args);
  if (!exit_code.ok()) return exit_code.take_error();
  // The engine's status is the capture host's, any 32-bit value: it cannot travel back through the
  // entry's 0-or-1 rule, so the process ends here.
  ::ExitProcess(exit_code.value());
}

}  // namespace vornakel
