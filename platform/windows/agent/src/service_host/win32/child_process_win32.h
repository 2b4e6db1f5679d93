// Starting child processes so that none of their code runs outside a kill-on-close job, and the
// agent runtime's launch in the console session.
#ifndef VORNAKEL_SERVICE_HOST_WIN32_CHILD_PROCESS_WIN32_H_
#define VORNAKEL_SERVICE_HOST_WIN32_CHILD_PROCESS_WIN32_H_

#include <windows.h>

#include <cstdint>
#include <functional>

#include "common/result.h"
#include "common/win32/unique_handle.h"
#include "service_host/install_layout.h"

namespace vornakel::win32 {

// A job that terminates every process still in it when its last handle closes.
Result<UniqueHandle> create_kill_on_close_job();

// A started, resumed process, already inside its job.
struct StartedProcess {
  UniqueHandle process;
  UniqueHandle thread;
  DWORD process_id = 0;
};

// `create` makes exactly one CreateProcessW / CreateProcessAsUserW call with CREATE_SUSPENDED,
// filling `info`, and returns its result (GetLastError set on failure). The process is then put
// into `job` and resumed; when either step fails it is terminated (exit code 1) before its
// handles are closed, so it never runs outside the job.
using CreateSuspendedProcess = std::function<BOOL(PROCESS_INFORMATION& info)>;
Result<StartedProcess> start_suspended_in_job(HANDLE job, const CreateSuspendedProcess& create);

// The supervisor's record of a running agent. Members are declared so that implicit destruction
// closes the process before the job, as close_child does.
struct ChildProcess {
  UniqueHandle job;
  UniqueHandle process;
  uint32_t session_id = 0;
};

// Starts the installed node runtime with the bootstrap script in `session_id`, under a copy of the
// service's token, on "WinSta0\Default", with the allow-listed environment, standard input from
// NUL and standard output and error appended to "host-service.log".
Result<ChildProcess> launch_agent(const InstallLayout& layout, uint32_t session_id);

// Closes the process handle, then the job (which ends whatever still runs in it).
void close_child(ChildProcess& child);

}  // namespace vornakel::win32

#endif  // VORNAKEL_SERVICE_HOST_WIN32_CHILD_PROCESS_WIN32_H_
