#include "native_protocol/framing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "native_protocol/support/ticket_test_support.h"

namespace vornakel::native_protocol {
namespace {

using testing::ByteAtATimeSource;
using testing::RecordingSink;
using testing::ScriptedInput;

std::string line_of(size_t total_with_feed, char fill = 'x') {
  return std::string(total_with_feed - 1, fill) + "\n";
}

const Line* as_line(const ReadOutcome& outcome) { return std::get_if<Line>(&outcome); }

bool is_generic_rejection(const ReadOutcome& outcome) {
  const auto* rejected = std::get_if<Rejected>(&outcome);
  return rejected != nullptr && rejected->error == generic_rejection();
}

TEST(FramingBoundTest, LineOfExactlyTheBoundIsDeliveredWithItsLineFeed) {
  for (size_t bound : {kStartRecordBound, kCommandLineBound}) {
    ScriptedInput input(line_of(bound));
    ReadOutcome outcome = read_framed_line(input, bound);
    ASSERT_NE(as_line(outcome), nullptr) << bound;
    EXPECT_EQ(as_line(outcome)->bytes, line_of(bound));
  }
}

TEST(FramingBoundTest, OneByteOverTheBoundIsRejectedEvenWithALineFeed) {
  for (size_t bound : {kStartRecordBound, kCommandLineBound}) {
    ScriptedInput input(line_of(bound + 1));
    EXPECT_TRUE(is_generic_rejection(read_framed_line(input, bound))) << bound;
  }
}

TEST(FramingBoundTest, NeverConsumesMoreThanTheBoundPlusOneByte) {
  ByteAtATimeSource source(std::string(kCommandLineBound * 3, 'y') + "\n");
  EXPECT_TRUE(is_generic_rejection(read_framed_line(source, kCommandLineBound)));
  EXPECT_EQ(source.consumed(), kCommandLineBound + 1);
}

TEST(FramingBoundTest, RejectedLineIsNotResynchronisedOnTheNextLineFeed) {
  // The tail of the long line is what the next read sees; it is not skipped.
  ScriptedInput input(std::string(10, 'a') + "\nnext\n");
  EXPECT_TRUE(is_generic_rejection(read_framed_line(input, 5)));
  ReadOutcome next = read_framed_line(input, 5);
  ASSERT_NE(as_line(next), nullptr);
  EXPECT_EQ(as_line(next)->bytes, "aaaa\n");
}

TEST(FramingLineTest, LeavesTheFollowingLinesInTheStream) {
  for (size_t chunk : {size_t{1}, size_t{3}, size_t{4096}}) {
    ScriptedInput input("{\"a\":1}\n{\"b\":2}\r\nlast\n", chunk);
    ReadOutcome first = read_framed_line(input, 100);
    ReadOutcome second = read_framed_line(input, 100);
    ReadOutcome third = read_framed_line(input, 100);
    ReadOutcome end = read_framed_line(input, 100);
    ASSERT_NE(as_line(first), nullptr);
    ASSERT_NE(as_line(second), nullptr);
    ASSERT_NE(as_line(third), nullptr);
    EXPECT_EQ(as_line(first)->bytes, "{\"a\":1}\n");
    EXPECT_EQ(as_line(second)->bytes, "{\"b\":2}\r\n") << "carriage return is ordinary data";
    EXPECT_EQ(as_line(third)->bytes, "last\n");
    EXPECT_TRUE(std::holds_alternative<EndOfInput>(end));
  }
}

TEST(FramingLineTest, LoneLineFeedIsALine) {
  ScriptedInput input("\n");
  ReadOutcome outcome = read_framed_line(input, 1);
  ASSERT_NE(as_line(outcome), nullptr);
  EXPECT_EQ(as_line(outcome)->bytes, "\n");
}

TEST(FramingEndTest, EmptyInputIsEndOfInput) {
  ScriptedInput input("");
  EXPECT_TRUE(std::holds_alternative<EndOfInput>(read_framed_line(input, kStartRecordBound)));
}

TEST(FramingEndTest, EndOfFileInsideALineIsRejected) {
  ScriptedInput input("{\"complete\":true}");
  EXPECT_TRUE(is_generic_rejection(read_framed_line(input, kStartRecordBound)));
}

TEST(FramingEndTest, ReadErrorIsReportedWithItsOwnError) {
  const Error broken = Error::os(0x8007006D);
  ScriptedInput input("partial", 4096, broken);
  ReadOutcome outcome = read_framed_line(input, 100);
  const auto* io = std::get_if<IoError>(&outcome);
  ASSERT_NE(io, nullptr);
  EXPECT_EQ(io->error, broken);
}

TEST(FramingEndTest, GenericRejectionText) {
  EXPECT_EQ(generic_rejection(),
            Error::message("Native input authorization or framing was rejected"));
}

TEST(StatusLineTest, StageLinesAreTheExactLiterals) {
  EXPECT_EQ(StatusLine::stage(HostStage::kReadAuthorization).bytes(),
            "{\"type\":\"stage\",\"stage\":\"read-authorization\"}\n");
  EXPECT_EQ(StatusLine::stage(HostStage::kVerifyHostBinding).bytes(),
            "{\"type\":\"stage\",\"stage\":\"verify-host-binding\"}\n");
  EXPECT_EQ(StatusLine::stage(HostStage::kVerifyAuthorization).bytes(),
            "{\"type\":\"stage\",\"stage\":\"verify-authorization\"}\n");
  EXPECT_EQ(StatusLine::stage(HostStage::kOpenInputDesktop).bytes(),
            "{\"type\":\"stage\",\"stage\":\"open-input-desktop\"}\n");
  EXPECT_EQ(StatusLine::stage(HostStage::kCreateInputBackend).bytes(),
            "{\"type\":\"stage\",\"stage\":\"create-input-backend\"}\n");
}

TEST(StatusLineTest, ReadyAndDesktopLines) {
  EXPECT_EQ(StatusLine::ready().bytes(), "{\"type\":\"ready\"}\n");
  EXPECT_EQ(StatusLine::desktop(DesktopName::kDefault).bytes(),
            "{\"type\":\"desktop\",\"name\":\"Default\"}\n");
  EXPECT_EQ(StatusLine::desktop(DesktopName::kWinlogon).bytes(),
            "{\"type\":\"desktop\",\"name\":\"Winlogon\"}\n");
}

TEST(StatusLineTest, ErrorLinesCarryTheWordAndAnUnsignedCode) {
  EXPECT_EQ(StatusLine::error(LoopStage::kCheckLease, 0).bytes(),
            "{\"type\":\"error\",\"stage\":\"check-lease\",\"win32\":0}\n");
  EXPECT_EQ(StatusLine::error(LoopStage::kInputApiRejected, 0xFFFFFFFFu).bytes(),
            "{\"type\":\"error\",\"stage\":\"input-api-rejected\",\"win32\":4294967295}\n");
  EXPECT_EQ(StatusLine::error(LoopStage::kDispatchInput, 5).bytes(),
            "{\"type\":\"error\",\"stage\":\"dispatch-input\",\"win32\":5}\n");
}

TEST(StatusLineTest, EveryLoopWordIsDistinctAndLowerCaseHyphenated) {
  const LoopStage all[] = {LoopStage::kCheckLease,
                           LoopStage::kRefreshInputDesktop,
                           LoopStage::kRefreshDisplays,
                           LoopStage::kRecreateInputBackend,
                           LoopStage::kReceiveCommand,
                           LoopStage::kParseCommand,
                           LoopStage::kValidateControl,
                           LoopStage::kCarryAuthorization,
                           LoopStage::kDispatchInput,
                           LoopStage::kAuthorizationExpired,
                           LoopStage::kControlProtocolRejected,
                           LoopStage::kInputPaused,
                           LoopStage::kInputApiRejected,
                           LoopStage::kControlGateRejected};
  const std::set<std::string_view> expected = {"check-lease",
                                               "refresh-input-desktop",
                                               "refresh-displays",
                                               "recreate-input-backend",
                                               "receive-command",
                                               "parse-command",
                                               "validate-control",
                                               "carry-authorization",
                                               "dispatch-input",
                                               "authorization-expired",
                                               "control-protocol-rejected",
                                               "input-paused",
                                               "input-api-rejected",
                                               "control-gate-rejected"};
  std::set<std::string_view> words;
  for (LoopStage stage : all) words.insert(loop_stage_word(stage));
  EXPECT_EQ(words, expected);
}

TEST(StatusLineTest, AuthorizationErrorLinesAndTheFallbackWord) {
  EXPECT_EQ(StatusLine::authorization_error(AuthorizationFailure::kInvalidSessionStart).bytes(),
            "{\"type\":\"error\",\"stage\":\"invalid-session-start\",\"win32\":0}\n");
  EXPECT_EQ(StatusLine::authorization_error(AuthorizationFailure::kInvalidSignedTicket).bytes(),
            "{\"type\":\"error\",\"stage\":\"invalid-signed-ticket\",\"win32\":0}\n");
  EXPECT_EQ(StatusLine::authorization_error(AuthorizationFailure::kInvalidTicketKey).bytes(),
            "{\"type\":\"error\",\"stage\":\"invalid-ticket-key\",\"win32\":0}\n");
  EXPECT_EQ(StatusLine::authorization_error(AuthorizationFailure::kPermissionMismatch).bytes(),
            "{\"type\":\"error\",\"stage\":\"permission-mismatch\",\"win32\":0}\n");
  EXPECT_EQ(StatusLine::authorization_error(AuthorizationFailure::kInvalidHostBinding).bytes(),
            "{\"type\":\"error\",\"stage\":\"invalid-host-binding\",\"win32\":0}\n");
  EXPECT_EQ(authorization_failure_word(static_cast<AuthorizationFailure>(9)),
            "invalid-host-binding");
}

TEST(StatusWriteTest, EachLineIsFlushedUnlessDeferred) {
  RecordingSink sink;
  ASSERT_TRUE(write_status_line(sink, StatusLine::stage(HostStage::kCreateInputBackend)).ok());
  ASSERT_TRUE(
      write_status_line(sink, StatusLine::desktop(DesktopName::kDefault), Flush::kDeferred).ok());
  ASSERT_TRUE(write_status_line(sink, StatusLine::ready()).ok());
  const size_t first = StatusLine::stage(HostStage::kCreateInputBackend).bytes().size();
  EXPECT_EQ(sink.flushed_at, (std::vector<size_t>{first, sink.written.size()}));
  EXPECT_EQ(sink.written.substr(first),
            "{\"type\":\"desktop\",\"name\":\"Default\"}\n{\"type\":\"ready\"}\n");
}

TEST(StatusWriteTest, FlushAndWriteFailuresAreReturned) {
  RecordingSink flush_fails;
  flush_fails.fail_flush = Error::os_from_win32(109);
  Status flushed = write_status_line(flush_fails, StatusLine::ready());
  ASSERT_FALSE(flushed.ok());
  EXPECT_EQ(flushed.error(), Error::os_from_win32(109));

  RecordingSink write_fails;
  write_fails.fail_write = Error::os_from_win32(232);
  Status written = write_status_line(write_fails, StatusLine::ready());
  ASSERT_FALSE(written.ok());
  EXPECT_EQ(written.error(), Error::os_from_win32(232));
  EXPECT_TRUE(write_fails.flushed_at.empty());
}

TEST(StatusWriteTest, WrittenBytesLeaveThePendingOutputEvenWhenALaterWriteFails) {
  // A pipe that takes 5 bytes and then breaks, then works again: what it took must not be sent a
  // second time by the next flush.
  std::string pipe;
  int calls = 0;
  const WriteSome breaks_after_five = [&](std::string_view bytes) -> Result<size_t> {
    if (++calls == 2) return Error::os_from_win32(232);
    const size_t taken = calls == 1 ? std::min<size_t>(bytes.size(), 5) : bytes.size();
    pipe.append(bytes.substr(0, taken));
    return taken;
  };
  std::string pending = "{\"type\":\"ready\"}\n";
  const Error stalled = Error::os_from_win32(29);
  EXPECT_EQ(drain_pending(pending, breaks_after_five, stalled).error(), Error::os_from_win32(232));
  EXPECT_EQ(pending, "e\":\"ready\"}\n");
  ASSERT_TRUE(drain_pending(pending, breaks_after_five, stalled).ok());
  EXPECT_EQ(pipe, "{\"type\":\"ready\"}\n");
  EXPECT_TRUE(pending.empty());

  std::string stuck = "x\n";
  EXPECT_EQ(drain_pending(
                stuck, [](std::string_view) -> Result<size_t> { return size_t{0}; }, stalled)
                .error(),
            stalled);
  EXPECT_EQ(stuck, "x\n");
}

}  // namespace
}  // namespace vornakel::native_protocol
