#include "service_host/mode_dispatch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service_host/local_system.h"

namespace vornakel {
namespace {

ModeSelection select(std::vector<std::u16string> args) { return select_mode(args); }

TEST(SelectMode, NoArgumentIsTheService) { EXPECT_EQ(select({}).mode, Mode::kService); }

TEST(SelectMode, EachModeNameAloneSelectsItsMode) {
  EXPECT_EQ(select({u"--input"}).mode, Mode::kInput);
  EXPECT_EQ(select({u"--indicator"}).mode, Mode::kIndicator);
  EXPECT_EQ(select({u"--is-system"}).mode, Mode::kIsSystem);
  EXPECT_EQ(select({u"--validate-install"}).mode, Mode::kValidateInstall);
  EXPECT_EQ(select({u"--capture"}).mode, Mode::kCapture);
}

TEST(SelectMode, MatchingIsExactAndCaseSensitive) {
  for (const char16_t* name :
       {u"--Input", u"--INPUT", u"--is-system ", u" --is-system", u"-input", u"input", u"--", u"",
        u"--bogus", u"--capture ", u"--Capture", u"/input", u"--validate_install"}) {
    EXPECT_EQ(select({name}).mode, Mode::kUnknown);
  }
  EXPECT_EQ(select({std::u16string(u"--input\0", 8)}).mode, Mode::kUnknown);
}

TEST(SelectMode, FurtherArgumentsAreRefusedExceptForCapture) {
  EXPECT_EQ(select({u"--input", u"extra"}).mode, Mode::kUnknown);
  EXPECT_EQ(select({u"--is-system", u""}).mode, Mode::kUnknown);
  EXPECT_EQ(select({u"--indicator", u"--indicator"}).mode, Mode::kUnknown);
  EXPECT_EQ(select({u"--validate-install", u"x"}).mode, Mode::kUnknown);
}

TEST(SelectMode, CaptureHandsOnEveryFurtherArgumentUnchanged) {
  EXPECT_TRUE(select({u"--capture"}).capture_args.empty());
  const std::u16string lone_surrogate = std::u16string(u"a") + char16_t(0xDC00);
  ModeSelection selection = select({u"--capture", u"-f", u"", u"a \"b\"", lone_surrogate, u"-f"});
  EXPECT_EQ(selection.mode, Mode::kCapture);
  EXPECT_EQ(selection.capture_args,
            (std::vector<std::u16string>{u"-f", u"", u"a \"b\"", lone_surrogate, u"-f"}));
}

TEST(SelectMode, FirstArgumentWithUnpairedSurrogateCountsAsNoArgument) {
  const std::u16string high = std::u16string(u"--input") + char16_t(0xD800);
  const std::u16string low = std::u16string(1, char16_t(0xDC00)) + u"--input";
  EXPECT_EQ(select({high}).mode, Mode::kService);
  EXPECT_EQ(select({low, u"more", u"args"}).mode, Mode::kService);
  // A proper pair is convertible text, just not a mode name.
  EXPECT_EQ(select({u"--input\U0001F600"}).mode, Mode::kUnknown);
}

// Records which steps ran; a step named in `failing` returns an error carrying its name.
class RecordingSteps : public ModeSteps {
 public:
  std::vector<std::string> ran;
  std::string failing;
  std::vector<std::u16string> capture_args;

  Status require_local_system() override { return step("require_local_system"); }
  Status attach_interactive_window_station() override { return step("attach"); }
  Status run_service_dispatcher() override { return step("service"); }
  Status run_input_host() override { return step("input"); }
  Status run_capture_host(const std::vector<std::u16string>& args) override {
    capture_args = args;
    return step("capture");
  }
  Status run_indicator() override { return step("indicator"); }
  Status validate_install() override { return step("validate_install"); }

 private:
  Status step(const std::string& name) {
    ran.push_back(name);
    if (name == failing) return Error::message(name + " failed");
    return Ok();
  }
};

using Steps = std::vector<std::string>;

Steps run(std::vector<std::u16string> args, const std::string& failing = {},
          Status* result = nullptr) {
  RecordingSteps steps;
  steps.failing = failing;
  Status status = run_mode(select_mode(args), steps);
  if (result) *result = status;
  return steps.ran;
}

TEST(RunMode, SessionHelpersCheckTheTokenThenAttachThenRun) {
  EXPECT_EQ(run({u"--input"}), (Steps{"require_local_system", "attach", "input"}));
  EXPECT_EQ(run({u"--capture", u"a"}), (Steps{"require_local_system", "attach", "capture"}));
  EXPECT_EQ(run({u"--indicator"}), (Steps{"require_local_system", "attach", "indicator"}));
}

TEST(RunMode, ProbeValidatorAndServiceRunOnlyTheirOwnStep) {
  EXPECT_EQ(run({u"--is-system"}), (Steps{"require_local_system"}));
  EXPECT_EQ(run({u"--validate-install"}), (Steps{"validate_install"}));
  EXPECT_EQ(run({}), (Steps{"service"}));
}

TEST(RunMode, FirstFailureEndsTheModeWithItsError) {
  Status status;
  EXPECT_EQ(run({u"--input"}, "require_local_system", &status), (Steps{"require_local_system"}));
  EXPECT_EQ(status.error().text(), "require_local_system failed");
  EXPECT_EQ(run({u"--indicator"}, "attach", &status), (Steps{"require_local_system", "attach"}));
  EXPECT_EQ(status.error().text(), "attach failed");
  EXPECT_EQ(run({u"--capture"}, "capture", &status),
            (Steps{"require_local_system", "attach", "capture"}));
  EXPECT_EQ(status.error().text(), "capture failed");
}

TEST(RunMode, UnknownOperationRunsNothing) {
  Status status;
  EXPECT_TRUE(run({u"--input", u"extra"}, {}, &status).empty());
  EXPECT_EQ(status.error(), Error::message("Unknown service operation"));
}

TEST(RunMode, CaptureArgumentsReachTheCaptureHost) {
  RecordingSteps steps;
  ASSERT_TRUE(run_mode(select_mode({u"--capture", u"-i", u"x y"}), steps).ok());
  EXPECT_EQ(steps.capture_args, (std::vector<std::u16string>{u"-i", u"x y"}));
}

TEST(TokenUserBound, SizesOutsideOneTo65536AreInvalid) {
  EXPECT_FALSE(token_user_size_in_bound(0));
  EXPECT_TRUE(token_user_size_in_bound(1));
  EXPECT_TRUE(token_user_size_in_bound(44));
  EXPECT_TRUE(token_user_size_in_bound(65536));
  EXPECT_FALSE(token_user_size_in_bound(65537));
  EXPECT_FALSE(token_user_size_in_bound(UINT64_MAX));
}

TEST(TokenUserBound, BufferSizeRoundsUpToEight) {
  EXPECT_EQ(round_up_to_8(1), 8u);
  EXPECT_EQ(round_up_to_8(8), 8u);
  EXPECT_EQ(round_up_to_8(44), 48u);
  EXPECT_EQ(round_up_to_8(65535), 65536u);
  EXPECT_EQ(round_up_to_8(65536), 65536u);
}

}  // namespace
}  // namespace vornakel
