#include "service_host/capture/input_desktop_name.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace vornakel {
namespace {

// A zero-filled buffer with `name` copied to its start (truncated to the buffer).
DesktopNameBuffer buffer_with(std::u16string_view name) {
  DesktopNameBuffer buffer{};
  std::copy_n(name.begin(), std::min(name.size(), buffer.size()), buffer.begin());
  return buffer;
}

TEST(InputDesktopName, IsTheTextUpToTheFirstZeroOrTheWholeBuffer) {
  EXPECT_EQ(desktop_name_in(buffer_with(u"Winlogon")), "Winlogon");
  EXPECT_EQ(desktop_name_in(buffer_with(u"")), "");
  // What follows the terminator is not part of the name.
  EXPECT_EQ(desktop_name_in(buffer_with(std::u16string(u"Default\0Winlogon", 16))), "Default");

  // A name that fills all 256 units has no terminator; none of it is dropped.
  DesktopNameBuffer full;
  full.fill(u'd');
  EXPECT_EQ(desktop_name_in(full), std::string(256, 'd'));
  // Its last unit may be the first half of a pair that did not fit.
  full.back() = char16_t(0xD83D);
  EXPECT_EQ(desktop_name_in(full), std::string(255, 'd') + "\xEF\xBF\xBD");

  const std::u16string lone{u'D', char16_t(0xDC00), u'x', char16_t(0xD800)};
  EXPECT_EQ(desktop_name_in(buffer_with(lone)), "D\xEF\xBF\xBDx\xEF\xBF\xBD");
}

TEST(InputDesktopName, OnlyDefaultAndWinlogonAreAccepted) {
  EXPECT_EQ(engine_desktop_for("Default").value(), u"WinSta0\\Default");
  EXPECT_EQ(engine_desktop_for("Winlogon").value(), u"WinSta0\\Winlogon");
  const Error unsupported = Error::message("Unsupported input desktop");
  const std::string refused[] = {"",
                                 "default",
                                 "WINLOGON",
                                 "Default ",
                                 " Winlogon",
                                 "Screen-saver",
                                 "Disconnect",
                                 "WinSta0\\Default",
                                 std::string("Default\0", 8),
                                 std::string(256, 'd'),
                                 "Default\xEF\xBF\xBD"};
  for (const std::string& name : refused) {
    Result<std::u16string> desktop = engine_desktop_for(name);
    ASSERT_FALSE(desktop.ok()) << name;
    EXPECT_EQ(desktop.error(), unsupported) << name;
  }
  // The whole rule, from what Windows wrote to what the engine gets: a lone surrogate after the
  // name is kept (as U+FFFD) and so refuses the desktop, it is not silently dropped.
  const std::u16string spoof = std::u16string(u"Default") + char16_t(0xD800);
  EXPECT_FALSE(engine_desktop_for(desktop_name_in(buffer_with(spoof))).ok());
}

}  // namespace
}  // namespace vornakel
