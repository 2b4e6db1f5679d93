#include <windows.h>

#include "common/win32/system_messages_win32.h"
#include "service_host/win32/child_process_win32.h"

namespace vornakel::win32 {
namespace {

// The process must not outlive a failed start: it was created suspended and has run no code yet,
// so terminating it is the only safe end.
Error abandon(PROCESS_INFORMATION& info, Error error) {
  (void)::TerminateProcess(info.hProcess, 1);
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return error;
}

}  // namespace

Result<UniqueHandle> create_kill_on_close_job() {
  UniqueHandle job(::CreateJobObjectW(nullptr, nullptr));
  if (!job) return last_os_error();
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof(limits))) {
    return last_os_error();
  }
  return job;
}

Result<StartedProcess> start_suspended_in_job(HANDLE job, const CreateSuspendedProcess& create) {
  PROCESS_INFORMATION info{};
  if (!create(info)) return last_os_error();
  if (!::AssignProcessToJobObject(job, info.hProcess)) return abandon(info, last_os_error());
  if (::ResumeThread(info.hThread) == static_cast<DWORD>(-1)) {
    return abandon(info, last_os_error());
  }
  StartedProcess started;
  started.process.reset(info.hProcess);
  started.thread.reset(info.hThread);
  started.process_id = info.dwProcessId;
  return started;
}

}  // namespace vornakel::win32
