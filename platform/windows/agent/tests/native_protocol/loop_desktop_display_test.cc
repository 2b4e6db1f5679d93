// The command loop following the input desktop and the display command: the desktop line, the
// backend rebuilt for the same display, the display chosen by its reduced id, and the stage each
// failure there is reported under.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "native_protocol/support/loop_harness.h"

namespace vornakel::native_protocol::testing {
namespace {

using Events = std::vector<std::string>;

TEST_F(LoopTest, ADesktopSwitchWritesOneFlushedDesktopLineAndRebuildsTheBackend) {
  start();
  commands.line(key_line(1, "KeyA", true))
      .nothing([this] { desktop.input_desktop_ = "Winlogon"; })
      .nothing()
      .line(key_line(2, "KeyB", true), [this] { desktop.input_desktop_ = "Default"; })
      .nothing()
      .line(key_line(3, "KeyC", true))
      .end_of_input();
  ASSERT_TRUE(run().ok());
  EXPECT_EQ(status.lines(),
            (std::vector<std::string>{"{\"type\":\"desktop\",\"name\":\"Winlogon\"}\n",
                                      "{\"type\":\"desktop\",\"name\":\"Default\"}\n"}));
  // Each line reached the pipe on its own flush.
  ASSERT_EQ(status.flushed_at.size(), 2u);
  EXPECT_EQ(status.flushed_at[0], "{\"type\":\"desktop\",\"name\":\"Winlogon\"}\n");
  // The backend of each desktop was released and destroyed before the next was built, for the
  // same display.
  EXPECT_EQ(backends.created_for,
            (std::vector<std::string>{"\\\\.\\DISPLAY1", "\\\\.\\DISPLAY1", "\\\\.\\DISPLAY1"}));
  EXPECT_TRUE(backends.log.destroyed[0]);
  EXPECT_TRUE(backends.log.destroyed[1]);
  EXPECT_FALSE(backends.log.destroyed[2]);
  EXPECT_EQ(backends.log.events,
            (Events{"b1 key 4 down mods 0", "b1 release key 4", "b2 key 5 down mods 0",
                    "b2 release key 5", "b3 key 6 down mods 0"}));
}

TEST_F(LoopTest, ADesktopSwitchKeepsTheCurrentSecondDisplay) {
  start();
  commands.line(display_line("DISPLAY2"))
      .nothing([this] { desktop.input_desktop_ = "Winlogon"; })
      .line(pointer_line(1, 0, 1, 0))
      .end_of_input();
  ASSERT_TRUE(run().ok());
  EXPECT_EQ(backends.created_for.back(), "\\\\.\\DISPLAY2");
  EXPECT_EQ(backends.log.events, (Events{"b3 move-abs \\\\.\\DISPLAY2 0 1"}));
}

TEST_F(LoopTest, ADesktopSwitchDoesNotResetTheButtonsTheGateRemembers) {
  start();
  commands.line(pointer_line(1, 0.5, 0.5, 1))
      .nothing([this] { desktop.input_desktop_ = "Winlogon"; })
      .line(pointer_line(2, 0.5, 0.5, 1))
      .end_of_input();
  ASSERT_TRUE(run().ok());
  EXPECT_EQ(backends.log.events, (Events{"b1 move-abs \\\\.\\DISPLAY1 0.5 0.5", "b1 button 1 down",
                                         "b2 move-abs \\\\.\\DISPLAY1 0.5 0.5"}));
}

TEST_F(LoopTest, RepeatedRefreshesWithoutASwitchWriteNothing) {
  start();
  for (int i = 0; i < 5; ++i) commands.nothing();
  commands.end_of_input();
  ASSERT_TRUE(run().ok());
  EXPECT_EQ(desktop.refreshes, 1 + 6);
  EXPECT_TRUE(status.bytes.empty());
  EXPECT_EQ(backends.created_for.size(), 1u);
}

struct DesktopFailure {
  const char* name;
  void (*arrange)(LoopTest&);
  const char* error_line;
};

class LoopDesktopFailureTest : public LoopTest,
                               public ::testing::WithParamInterface<DesktopFailure> {
 protected:
  void arrange() { GetParam().arrange(*this); }
};

TEST_P(LoopDesktopFailureTest, EndsTheHostUnderTheStepInProgress) {
  start();
  commands.line(key_line(1, "KeyA", true))
      .nothing([this] { arrange(); })
      .line(key_line(2, "KeyB", true));
  ASSERT_FALSE(run().ok());
  EXPECT_EQ(error_line(), GetParam().error_line);
  EXPECT_EQ(backends.log.events.front(), "b1 key 4 down mods 0");
  EXPECT_EQ(commands.remaining(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, LoopDesktopFailureTest,
    ::testing::Values(
        DesktopFailure{"ScreenSaverDesktop",
                       [](LoopTest& harness) { harness.desktop.input_desktop_ = "Screen-saver"; },
                       "{\"type\":\"error\",\"stage\":\"refresh-input-desktop\",\"win32\":0}\n"},
        DesktopFailure{
            "OpenFails",
            [](LoopTest& harness) { harness.desktop.fail_next = Error::os_from_win32(5); },
            "{\"type\":\"error\",\"stage\":\"refresh-input-desktop\",\"win32\":0}\n"},
        DesktopFailure{"DisplayGone",
                       [](LoopTest& harness) {
                         harness.desktop.input_desktop_ = "Winlogon";
                         harness.displays.records.erase(harness.displays.records.begin());
                       },
                       "{\"type\":\"error\",\"stage\":\"refresh-displays\",\"win32\":0}\n"},
        DesktopFailure{"EnumerationFails",
                       [](LoopTest& harness) {
                         harness.desktop.input_desktop_ = "Winlogon";
                         harness.displays.fail =
                             AdapterError::of(AdapterError::Kind::kDisplayTooLarge);
                       },
                       "{\"type\":\"error\",\"stage\":\"refresh-displays\",\"win32\":0}\n"},
        DesktopFailure{"BackendFails",
                       [](LoopTest& harness) {
                         harness.desktop.input_desktop_ = "Winlogon";
                         harness.backends.fail_next = AdapterError::platform("no");
                       },
                       "{\"type\":\"error\",\"stage\":\"recreate-input-backend\",\"win32\":0}\n"},
        DesktopFailure{"DesktopLineFlushFails",
                       [](LoopTest& harness) {
                         harness.desktop.input_desktop_ = "Winlogon";
                         harness.status.fail_flush = true;
                       },
                       "{\"type\":\"error\",\"stage\":\"recreate-input-backend\",\"win32\":0}\n"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(LoopTest, ADisplayCommandMovesInputToTheMatchingMonitor) {
  start();
  commands.line(key_line(1, "KeyA", true))
      .line(pointer_line(2, 0.5, 0.5, 1))
      .line(display_line("DISPLAY2"))
      .line(pointer_line(3, 1, 0, 1))
      .end_of_input();
  ASSERT_TRUE(run().ok());
  EXPECT_EQ(context->display.id, "\\\\.\\DISPLAY2");
  EXPECT_EQ(backends.created_for, (std::vector<std::string>{"\\\\.\\DISPLAY1", "\\\\.\\DISPLAY2"}));
  EXPECT_TRUE(backends.log.destroyed[0]);
  EXPECT_EQ(backends.log.releases[0], 1);
  // The gate forgot the held button, so the new monitor gets the press again.
  EXPECT_EQ(
      backends.log.events,
      (Events{"b1 key 4 down mods 0", "b1 move-abs \\\\.\\DISPLAY1 0.5 0.5", "b1 button 1 down",
              "b1 release key 4", "b2 move-abs \\\\.\\DISPLAY2 1 0", "b2 button 1 down"}));
  // No desktop line for a display change.
  EXPECT_TRUE(status.bytes.empty());
}

TEST_F(LoopTest, ADisplayCommandIgnoresAFailedReleaseAndTakesNothingButItsId) {
  start();
  backends.latest->fail_release = AdapterError::platform("blocked");
  // Geometry far from the second monitor's: it neither chooses nor becomes the display.
  commands.line(key_line(1, "KeyA", true))
      .line(R"({"type":"display","id":"DISPLAY2","x":-262144,"y":262144,"width":2,"height":32768})"
            "\n")
      .line(pointer_line(2, 1, 1, 0))
      .end_of_input();
  ASSERT_TRUE(run().ok());
  EXPECT_EQ(context->display.id, "\\\\.\\DISPLAY2");
  EXPECT_EQ(context->display.x, 1920);
  EXPECT_EQ(context->display.y, 0);
  EXPECT_EQ(context->display.width, 1280u);
  EXPECT_EQ(context->display.height, 1024u);
  EXPECT_EQ(backends.log.releases[0], 1);
  EXPECT_EQ(backends.log.events.back(), "b2 move-abs \\\\.\\DISPLAY2 1 1");
}

TEST_F(LoopTest, ADisplayCommandNamingNoMonitorChangesNothing) {
  start();
  commands.line(pointer_line(1, 0.5, 0.5, 1))
      .line(display_line("display2"))
      .line(display_line("DISPLAY3"))
      .line(pointer_line(2, 0.5, 0.5, 1))
      .end_of_input();
  ASSERT_TRUE(run().ok());
  EXPECT_EQ(context->display.id, "\\\\.\\DISPLAY1");
  EXPECT_EQ(backends.created_for.size(), 1u);
  EXPECT_EQ(backends.log.releases[0], 0);
  EXPECT_EQ(displays.enumerations, 2);
  EXPECT_EQ(backends.log.events, (Events{"b1 move-abs \\\\.\\DISPLAY1 0.5 0.5", "b1 button 1 down",
                                         "b1 move-abs \\\\.\\DISPLAY1 0.5 0.5"}));
}

TEST_F(LoopTest, ADisplayCommandFailingToEnumerateOrBuildEndsTheHostUnderParseCommand) {
  start();
  displays.fail = AdapterError::platform(
      "Windows could not enable per-monitor DPI awareness for pointer coordinates");
  commands.line(display_line("DISPLAY2"));
  ASSERT_FALSE(run().ok());
  EXPECT_EQ(error_line(), "{\"type\":\"error\",\"stage\":\"parse-command\",\"win32\":0}\n");
}

TEST_F(LoopTest, ADisplayCommandWhoseBackendCannotBeBuiltEndsTheHostUnderParseCommand) {
  start();
  backends.fail_next = AdapterError::platform("no");
  commands.line(display_line("DISPLAY2"));
  ASSERT_FALSE(run().ok());
  EXPECT_EQ(error_line(), "{\"type\":\"error\",\"stage\":\"parse-command\",\"win32\":0}\n");
}

}  // namespace
}  // namespace vornakel::native_protocol::testing
