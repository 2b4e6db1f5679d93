// The input host after its authorization phase: the first attachment, the primary display, the
// backend, the desktop and ready lines on one flush, the reader thread and the loop, then one error
// line on failure and the release of whatever is still held, however the session ends.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "native_protocol/authorization/authorization_state.h"
#include "native_protocol/input_host.h"
#include "native_protocol/support/loop_fakes.h"
#include "native_protocol/support/loop_harness.h"
#include "native_protocol/support/queue_byte_source.h"

namespace vornakel::native_protocol::testing {
namespace {

using Lines = std::vector<std::string>;

constexpr const char* kBackendStage = "{\"type\":\"stage\",\"stage\":\"create-input-backend\"}\n";
constexpr const char* kDefaultLine = "{\"type\":\"desktop\",\"name\":\"Default\"}\n";
constexpr const char* kReady = "{\"type\":\"ready\"}\n";

class InputHostStartupTest : public ::testing::Test {
 protected:
  InputHostStartupTest()
      : displays({display("\\\\.\\DISPLAY2", 1920, 0, 1280, 1024, false),
                  display("\\\\.\\DISPLAY1", 0, 0, 1920, 1080, true)}) {}

  Status run(std::string commands) {
    AuthorizedSession session;
    session.authorization.requester_name = "Operator";
    session.authorization.session_id[0] = 1;
    session.authorization.lease_end_s = kStartS + 60;
    session.authorization.permissions = PermissionSet{kPointerAndKeyboard};
    auto state = establish(session.authorization, session.authorization.permissions, kStartS);
    EXPECT_TRUE(state.ok());
    session.state = std::move(state).value();
    InputHostSeams seams{std::make_shared<QueueByteSource>(std::move(commands)),
                         status,
                         time.unix,
                         time.monotonic,
                         desktop,
                         displays,
                         backends,
                         last_error};
    return run_authorized_input_host(seams, std::move(session));
  }

  FakeTime time{kStartS};
  MemoryStatusSink status;
  FakeDesktop desktop{"Default"};
  FakeDisplays displays;
  FakeBackendFactory backends;
  FakeLastError last_error;
};

TEST_F(InputHostStartupTest, WritesTheBackendStageThenDesktopAndReadyOnOneFlush) {
  ASSERT_TRUE(run("{\"type\":\"close\"}\n").ok());
  EXPECT_EQ(status.lines(), (Lines{kBackendStage, kDefaultLine, kReady}));
  ASSERT_EQ(status.flushed_at.size(), 2u);
  EXPECT_EQ(status.flushed_at[0], kBackendStage);
  EXPECT_EQ(status.flushed_at[1], std::string(kBackendStage) + kDefaultLine + kReady);
  // The primary display, not the first one enumerated.
  EXPECT_EQ(backends.created_for, (Lines{"\\\\.\\DISPLAY1"}));
}

TEST_F(InputHostStartupTest, TheDesktopLineNamesTheDesktopAttachedTo) {
  desktop.input_desktop_ = "Winlogon";
  ASSERT_TRUE(run("").ok());
  EXPECT_EQ(status.lines(),
            (Lines{kBackendStage, "{\"type\":\"desktop\",\"name\":\"Winlogon\"}\n", kReady}));
}

TEST_F(InputHostStartupTest, CloseReleasesAHeldKeyAndDestroysTheBackend) {
  ASSERT_TRUE(run(key_line(1, "KeyA", true, 2) + "{\"type\":\"close\"}\n").ok());
  EXPECT_EQ(backends.log.events, (Lines{"b1 key 4 down mods 1", "b1 release key 4 mods 1"}));
  EXPECT_TRUE(backends.log.destroyed[0]);
  EXPECT_EQ(status.lines().size(), 3u);
}

TEST_F(InputHostStartupTest, EndOfInputAndAnOverlongLineCloseLikeCloseDoes) {
  for (const std::string& tail : {std::string(), std::string(2048, ' ') + "\n"}) {
    backends = FakeBackendFactory();
    status = MemoryStatusSink();
    desktop = FakeDesktop("Default");
    ASSERT_TRUE(run(key_line(1, "ArrowLeft", true) + tail).ok());
    EXPECT_EQ(backends.log.events, (Lines{"b1 key 80 down mods 0", "b1 release key 80"}));
    EXPECT_EQ(status.lines().size(), 3u);
  }
}

TEST_F(InputHostStartupTest, ALoopFailureWritesExactlyOneErrorLineAndStillReleases) {
  Status result =
      run(key_line(4, "KeyA", true) + key_line(4, "KeyB", true) + key_line(5, "KeyC", true));
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error(), generic_rejection());
  EXPECT_EQ(status.lines(),
            (Lines{kBackendStage, kDefaultLine, kReady,
                   "{\"type\":\"error\",\"stage\":\"validate-control\",\"win32\":0}\n"}));
  EXPECT_EQ(backends.log.events, (Lines{"b1 key 4 down mods 0", "b1 release key 4"}));
  EXPECT_TRUE(backends.log.destroyed[0]);
}

TEST_F(InputHostStartupTest, AnAllocationFailureInTheLoopStillWritesTheErrorLineAndReleases) {
  displays.throw_at_enumeration =
      2;  // the first is the start-up's, the second the display command's
  Status result = run(key_line(1, "KeyA", true) + display_line("DISPLAY2"));
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error(), Error::message("The input host ran out of memory"));
  EXPECT_EQ(status.lines(),
            (Lines{kBackendStage, kDefaultLine, kReady,
                   "{\"type\":\"error\",\"stage\":\"parse-command\",\"win32\":0}\n"}));
  EXPECT_EQ(backends.log.events, (Lines{"b1 key 4 down mods 0", "b1 release key 4"}));
  EXPECT_TRUE(backends.log.destroyed[0]);
}

TEST_F(InputHostStartupTest, NoPrimaryDisplayEndsTheHostBeforeTheBackendStage) {
  displays.records[1].primary = false;
  Status result = run("");
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error(), generic_rejection());
  EXPECT_TRUE(status.bytes.empty());
  EXPECT_TRUE(backends.created_for.empty());
}

TEST_F(InputHostStartupTest, OpenFailuresEndTheHostWithoutAnErrorLine) {
  desktop.fail_next = Error::os_from_win32(5);
  Status result = run("");
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error(), Error::os_from_win32(5));
  EXPECT_TRUE(status.bytes.empty());

  status = MemoryStatusSink();
  desktop = FakeDesktop("Default");
  displays.fail = AdapterError::of(AdapterError::Kind::kDisplayTooLarge);
  ASSERT_FALSE(run("").ok());
  EXPECT_TRUE(status.bytes.empty());

  displays.fail.reset();
  desktop = FakeDesktop("Default");
  backends.fail_next = AdapterError::platform("no");
  ASSERT_FALSE(run("").ok());
  EXPECT_EQ(status.lines(), (Lines{kBackendStage}));
}

TEST_F(InputHostStartupTest, AFailedFlushEndsTheHostBeforeAnyCommandIsRead) {
  status.fail_flush = true;
  ASSERT_FALSE(run(key_line(1, "KeyA", true)).ok());
  EXPECT_TRUE(backends.log.events.empty());
}

}  // namespace
}  // namespace vornakel::native_protocol::testing
