// The agent launch against real Windows objects (under Wine: real files, processes, jobs and
// tokens; the owner and DACL of a file are Wine's made-up ones, which never pass the checks).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/win32/unique_handle.h"
#include "common/win32/wide.h"
#include "service_host/install_layout.h"
#include "service_host/win32/child_process_win32.h"

namespace vornakel {
namespace {

// A throw-away installation whose "runtime/node.exe" is a copy of cmd.exe: with standard input
// from NUL it reads end of file and exits by itself.
class AgentLaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    root_ = std::wstring(temp) + L"vk-launch-" + std::to_wstring(::GetCurrentProcessId());
    for (const wchar_t* dir : {L"", L"\\version", L"\\version\\runtime", L"\\version\\agent",
                               L"\\private", L"\\private\\tmp", L"\\private\\state"}) {
      ::CreateDirectoryW((root_ + dir).c_str(), nullptr);
    }
    wchar_t system_dir[MAX_PATH] = {};
    ::GetSystemDirectoryW(system_dir, MAX_PATH);
    ASSERT_TRUE(::CopyFileW((std::wstring(system_dir) + L"\\cmd.exe").c_str(),
                            (root_ + L"\\version\\runtime\\node.exe").c_str(), FALSE));
    layout_.version_dir = win32::to_u16(root_ + L"\\version");
    layout_.private_dir = win32::to_u16(root_ + L"\\private");
  }

  void TearDown() override {
    for (const wchar_t* file : {L"\\version\\runtime\\node.exe", L"\\private\\host-service.log"}) {
      ::DeleteFileW((root_ + file).c_str());
    }
    for (const wchar_t* dir : {L"\\private\\state", L"\\private\\tmp", L"\\private",
                               L"\\version\\agent", L"\\version\\runtime", L"\\version", L""}) {
      ::RemoveDirectoryW((root_ + dir).c_str());
    }
  }

  std::wstring log_path() const { return root_ + L"\\private\\host-service.log"; }

  std::wstring root_;
  InstallLayout layout_;
};

TEST_F(AgentLaunchTest, StartsInsideItsJobAndCreatesTheLog) {
  ASSERT_EQ(::GetFileAttributesW(log_path().c_str()), INVALID_FILE_ATTRIBUTES);
  Result<win32::ChildProcess> child = win32::launch_agent(layout_, 7);
  ASSERT_TRUE(child.ok()) << child.error().code();
  EXPECT_EQ(child.value().session_id, 7u);
  BOOL in_job = FALSE;
  ASSERT_TRUE(::IsProcessInJob(child.value().process.get(), child.value().job.get(), &in_job));
  EXPECT_TRUE(in_job);
  EXPECT_NE(::GetFileAttributesW(log_path().c_str()), INVALID_FILE_ATTRIBUTES);
  // Standard input is NUL, so the stand-in reads end of file and exits by itself.
  EXPECT_EQ(::WaitForSingleObject(child.value().process.get(), 10000), WAIT_OBJECT_0);
  win32::close_child(child.value());
  EXPECT_FALSE(child.value().process);
  EXPECT_FALSE(child.value().job);
}

TEST_F(AgentLaunchTest, AnExistingLogThatFailsTheProtectionCheckStopsTheLaunch) {
  // Wine describes every file as owned by the user with Everyone allowed to read: not private.
  win32::UniqueHandle log(::CreateFileW(log_path().c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(log);
  log.reset();
  Result<win32::ChildProcess> child = win32::launch_agent(layout_, 1);
  ASSERT_FALSE(child.ok());
  EXPECT_EQ(child.error().kind(), ErrorKind::kMessage);
}

TEST_F(AgentLaunchTest, AMissingRuntimeIsAnOsErrorAndLeavesNothingRunning) {
  ASSERT_TRUE(::DeleteFileW((root_ + L"\\version\\runtime\\node.exe").c_str()));
  Result<win32::ChildProcess> child = win32::launch_agent(layout_, 1);
  ASSERT_FALSE(child.ok());
  EXPECT_EQ(child.error(), Error::os(0x80070002));
  // The log was opened (and created) before the failing call; it must be closed again, so it can
  // be deleted.
  EXPECT_TRUE(::DeleteFileW(log_path().c_str()));
}

}  // namespace
}  // namespace vornakel
