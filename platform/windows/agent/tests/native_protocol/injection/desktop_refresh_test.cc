#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "native_protocol/injection/input_desktop_tracker.h"
#include "native_protocol/injection/support/fake_desktop_api.h"

namespace vornakel::native_protocol {
namespace {

using testing::DesktopState;
using testing::FakeDesktopApi;
using testing::LoggingBackend;
using Calls = std::vector<std::string>;

const Error kRejected = Error::message("Native input authorization or framing was rejected");

struct Fixture {
  Fixture()
      : state(std::make_shared<DesktopState>()), desktop(std::make_unique<FakeDesktopApi>(state)) {}
  std::unique_ptr<InputBackend> backend_with(std::vector<bool> release_results = {}) {
    return std::make_unique<LoggingBackend>(state->calls, std::move(release_results));
  }
  std::shared_ptr<DesktopState> state;
  InputDesktopTracker desktop;
};

TEST(DesktopRefreshTest, FirstRefreshAttachesWithoutABackend) {
  Fixture f;
  std::unique_ptr<InputBackend> none;
  auto changed = f.desktop.refresh_input_desktop(none);
  ASSERT_TRUE(changed.ok());
  EXPECT_TRUE(changed.value());
  EXPECT_EQ(f.desktop.name(), "Default");
  EXPECT_EQ(f.state->calls, (Calls{"open 1", "name 1", "set 1"}));
}

TEST(DesktopRefreshTest, SameDesktopStaysPut) {
  Fixture f;
  std::unique_ptr<InputBackend> backend;
  ASSERT_TRUE(f.desktop.refresh_input_desktop(backend).ok());
  backend = f.backend_with();
  f.state->calls.clear();
  for (int i = 0; i < 3; ++i) {
    auto changed = f.desktop.refresh_input_desktop(backend);
    ASSERT_TRUE(changed.ok());
    EXPECT_FALSE(changed.value());
  }
  EXPECT_EQ(f.state->calls, (Calls{"open 2", "name 2", "close 2", "open 3", "name 3", "close 3",
                                   "open 4", "name 4", "close 4"}));
  EXPECT_NE(backend, nullptr);
  EXPECT_EQ(f.state->open_handles, std::vector<DesktopApi::Handle>{1});
}

TEST(DesktopRefreshTest, SwitchReleasesAroundTheMoveAndDropsTheBackend) {
  Fixture f;
  std::unique_ptr<InputBackend> backend;
  ASSERT_TRUE(f.desktop.refresh_input_desktop(backend).ok());
  backend = f.backend_with({false});  // a failure before the switch is ignored
  f.state->calls.clear();

  f.state->input_desktop = u"Winlogon";
  auto changed = f.desktop.refresh_input_desktop(backend);
  ASSERT_TRUE(changed.ok());
  EXPECT_TRUE(changed.value());
  EXPECT_EQ(f.desktop.name(), "Winlogon");
  EXPECT_EQ(backend, nullptr);
  EXPECT_EQ(f.state->calls, (Calls{"open 2", "name 2", "release_all", "set 2", "close 1",
                                   "release_all", "backend destroyed"}));
  EXPECT_EQ(f.state->open_handles, std::vector<DesktopApi::Handle>{2});

  // And back again, with no backend built in between.
  f.state->calls.clear();
  f.state->input_desktop = u"Default";
  changed = f.desktop.refresh_input_desktop(backend);
  ASSERT_TRUE(changed.ok());
  EXPECT_TRUE(changed.value());
  EXPECT_EQ(f.desktop.name(), "Default");
  EXPECT_EQ(f.state->calls, (Calls{"open 3", "name 3", "set 3", "close 2"}));
}

TEST(DesktopRefreshTest, OnlyDefaultAndWinlogonAreAccepted) {
  for (const std::u16string& name :
       {std::u16string(u"Screen-saver"), std::u16string(u"default"), std::u16string(u"Default "),
        std::u16string(u"WINLOGON"), std::u16string(u"")}) {
    Fixture f;
    std::unique_ptr<InputBackend> backend;
    ASSERT_TRUE(f.desktop.refresh_input_desktop(backend).ok());
    backend = f.backend_with();
    f.state->calls.clear();
    f.state->input_desktop = name;
    auto changed = f.desktop.refresh_input_desktop(backend);
    ASSERT_FALSE(changed.ok());
    EXPECT_EQ(changed.error(), kRejected);
    EXPECT_EQ(f.state->calls, (Calls{"open 2", "name 2", "close 2"}));
    EXPECT_EQ(f.desktop.name(), "Default");
    EXPECT_NE(backend, nullptr);
  }
}

TEST(DesktopRefreshTest, UnreadableNameIsRejected) {
  Fixture f;
  f.state->input_desktop.reset();
  std::unique_ptr<InputBackend> backend;
  auto changed = f.desktop.refresh_input_desktop(backend);
  ASSERT_FALSE(changed.ok());
  EXPECT_EQ(changed.error(), kRejected);
  EXPECT_EQ(f.state->calls, (Calls{"open 1", "name 1", "close 1"}));
  EXPECT_EQ(f.desktop.name(), "");
}

TEST(DesktopRefreshTest, RunningOutOfMemoryWhileNamingClosesTheNewHandle) {
  Fixture f;
  std::unique_ptr<InputBackend> backend;
  ASSERT_TRUE(f.desktop.refresh_input_desktop(backend).ok());
  f.state->naming_runs_out_of_memory = true;
  EXPECT_THROW((void)f.desktop.refresh_input_desktop(backend), std::bad_alloc);
  EXPECT_EQ(f.state->open_handles, std::vector<DesktopApi::Handle>{1});
  EXPECT_EQ(f.desktop.name(), "Default");
}

TEST(DesktopRefreshTest, OpenFailureCarriesTheWin32Error) {
  Fixture f;
  f.state->open_error = 5;
  std::unique_ptr<InputBackend> backend;
  auto changed = f.desktop.refresh_input_desktop(backend);
  ASSERT_FALSE(changed.ok());
  EXPECT_EQ(changed.error(), Error::os(0x80070005u));
}

TEST(DesktopRefreshTest, AttachFailureKeepsTheOldDesktopAndBackend) {
  Fixture f;
  std::unique_ptr<InputBackend> backend;
  ASSERT_TRUE(f.desktop.refresh_input_desktop(backend).ok());
  backend = f.backend_with();
  f.state->calls.clear();
  f.state->input_desktop = u"Winlogon";
  f.state->set_thread_desktop_fails = true;
  auto changed = f.desktop.refresh_input_desktop(backend);
  ASSERT_FALSE(changed.ok());
  EXPECT_EQ(changed.error(), kRejected);
  EXPECT_EQ(f.state->calls, (Calls{"open 2", "name 2", "release_all", "set 2", "close 2"}));
  EXPECT_EQ(f.desktop.name(), "Default");
  EXPECT_NE(backend, nullptr);
  EXPECT_EQ(f.state->open_handles, std::vector<DesktopApi::Handle>{1});
}

TEST(DesktopRefreshTest, ReleaseFailureAfterTheSwitchIsTheBackendsError) {
  Fixture f;
  std::unique_ptr<InputBackend> backend;
  ASSERT_TRUE(f.desktop.refresh_input_desktop(backend).ok());
  backend = f.backend_with({true, false});
  f.state->input_desktop = u"Winlogon";
  auto changed = f.desktop.refresh_input_desktop(backend);
  ASSERT_FALSE(changed.ok());
  EXPECT_EQ(changed.error(), Error::message("Windows adapter operation failed: release refused"));
  // The thread did move: the new desktop is the one held (and closed at the end).
  EXPECT_EQ(f.desktop.name(), "Winlogon");
  EXPECT_EQ(f.state->open_handles, std::vector<DesktopApi::Handle>{2});
}

TEST(DesktopRefreshTest, DestructionClosesTheAttachedDesktop) {
  auto state = std::make_shared<DesktopState>();
  {
    InputDesktopTracker desktop(std::make_unique<FakeDesktopApi>(state));
    std::unique_ptr<InputBackend> backend;
    ASSERT_TRUE(desktop.refresh_input_desktop(backend).ok());
  }
  EXPECT_TRUE(state->open_handles.empty());
  EXPECT_EQ(state->calls.back(), "close 1");
}

}  // namespace
}  // namespace vornakel::native_protocol
