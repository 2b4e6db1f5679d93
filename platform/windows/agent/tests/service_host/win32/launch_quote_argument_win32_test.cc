// The quoting must survive the real command-line splitter: whatever list goes in, the child sees
// exactly that list.
#include <windows.h>
// After windows.h, which it depends on.
#include <shellapi.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/win32/unique_handle.h"
#include "common/win32/wide.h"
#include "service_host/quote_argument.h"

namespace vornakel {
namespace {

std::vector<std::wstring> split(const std::wstring& command_line) {
  int count = 0;
  win32::UniqueLocal<LPWSTR*> argv(::CommandLineToArgvW(command_line.c_str(), &count));
  EXPECT_TRUE(argv) << ::GetLastError();
  std::vector<std::wstring> args;
  for (int i = 0; argv && i < count; ++i) args.emplace_back(argv.get()[i]);
  return args;
}

std::wstring join_quoted(const std::vector<std::wstring>& args) {
  std::wstring line = L"prog";
  for (const std::wstring& arg : args)
    line += L" " + win32::to_wide(quote_argument(win32::to_u16(arg)));
  return line;
}

std::wstring random_argument(std::mt19937& random) {
  static const std::vector<std::wstring> pieces = {
      L"\\",     L"\\\\",   L"\\\\\\",     L"\"",     L"\\\"",
      L" ",      L"\t",     L"a",          L"bc",     L"C:\\Program Files\\",
      L"\u00e9", L"\u4e2d", L"\U0001F600", L"-",      L"=",
      L"'",      L"^",      L"&",          L"%PATH%", L"x y"};
  std::wstring arg;
  const int length = static_cast<int>(random() % 7);
  for (int i = 0; i < length; ++i) arg += pieces[random() % pieces.size()];
  // Trailing backslash runs are the classic failure; make them common.
  if (random() % 4 == 0) arg.append(1 + random() % 3, L'\\');
  return arg;
}

TEST(QuoteArgumentWin32, CommandLineToArgvWGivesBackEveryRandomList) {
  std::mt19937 random(424242);
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::wstring> args;
    const int count = 1 + static_cast<int>(random() % 5);
    for (int i = 0; i < count; ++i) args.push_back(random_argument(random));
    const std::wstring line = join_quoted(args);
    std::vector<std::wstring> expected = {L"prog"};
    expected.insert(expected.end(), args.begin(), args.end());
    ASSERT_EQ(split(line), expected) << win32::wide_to_utf8_lossy(line);
  }
}

TEST(QuoteArgumentWin32, FixedHardCasesRoundTrip) {
  const std::vector<std::wstring> args = {L"",       L"\\",     L"\"", L"a\\\\\"b\\", L"C:\\dir\\",
                                          L"\"\"\"", L"\\\\\\", L" ",  L"\\\" \\",    L"end\\\\\\"};
  std::vector<std::wstring> expected = {L"prog"};
  expected.insert(expected.end(), args.begin(), args.end());
  EXPECT_EQ(split(join_quoted(args)), expected);
}

}  // namespace
}  // namespace vornakel
