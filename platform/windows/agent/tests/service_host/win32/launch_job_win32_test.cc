#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/win32/unique_handle.h"
#include "service_host/win32/child_process_win32.h"

namespace vornakel {
namespace {

// A child that would run for a long time if nothing ended it.
std::wstring sleeper_command_line() {
  wchar_t system_dir[MAX_PATH] = {};
  ::GetSystemDirectoryW(system_dir, MAX_PATH);
  return L"\"" + std::wstring(system_dir) + L"\\cmd.exe\" /c ping -n 30 127.0.0.1 >NUL";
}

// Creates the sleeper suspended and keeps a second handle to it, so the test can watch what
// happened to it after start_suspended_in_job let go of its own handles.
win32::CreateSuspendedProcess create_sleeper(win32::UniqueHandle& observer, std::wstring& command) {
  command = sleeper_command_line();
  return [&observer, &command](PROCESS_INFORMATION& info) {
    // No standard handles of ours: the test runner waits for its output pipe to close, and a
    // killed child must not keep it open.
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE,
                          CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
      return FALSE;
    }
    ::DuplicateHandle(::GetCurrentProcess(), info.hProcess, ::GetCurrentProcess(),
                      observer.receive(), 0, FALSE, DUPLICATE_SAME_ACCESS);
    return TRUE;
  };
}

DWORD exit_code_after(HANDLE process, DWORD wait_ms) {
  ::WaitForSingleObject(process, wait_ms);
  DWORD code = 0;
  EXPECT_TRUE(::GetExitCodeProcess(process, &code));
  return code;
}

TEST(KillOnCloseJob, ClosingTheJobEndsTheStartedProcess) {
  Result<win32::UniqueHandle> job = win32::create_kill_on_close_job();
  ASSERT_TRUE(job.ok());
  // (Wine does not report the limit flags back through QueryInformationJobObject, so the flag is
  // shown by its effect below.)

  win32::UniqueHandle observer;
  std::wstring command;
  Result<win32::StartedProcess> started =
      win32::start_suspended_in_job(job.value().get(), create_sleeper(observer, command));
  ASSERT_TRUE(started.ok());
  ASSERT_TRUE(observer);
  BOOL in_job = FALSE;
  ASSERT_TRUE(::IsProcessInJob(observer.get(), job.value().get(), &in_job));
  EXPECT_TRUE(in_job);
  // Resumed: it is running, not parked.
  EXPECT_EQ(exit_code_after(observer.get(), 300), static_cast<DWORD>(STILL_ACTIVE));

  started.value().process.reset();
  started.value().thread.reset();
  job.value().reset();
  EXPECT_EQ(::WaitForSingleObject(observer.get(), 5000), WAIT_OBJECT_0);
}

TEST(StartSuspendedInJob, AFailedCreationIsAnOsError) {
  Result<win32::UniqueHandle> job = win32::create_kill_on_close_job();
  ASSERT_TRUE(job.ok());
  Result<win32::StartedProcess> started =
      win32::start_suspended_in_job(job.value().get(), [](PROCESS_INFORMATION&) {
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
      });
  ASSERT_FALSE(started.ok());
  EXPECT_EQ(started.error(), Error::os(0x80070002));
}

TEST(StartSuspendedInJob, AProcessThatCannotJoinTheJobIsTerminatedBeforeItRuns) {
  // An event handle is not a job: the assignment fails.
  win32::UniqueHandle not_a_job(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  win32::UniqueHandle observer;
  std::wstring command;
  Result<win32::StartedProcess> started =
      win32::start_suspended_in_job(not_a_job.get(), create_sleeper(observer, command));
  ASSERT_FALSE(started.ok());
  EXPECT_EQ(started.error().kind(), ErrorKind::kOs);
  ASSERT_TRUE(observer);
  EXPECT_EQ(::WaitForSingleObject(observer.get(), 5000), WAIT_OBJECT_0);
  EXPECT_EQ(exit_code_after(observer.get(), 0), 1u);
}

}  // namespace
}  // namespace vornakel
