#include "common/win32/wide.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "common/win32/unique_handle.h"

namespace vornakel::win32 {
namespace {

constexpr wchar_t kName[] = L"VORNAKEL_WIDE_TEST_VARIABLE";

class EnvironmentVariable : public ::testing::Test {
 protected:
  void TearDown() override { ::SetEnvironmentVariableW(kName, nullptr); }
};

TEST_F(EnvironmentVariable, UnsetIsNulloptAndEmptyIsEmpty) {
  ::SetEnvironmentVariableW(kName, nullptr);
  EXPECT_FALSE(read_environment(kName).has_value());
  ASSERT_TRUE(::SetEnvironmentVariableW(kName, L""));
  std::optional<std::u16string> empty = read_environment(kName);
  // Some systems drop empty variables altogether; a set one must read as empty, never as junk.
  if (empty) {
    EXPECT_TRUE(empty->empty());
  }
}

TEST_F(EnvironmentVariable, LongValuesAndUnpairedSurrogatesComeBackExactly) {
  std::wstring value(5000, L'x');
  value[0] = static_cast<wchar_t>(0xD800);  // a lone high surrogate
  value[4999] = L'y';
  ASSERT_TRUE(::SetEnvironmentVariableW(kName, value.c_str()));
  std::optional<std::u16string> read = read_environment(kName);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(*read, to_u16(value));
}

TEST(WideText, ConversionsKeepEveryCodeUnit) {
  const std::wstring text = L"C:\\Program Files\\\u00e9\U0001F600";
  EXPECT_EQ(to_wide(to_u16(text)), text);
  EXPECT_EQ(wide_to_utf8_lossy(text), "C:\\Program Files\\\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(wide_to_utf8_lossy(std::wstring(1, static_cast<wchar_t>(0xDC00))), "\xEF\xBF\xBD");
  EXPECT_EQ(utf8_to_wide("\xC3\xA9").value(), L"\u00e9");
  EXPECT_FALSE(utf8_to_wide("\xC0\xAF").has_value());
}

TEST(UniqueHandleTest, ClosesOnResetAndMovesOwnership) {
  UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event.valid());
  const HANDLE raw = event.get();
  UniqueHandle moved(std::move(event));
  EXPECT_FALSE(event.valid());  // NOLINT: checking the moved-from state is the point
  EXPECT_EQ(moved.get(), raw);
  DWORD flags = 0;
  EXPECT_TRUE(::GetHandleInformation(raw, &flags));
  moved.reset();
  EXPECT_FALSE(::GetHandleInformation(raw, &flags));
}

TEST(UniqueHandleTest, InvalidHandleValueIsNotOwned) {
  UniqueHandle none(INVALID_HANDLE_VALUE);
  EXPECT_FALSE(none.valid());
  EXPECT_FALSE(UniqueHandle::is_valid(nullptr));
}

}  // namespace
}  // namespace vornakel::win32
