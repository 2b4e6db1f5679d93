#include "service_host/capture/capture_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "common/utf16.h"

namespace vornakel {
namespace {

constexpr char16_t kVersionDir[] = u"C:\\Program Files\\Vornakel Connect\\versions\\1.0.0";
constexpr char16_t kEngine[] =
    u"C:\\Program Files\\Vornakel Connect\\versions\\1.0.0\\runtime/ffmpeg.exe";

// A machine on which every step succeeds unless a test says otherwise. Each call is logged so that
// tests can see the order of the steps and that nothing ran after a failure.
class FakeCapturePlatform : public CapturePlatform {
 public:
  std::optional<Error> local_system_failure;
  std::optional<Error> install_failure;
  std::optional<Error> engine_check_failure;
  std::optional<Error> desktop_failure;
  std::u16string desktop_name = u"Default";
  Result<uint32_t> engine_result = uint32_t{0};
  std::vector<std::string> log;
  std::optional<EngineLaunch> launched;

  Status require_local_system() override {
    log.push_back("require-local-system");
    return local_system_failure ? Status(*local_system_failure) : Ok();
  }
  Result<InstallLayout> validate_install() override {
    log.push_back("validate-install");
    if (install_failure) return *install_failure;
    return InstallLayout{kVersionDir, u"C:\\ProgramData\\Vornakel Connect\\private"};
  }
  Status check_protected_path(const std::u16string& path, bool private_mode) override {
    log.push_back((private_mode ? "private " : "shared ") + utf16_to_utf8_lossy(path));
    return engine_check_failure ? Status(*engine_check_failure) : Ok();
  }
  Result<DesktopNameBuffer> read_input_desktop_name() override {
    log.push_back("input-desktop");
    if (desktop_failure) return *desktop_failure;
    DesktopNameBuffer buffer{};
    std::copy_n(desktop_name.begin(), std::min(desktop_name.size(), buffer.size()), buffer.begin());
    return buffer;
  }
  Result<uint32_t> run_engine(const EngineLaunch& launch) override {
    log.push_back("run-engine");
    launched = launch;
    return engine_result;
  }
};

const std::vector<std::string> kAllSteps = {"require-local-system", "validate-install",
                                            "shared " + utf16_to_utf8_lossy(kEngine),
                                            "input-desktop", "run-engine"};

std::vector<std::string> first_steps(size_t count) {
  return std::vector<std::string>(kAllSteps.begin(), kAllSteps.begin() + count);
}

TEST(CaptureHost, RunsEveryStepInOrderAndHandsTheEngineItsLaunch) {
  FakeCapturePlatform platform;
  platform.desktop_name = u"Winlogon";
  platform.engine_result = uint32_t{0xC0000005};
  Result<uint32_t> code = capture_engine_exit_code(platform, {u"-f", u"two words"});
  ASSERT_TRUE(code.ok());
  EXPECT_EQ(code.value(), 0xC0000005u);
  EXPECT_EQ(platform.log, kAllSteps);
  ASSERT_TRUE(platform.launched);
  EXPECT_EQ(platform.launched->application, kEngine);
  EXPECT_EQ(platform.launched->command_line,
            u"\"" + std::u16string(kEngine) + u"\" \"-f\" \"two words\"");
  EXPECT_EQ(platform.launched->desktop, u"WinSta0\\Winlogon");
}

TEST(CaptureHost, ArgumentBoundsAreCheckedBeforeTheInstallationIsRead) {
  const Error bound = Error::message("Capture argument bound exceeded");
  for (const std::vector<std::u16string>& args :
       {std::vector<std::u16string>(129, u"x"),
        std::vector<std::u16string>{std::u16string(16385, u'a')}}) {
    FakeCapturePlatform platform;
    platform.install_failure = Error::file_system(2);  // as if nothing were installed
    EXPECT_EQ(capture_engine_exit_code(platform, args).error(), bound);
    EXPECT_EQ(platform.log, first_steps(1));
  }
  // At the bounds the installation is read (and here found missing).
  for (const std::vector<std::u16string>& args :
       {std::vector<std::u16string>(128, u"x"),
        std::vector<std::u16string>{std::u16string(16384, u'a')}}) {
    FakeCapturePlatform platform;
    platform.install_failure = Error::file_system(2);
    EXPECT_EQ(capture_engine_exit_code(platform, args).error(), Error::file_system(2));
    EXPECT_EQ(platform.log, first_steps(2));
  }
}

TEST(CaptureHost, EachFailureEndsTheRunWithItsOwnError) {
  struct Case {
    const char* what;
    void (*arrange)(FakeCapturePlatform&);
    Error expected;
    size_t steps_run;
  };
  const Case cases[] = {
      {"not LocalSystem",
       [](FakeCapturePlatform& p) {
         p.local_system_failure =
             Error::message("This entry point requires the installed LocalSystem service");
       },
       Error::message("This entry point requires the installed LocalSystem service"), 1},
      {"installation invalid",
       [](FakeCapturePlatform& p) {
         p.install_failure = Error::message("Invalid installed service version");
       },
       Error::message("Invalid installed service version"), 2},
      {"engine writable by users",
       [](FakeCapturePlatform& p) {
         p.engine_check_failure =
             Error::message("An unprivileged account can access protected host state");
       },
       Error::message("An unprivileged account can access protected host state"), 3},
      {"engine missing",
       [](FakeCapturePlatform& p) { p.engine_check_failure = Error::file_system(2); },
       Error::file_system(2), 3},
      {"input desktop unreadable",
       [](FakeCapturePlatform& p) { p.desktop_failure = Error::os(0x80070005); },
       Error::os(0x80070005), 4},
      {"another desktop", [](FakeCapturePlatform& p) { p.desktop_name = u"Screen-saver"; },
       Error::message("Unsupported input desktop"), 4},
      {"engine start fails",
       [](FakeCapturePlatform& p) { p.engine_result = Error::os(0x800700C1); },
       Error::os(0x800700C1), 5},
  };
  for (const Case& c : cases) {
    FakeCapturePlatform platform;
    c.arrange(platform);
    Result<uint32_t> code = capture_engine_exit_code(platform, {u"-i", u"x"});
    ASSERT_FALSE(code.ok()) << c.what;
    EXPECT_EQ(code.error(), c.expected) << c.what;
    EXPECT_EQ(platform.log, first_steps(c.steps_run)) << c.what;
  }
}

}  // namespace
}  // namespace vornakel
