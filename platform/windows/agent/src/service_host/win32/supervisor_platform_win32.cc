#include <windows.h>

#include <memory>
#include <string>

#include "common/win32/system_messages_win32.h"
#include "common/win32/unique_handle.h"
#include "common/win32/wide.h"
#include "service_host/local_system.h"
#include "service_host/protected_path.h"
#include "service_host/supervisor.h"
#include "service_host/win32/child_process_win32.h"
#include "service_host/win32/file_metadata_win32.h"

namespace vornakel {
namespace {

// 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
constexpr int64_t kUnixEpochInFileTime = 116444736000000000;

class Win32AgentProcess : public AgentProcess {
 public:
  explicit Win32AgentProcess(win32::ChildProcess child) : child_(std::move(child)) {}
  ~Win32AgentProcess() override { win32::close_child(child_); }

  uint32_t session_id() const override { return child_.session_id; }
  std::optional<uint32_t> exit_code() const override {
    DWORD code = 0;
    if (!::GetExitCodeProcess(child_.process.get(), &code)) return std::nullopt;
    return code;
  }

 private:
  win32::ChildProcess child_;
};

class Win32SupervisorPlatform : public SupervisorPlatform {
 public:
  uint64_t monotonic_ms() override { return ::GetTickCount64(); }

  int64_t unix_time_ticks() override {
    FILETIME now{};
    ::GetSystemTimePreciseAsFileTime(&now);
    const int64_t ticks =
        static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
    return ticks - kUnixEpochInFileTime;
  }

  void sleep_ms(uint32_t milliseconds) override { ::Sleep(milliseconds); }

  uint32_t active_console_session() override { return ::WTSGetActiveConsoleSessionId(); }

  Status require_local_system() override { return vornakel::require_local_system(); }

  Result<InstallLayout> validate_install() override { return vornakel::validate_install(); }

  Result<std::unique_ptr<AgentProcess>> launch_agent(const InstallLayout& layout,
                                                     uint32_t session_id) override {
    Result<win32::ChildProcess> child = win32::launch_agent(layout, session_id);
    if (!child.ok()) return child.take_error();
    return std::unique_ptr<AgentProcess>(
        std::make_unique<Win32AgentProcess>(std::move(child.value())));
  }

  Status write_file(const std::u16string& path, std::string_view bytes) override {
    win32::UniqueHandle file(::CreateFileW(win32::to_wide(path).c_str(), GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return win32::last_file_system_error();
    while (!bytes.empty()) {
      DWORD written = 0;
      if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr)) {
        return win32::last_file_system_error();
      }
      // A write that succeeds without taking anything would repeat forever.
      if (written == 0) return Error::file_system(ERROR_WRITE_FAULT);
      bytes.remove_prefix(written);
    }
    return Ok();
  }

  Status remove_file(const std::u16string& path) override {
    if (!::DeleteFileW(win32::to_wide(path).c_str())) return win32::last_file_system_error();
    return Ok();
  }

  bool path_exists(const std::u16string& path) override { return win32::path_exists(path); }

  Status check_protected_path(const std::u16string& path, bool private_mode) override {
    return vornakel::check_protected_path(path, private_mode);
  }

  Status replace_file(const std::u16string& from, const std::u16string& to) override {
    if (!::MoveFileExW(win32::to_wide(from).c_str(), win32::to_wide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING)) {
      return win32::last_file_system_error();
    }
    return Ok();
  }
};

}  // namespace

Status run_supervisor() {
  Win32SupervisorPlatform platform;
  return supervise_agent(platform, service_requests());
}

}  // namespace vornakel
