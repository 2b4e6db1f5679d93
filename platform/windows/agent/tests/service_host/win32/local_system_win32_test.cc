#include "service_host/local_system.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>

#include "service_host/win32/token_user.h"

namespace vornakel {
namespace {

TEST(RequireLocalSystem, RefusesAnOrdinaryUser) {
  // Test programs never run as LocalSystem (under Wine nothing does).
  const Status status = require_local_system();
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error(),
            Error::message("This entry point requires the installed LocalSystem service"));
}

TEST(RequireLocalSystem, ReadsTheRealTokenUserIntoAnAlignedBuffer) {
  Result<win32::TokenUserBuffer> user = win32::read_process_token_user();
  ASSERT_TRUE(user.ok()) << user.error().text();
  EXPECT_EQ(reinterpret_cast<uintptr_t>(user.value().data()) % 8, 0u);
  EXPECT_EQ(user.value().size() % 8, 0u);
  ASSERT_TRUE(::IsValidSid(user.value().user()->User.Sid));
  EXPECT_FALSE(::IsWellKnownSid(user.value().user()->User.Sid, WinLocalSystemSid));
}

TEST(TokenUserBufferTest, RoundsUpAndZeroFills) {
  win32::TokenUserBuffer buffer(13);
  EXPECT_EQ(buffer.size(), 16u);
  const auto* bytes = static_cast<const unsigned char*>(buffer.data());
  for (size_t i = 0; i < buffer.size(); ++i) EXPECT_EQ(bytes[i], 0) << i;
}

TEST(AttachInteractiveWindowStation, AttachesToWinSta0) {
  ASSERT_TRUE(attach_interactive_window_station().ok());
  wchar_t name[64] = {};
  ASSERT_TRUE(::GetUserObjectInformationW(::GetProcessWindowStation(), UOI_NAME, name,
                                          sizeof name - sizeof(wchar_t), nullptr));
  EXPECT_STREQ(name, L"WinSta0");
}

}  // namespace
}  // namespace vornakel
