#include "common/win32/system_messages_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace vornakel::win32 {
namespace {

bool ends_with(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The system's text for `code`, as FormatMessageW hands it out, before any trimming.
std::string raw_system_text(uint32_t code) {
  SystemMessages::Lookup lookup = Win32SystemMessages().find(code, false);
  return lookup.text.value_or("");
}

TEST(SystemMessagesWin32, FileSystemErrorsUseTheSystemTextTrimmed) {
  const std::string raw = raw_system_text(2);
  ASSERT_FALSE(raw.empty());
  const std::string shown = display_for_stderr(Error::file_system(2));
  EXPECT_TRUE(ends_with(shown, " (os error 2)")) << shown;
  const std::string text = shown.substr(0, shown.size() - std::string(" (os error 2)").size());
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(raw.rfind(text, 0), 0u) << "display text is not the system text: " << shown;
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << shown;
  EXPECT_NE(text.back(), ' ');
}

TEST(SystemMessagesWin32, OsErrorsShowTextAndHresult) {
  const std::string denied = display_for_stderr(Error::os_from_win32(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(ends_with(denied, " (0x80070005)")) << denied;
  EXPECT_GT(denied.size(), std::string(" (0x80070005)").size()) << denied;
  EXPECT_EQ(denied.find_first_of("\r\n"), std::string::npos) << denied;

  const std::string success = display_for_stderr(Error::os(0));
  EXPECT_TRUE(ends_with(success, " (0x00000000)")) << success;
  EXPECT_GT(success.size(), std::string(" (0x00000000)").size()) << success;

  const std::string connect = display_for_stderr(Error::os_from_win32(1063));
  EXPECT_TRUE(ends_with(connect, " (0x80070427)")) << connect;
  EXPECT_NE(connect, "0x80070427");
}

TEST(SystemMessagesWin32, UnknownCodesFallBackToTheCode) {
  EXPECT_EQ(display_for_stderr(Error::os(0xA00BFFFEu)), "0xA00BFFFE");
  const std::string unknown_file = display_for_stderr(Error::file_system(65000));
  EXPECT_EQ(unknown_file.rfind("OS Error 65000 (FormatMessageW() returned error ", 0), 0u)
      << unknown_file;
  EXPECT_TRUE(ends_with(unknown_file, ")"));
  // The error of the failed lookup is reported, and it is not zero.
  EXPECT_EQ(unknown_file.find("returned error 0)"), std::string::npos) << unknown_file;
}

TEST(SystemMessagesWin32, NtStatusCodesAreLookedUpInNtdllWithTheFlagCleared) {
  // STATUS_ACCESS_DENIED (0xC0000022) with the NT-status flag set.
  const std::string shown = display_for_stderr(Error::os(0xD0000022u));
  EXPECT_TRUE(ends_with(shown, "0xD0000022")) << shown;
  SystemMessages::Lookup ntdll = Win32SystemMessages().find(0xC0000022u, true);
  if (ntdll.text) {
    EXPECT_EQ(shown.rfind(system_text(system_messages(), 0xD0000022u).text.value(), 0), 0u);
    EXPECT_TRUE(ends_with(shown, " (0xD0000022)")) << shown;
  } else {
    // A system without ntdll's message table shows the code alone.
    EXPECT_EQ(shown, "0xD0000022");
  }
}

TEST(SystemMessagesWin32, LastErrorHelpersReadTheThreadsLastError) {
  ::SetLastError(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(last_os_error(), Error::os(0x80070002u));
  ::SetLastError(ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(last_file_system_error(), Error::file_system(3));
}

}  // namespace
}  // namespace vornakel::win32
