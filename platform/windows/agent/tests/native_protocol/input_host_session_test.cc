// The whole input host over fakes, from a start record minted by the ticket issuer to the end of
// the session: the seven start-up lines, and nothing of the desktop touched when the ticket fails.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "native_protocol/input_host.h"
#include "native_protocol/support/loop_fakes.h"
#include "native_protocol/support/loop_harness.h"
#include "native_protocol/support/queue_byte_source.h"
#include "ticket_issuer.h"

namespace vornakel::native_protocol::testing {
namespace {

using Lines = std::vector<std::string>;

class InputHostSessionTest : public ::testing::Test {
 protected:
  std::string start_record(ticket_issuer::Breakage breakage = ticket_issuer::Breakage::kNone) {
    ticket_issuer::IssueOptions options = ticket_issuer::default_options(kStartS);
    options.breakage = breakage;
    auto issued = ticket_issuer::issue(options);
    EXPECT_TRUE(issued.ok());
    return issued.ok() ? ticket_issuer::start_line(issued.value().start) : std::string();
  }

  Status run(std::string input) {
    InputHostSeams seams{std::make_shared<QueueByteSource>(std::move(input), 300),
                         status,
                         time.unix,
                         time.monotonic,
                         desktop,
                         displays,
                         backends,
                         last_error};
    return run_input_host_session(seams);
  }

  FakeTime time{kStartS};
  MemoryStatusSink status;
  FakeDesktop desktop{"Default"};
  FakeDisplays displays{{display("\\\\.\\DISPLAY1", 0, 0, 1920, 1080, true)}};
  FakeBackendFactory backends;
  FakeLastError last_error;
};

TEST_F(InputHostSessionTest, ASuccessfulStartUpWritesExactlySevenLines) {
  ASSERT_TRUE(run(start_record() + key_line(1, "KeyA", true)).ok());
  EXPECT_EQ(status.lines(),
            (Lines{"{\"type\":\"stage\",\"stage\":\"read-authorization\"}\n",
                   "{\"type\":\"stage\",\"stage\":\"verify-host-binding\"}\n",
                   "{\"type\":\"stage\",\"stage\":\"verify-authorization\"}\n",
                   "{\"type\":\"stage\",\"stage\":\"open-input-desktop\"}\n",
                   "{\"type\":\"stage\",\"stage\":\"create-input-backend\"}\n",
                   "{\"type\":\"desktop\",\"name\":\"Default\"}\n", "{\"type\":\"ready\"}\n"}));
  // The key went through the authorization the start record established, and was let go at the
  // end of input.
  EXPECT_EQ(backends.log.events, (Lines{"b1 key 4 down mods 0", "b1 release key 4"}));
}

TEST_F(InputHostSessionTest, ATamperedTicketEndsTheHostBeforeAnyDesktopIsOpened) {
  Status result =
      run(start_record(ticket_issuer::Breakage::kBadSignature) + key_line(1, "KeyA", true));
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error(), generic_rejection());
  EXPECT_EQ(status.lines(),
            (Lines{"{\"type\":\"stage\",\"stage\":\"read-authorization\"}\n",
                   "{\"type\":\"stage\",\"stage\":\"verify-host-binding\"}\n",
                   "{\"type\":\"stage\",\"stage\":\"verify-authorization\"}\n",
                   "{\"type\":\"error\",\"stage\":\"invalid-signed-ticket\",\"win32\":0}\n"}));
  EXPECT_EQ(desktop.refreshes, 0);
  EXPECT_TRUE(backends.created_for.empty());
}

TEST_F(InputHostSessionTest, EmptyInputEndsTheHostAfterTheFirstStageLine) {
  Status result = run("");
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error(), generic_rejection());
  EXPECT_EQ(status.lines(), (Lines{"{\"type\":\"stage\",\"stage\":\"read-authorization\"}\n"}));
}

}  // namespace
}  // namespace vornakel::native_protocol::testing
