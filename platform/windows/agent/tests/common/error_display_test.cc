#include "common/error_display.h"

#include <gtest/gtest.h>

#include <map>

#include "common/result.h"

namespace vornakel {
namespace {

// A message table with a few entries, as FormatMessageW would answer.
class FakeMessages : public SystemMessages {
 public:
  std::map<uint32_t, std::string> system;
  std::map<uint32_t, std::string> ntdll;
  uint32_t format_error = 317;  // ERROR_MR_MID_NOT_FOUND

  Lookup find(uint32_t code, bool nt_status) const override {
    const auto& table = nt_status ? ntdll : system;
    auto it = table.find(code);
    if (it == table.end()) return {std::nullopt, format_error};
    return {it->second, 0};
  }
};

TEST(ErrorCode, Win32CodesBecomeHresultsButHresultsAndZeroStay) {
  EXPECT_EQ(hresult_from_win32(5), 0x80070005u);
  EXPECT_EQ(hresult_from_win32(1063), 0x80070427u);
  EXPECT_EQ(hresult_from_win32(0x12345), 0x80072345u);  // only the low 16 bits survive
  EXPECT_EQ(hresult_from_win32(0), 0u);
  EXPECT_EQ(hresult_from_win32(0x80004005u), 0x80004005u);  // negative: already an HRESULT
}

TEST(ErrorDisplay, FixedMessagesAndJsonTextsDisplayAlone) {
  FakeMessages messages;
  EXPECT_EQ(display(Error::message("Unknown service operation"), messages),
            "Unknown service operation");
  EXPECT_EQ(display(Error::json("syntax error"), messages), "syntax error");
}

TEST(ErrorDisplay, OsErrorsShowSystemTextWithoutTrailingBlanksAndTheHexCode) {
  FakeMessages messages;
  messages.system[0x80070005u] = "Access denied. \r\n\t\v\f";
  messages.system[0] = "The operation completed successfully.\r\n";
  EXPECT_EQ(display(Error::os_from_win32(5), messages), "Access denied. (0x80070005)");
  EXPECT_EQ(display(Error::os(0), messages), "The operation completed successfully. (0x00000000)");
}

TEST(ErrorDisplay, OsErrorWithoutSystemTextIsTheCodeAlone) {
  FakeMessages messages;
  EXPECT_EQ(display(Error::os(0x8007ABCDu), messages), "0x8007ABCD");
}

TEST(ErrorDisplay, NtStatusFlagIsClearedAndLooksInNtdll) {
  FakeMessages messages;
  messages.ntdll[0xC0000022u & ~0x10000000u] = "{Access Denied}\r\n";
  messages.system[0xD0000022u] = "wrong table";
  EXPECT_EQ(display(Error::os(0xD0000022u), messages), "{Access Denied} (0xD0000022)");
}

TEST(ErrorDisplay, FileSystemErrorsShowTheDecimalCode) {
  FakeMessages messages;
  messages.system[2] = "The system cannot find the file specified.\r\n";
  EXPECT_EQ(display(Error::file_system(2), messages),
            "The system cannot find the file specified. (os error 2)");
  EXPECT_EQ(display(Error::file_system(4242), messages),
            "OS Error 4242 (FormatMessageW() returned error 317)");
}

TEST(ResultType, CarriesValueOrErrorAndPropagates) {
  auto half = [](int v) -> Result<int> {
    if (v % 2) return Error::message("odd");
    return v / 2;
  };
  auto twice_halved = [&](int v) -> Status {
    VK_RETURN_IF_ERROR(half(v));
    return Ok();
  };
  EXPECT_EQ(half(8).value(), 4);
  EXPECT_EQ(half(3).error().text(), "odd");
  EXPECT_TRUE(twice_halved(2).ok());
  EXPECT_EQ(twice_halved(5).error(), Error::message("odd"));
}

}  // namespace
}  // namespace vornakel
