#include "service_host/capture/win32/capture_host_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace vornakel {
namespace {

TEST(CaptureHostWin32, NamesTheInputDesktop) {
  Result<DesktopNameBuffer> name = win32::read_input_desktop_name();
  ASSERT_TRUE(name.ok()) << name.error().code();
  // Wine never switches desktops; the other names are covered at the seam.
  EXPECT_EQ(desktop_name_in(name.value()), "Default");
}

// Puts one standard handle aside for the test and restores it afterwards.
class StandardHandleSwap {
 public:
  StandardHandleSwap(DWORD which, HANDLE replacement)
      : which_(which), saved_(::GetStdHandle(which)) {
    ::SetStdHandle(which, replacement);
  }
  ~StandardHandleSwap() { ::SetStdHandle(which_, saved_); }

 private:
  DWORD which_;
  HANDLE saved_;
};

TEST(CaptureHostWin32, AMissingStandardHandleIsAnInvalidHandleError) {
  // Null comes back without any last error; it must not read as "completed successfully".
  for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    for (HANDLE missing : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
      const StandardHandleSwap swap(which, missing);
      Result<win32::StandardHandles> handles = win32::take_standard_handles();
      ASSERT_FALSE(handles.ok()) << which;
      EXPECT_EQ(handles.error(), Error::os(0x80070006)) << which;
      // The engine is never started without them.
      EngineLaunch launch{u"C:\\windows\\system32\\cmd.exe", u"\"cmd.exe\" /c exit 3",
                          u"WinSta0\\Default"};
      EXPECT_EQ(win32::run_engine(launch).error(), Error::os(0x80070006)) << which;
    }
  }
}

}  // namespace
}  // namespace vornakel
