#include <windows.h>

#include <string>

#include "common/win32/system_messages_win32.h"
#include "common/win32/unique_handle.h"
#include "common/win32/wide.h"
#include "service_host/agent_environment.h"
#include "service_host/protected_path.h"
#include "service_host/quote_argument.h"
#include "service_host/win32/child_process_win32.h"
#include "service_host/win32/environment_reader_win32.h"
#include "service_host/win32/file_metadata_win32.h"

namespace vornakel::win32 {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kAgentCreationFlags =
    CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW;
static_assert(kAgentCreationFlags == 0x08000404);
#ifdef _WIN64
static_assert(sizeof(STARTUPINFOW) == 104);
#endif

}  // namespace

Result<ChildProcess> launch_agent(const InstallLayout& layout, uint32_t session_id) {
  const std::u16string application = join_path(layout.version_dir, u"runtime/node.exe");
  const std::u16string bootstrap =
      join_path(layout.version_dir, u"agent/dist/windowsServiceBootstrap.js");
  // The application name and working directory are handed over as the OS strings they are; only
  // the command line and the environment are Unicode text.
  const std::wstring application_text = to_wide(application);
  // Writable: CreateProcessAsUserW may modify the command line in place.
  std::wstring command_line =
      to_wide(quote_argument(application) + u" " + quote_argument(bootstrap));
  const std::wstring working_directory = to_wide(join_path(layout.version_dir, u"agent"));
  const std::u16string environment =
      build_agent_environment(ProcessEnvironmentReader(), layout.version_dir, layout.private_dir);

  // The log is written with the agent's LocalSystem rights: an existing one must be private, or an
  // unprivileged account could read the agent's output or swap the file for a link.
  const std::u16string log_path = join_path(layout.private_dir, u"host-service.log");
  if (path_exists(log_path)) {
    VK_RETURN_IF_ERROR(check_protected_path(log_path, /*private_mode=*/true));
  }

  // Acquired in this order and, on failure, released in reverse by the destructors.
  UniqueHandle log(::CreateFileW(to_wide(log_path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                 kShareAll, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!log) return last_file_system_error();
  UniqueHandle nul(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!nul) return last_file_system_error();

  UniqueHandle process_token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ALL_ACCESS, process_token.receive())) {
    return last_os_error();
  }
  UniqueHandle agent_token;
  if (!::DuplicateTokenEx(process_token.get(), TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation,
                          TokenPrimary, agent_token.receive())) {
    return last_os_error();
  }
  DWORD session = session_id;
  if (!::SetTokenInformation(agent_token.get(), TokenSessionId, &session, sizeof(session))) {
    return last_os_error();
  }

  Result<UniqueHandle> job = create_kill_on_close_job();
  if (!job.ok()) return job.take_error();

  if (!::SetHandleInformation(nul.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) ||
      !::SetHandleInformation(log.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) {
    return last_os_error();
  }

  std::wstring desktop = L"WinSta0\\Default";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.lpDesktop = desktop.data();
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul.get();
  startup.hStdOutput = log.get();
  startup.hStdError = log.get();

  Result<StartedProcess> started =
      start_suspended_in_job(job.value().get(), [&](PROCESS_INFORMATION& info) {
        return ::CreateProcessAsUserW(
            agent_token.get(), application_text.c_str(), command_line.data(), nullptr, nullptr,
            TRUE, kAgentCreationFlags, const_cast<char16_t*>(environment.c_str()),
            working_directory.c_str(), &startup, &info);
      });
  if (!started.ok()) return started.take_error();

  ChildProcess child;
  child.process = std::move(started.value().process);
  started.value().thread.reset();
  agent_token.reset();
  process_token.reset();
  nul.reset();
  log.reset();
  child.job = std::move(job.value());
  child.session_id = session_id;
  return child;
}

void close_child(ChildProcess& child) {
  child.process.reset();
  child.job.reset();
}

}  // namespace vornakel::win32
