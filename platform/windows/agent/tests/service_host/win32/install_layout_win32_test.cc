#include "service_host/install_layout.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "common/win32/wide.h"

namespace vornakel {
namespace {

// Sets an environment variable of this process for one test and restores it afterwards.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const wchar_t* value)
      : name_(name), saved_(win32::read_environment(name)) {
    ::SetEnvironmentVariableW(name, value);
  }
  ~ScopedVariable() {
    ::SetEnvironmentVariableW(name_, saved_ ? win32::to_wide(*saved_).c_str() : nullptr);
  }

 private:
  const wchar_t* name_;
  std::optional<std::u16string> saved_;
};

TEST(ValidateInstallWin32, ReadsTheRootsFromTheProcessEnvironment) {
  {
    ScopedVariable files(L"ProgramFiles", nullptr);
    EXPECT_EQ(validate_install().error(), Error::message("Program Files is unavailable"));
  }
  {
    ScopedVariable data(L"ProgramData", nullptr);
    EXPECT_EQ(validate_install().error(), Error::message("ProgramData is unavailable"));
  }
}

TEST(ValidateInstallWin32, MissingInstallRootIsAFileSystemError) {
  ScopedVariable files(L"ProgramFiles", L"C:\\vornakel-no-such-program-files");
  // The root's parent folder is missing too, hence "path" rather than "file" not found.
  EXPECT_EQ(validate_install().error(), Error::file_system(ERROR_PATH_NOT_FOUND));
}

}  // namespace
}  // namespace vornakel
