// The input host's authorization phase over scripted standard input and recorded output.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "native_protocol/input_host_authorization.h"
#include "native_protocol/support/ticket_test_support.h"
#include "ticket_issuer.h"

namespace vornakel::native_protocol {
namespace {

using testing::FixedClock;
using testing::RecordingSink;
using testing::ScriptedInput;

constexpr uint64_t kNow = 1'800'000'000;

const std::string kRead = "{\"type\":\"stage\",\"stage\":\"read-authorization\"}\n";
const std::string kBinding = "{\"type\":\"stage\",\"stage\":\"verify-host-binding\"}\n";
const std::string kVerify = "{\"type\":\"stage\",\"stage\":\"verify-authorization\"}\n";
const std::string kOpen = "{\"type\":\"stage\",\"stage\":\"open-input-desktop\"}\n";

std::string error_line(const char* word) {
  return std::string("{\"type\":\"error\",\"stage\":\"") + word + "\",\"win32\":0}\n";
}

std::string valid_line(ticket_issuer::Breakage breakage = ticket_issuer::Breakage::kNone) {
  auto options = ticket_issuer::default_options(kNow);
  options.breakage = breakage;
  return ticket_issuer::start_line(ticket_issuer::issue(options).value().start);
}

struct Phase {
  RecordingSink output;
  Result<AuthorizedSession> result = generic_rejection();

  explicit Phase(std::string input, uint64_t now = kNow) {
    ScriptedInput source(std::move(input), 997);
    FixedClock clock(now);
    result = authorize_input_host(source, output, clock);
  }
};

TEST(TicketAuthorizationPhaseTest, SuccessWritesFourStagesAndEstablishes) {
  Phase phase(valid_line());
  ASSERT_TRUE(phase.result.ok()) << phase.result.error().text();
  EXPECT_EQ(phase.output.written, kRead + kBinding + kVerify + kOpen);
  EXPECT_EQ(phase.output.flushed_at.size(), 4u) << "every stage line is flushed at once";
  const AuthorizedSession& session = phase.result.value();
  EXPECT_EQ(session.state.phase(), vornakel::native_protocol::Phase::kActive);
  EXPECT_EQ(session.state.active()->granted.mask, 0xDu);
  EXPECT_EQ(session.authorization.lease_end_s, kNow + 300);
  EXPECT_EQ(format_uuid(session.binding.device_id), session.start.target_device_id);
}

TEST(TicketAuthorizationPhaseTest, CommandsAfterTheRecordStayUnread) {
  const std::string line = valid_line();
  ScriptedInput source(line + "{\"type\":\"close\"}\n", 64);
  RecordingSink output;
  FixedClock clock(kNow);
  ASSERT_TRUE(authorize_input_host(source, output, clock).ok());
  ReadOutcome next = read_framed_line(source, kCommandLineBound);
  ASSERT_TRUE(std::holds_alternative<Line>(next));
  EXPECT_EQ(std::get<Line>(next).bytes, "{\"type\":\"close\"}\n");
}

TEST(TicketAuthorizationPhaseTest, FramingFailuresWriteOnlyTheFirstStage) {
  std::string line = valid_line();
  std::string padded = line.substr(0, line.size() - 1);
  padded.append(kStartRecordBound - padded.size() - 1, ' ');
  padded += "\n";
  ASSERT_EQ(padded.size(), kStartRecordBound);
  EXPECT_TRUE(Phase(padded).result.ok()) << "32768 bytes with trailing blanks are read";

  std::string over = padded;
  over.insert(over.size() - 1, " ");
  for (const std::string& input :
       {std::string(), line.substr(0, line.size() - 1), over, std::string("\n"),
        line.substr(0, line.size() - 1) + "x\n", std::string("{}\n")}) {
    Phase phase(input);
    ASSERT_FALSE(phase.result.ok());
    EXPECT_EQ(phase.result.error(), generic_rejection());
    EXPECT_EQ(phase.output.written, kRead);
  }
  Phase crlf(line.substr(0, line.size() - 1) + "\r\n");
  EXPECT_TRUE(crlf.result.ok());
}

TEST(TicketAuthorizationPhaseTest, ReadErrorKeepsItsOwnError) {
  ScriptedInput source("{\"partial\":", 4096, Error::os(0x80070026));
  RecordingSink output;
  FixedClock clock(kNow);
  auto result = authorize_input_host(source, output, clock);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error(), Error::os(0x80070026));
  EXPECT_EQ(output.written, kRead);
}

TEST(TicketAuthorizationPhaseTest, HostBindingFailureWritesNoErrorLine) {
  auto json = nlohmann::ordered_json::parse(valid_line());
  for (std::string fingerprint :
       {encode_base64url(Bytes(31, 1)), encode_base64url(Bytes(33, 1)),
        encode_base64url(Bytes(32, 0)), json["targetFingerprint"].get<std::string>() + "="}) {
    auto changed = json;
    changed["targetFingerprint"] = fingerprint;
    Phase phase(changed.dump() + "\n");
    ASSERT_FALSE(phase.result.ok());
    EXPECT_EQ(phase.result.error(), generic_rejection());
    EXPECT_EQ(phase.output.written, kRead + kBinding);
  }
  auto upper = json;
  upper["targetDeviceId"] = "3F2E1D0C-9B8A-4765-B432-10FEDCBA9876";
  Phase phase(upper.dump() + "\n");
  EXPECT_EQ(phase.output.written, kRead + kBinding);

  // The binding is judged before the record's other fields: a blank requester name and a lease
  // far too long change nothing.
  auto both = upper;
  both["requesterName"] = "   ";
  both["leaseExpiresAt"] = kNow * 1000 + 900000;
  Phase first(both.dump() + "\n");
  EXPECT_EQ(first.result.error(), generic_rejection());
  EXPECT_EQ(first.output.written, kRead + kBinding);
}

// Reads `first`, then `later` on every read after it: a clock that moves between verification and
// the session's establishment.
class MovingClock final : public UnixClock {
 public:
  MovingClock(uint64_t first, uint64_t later) : first_(first), later_(later) {}
  uint64_t now_unix_s() override { return reads_++ == 0 ? first_ : later_; }

 private:
  uint64_t first_;
  uint64_t later_;
  int reads_ = 0;
};

TEST(TicketAuthorizationPhaseTest, EstablishFailureAfterTheOpenStageWritesNoErrorLine) {
  // Verified at kNow with the lease ending at kNow + 300; the clock has reached the lease's end
  // by the time the session is established.
  ScriptedInput source(valid_line());
  RecordingSink output;
  MovingClock clock(kNow, kNow + 300);
  auto result = authorize_input_host(source, output, clock);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error(), Error::message("session authorization expired"));
  EXPECT_EQ(output.written, kRead + kBinding + kVerify + kOpen);
}

TEST(TicketAuthorizationPhaseTest, VerificationFailureWritesTheWord) {
  using ticket_issuer::Breakage;
  const std::vector<std::pair<Breakage, const char*>> cases = {
      {Breakage::kLeaseTooLong, "invalid-session-start"},
      {Breakage::kBadSignature, "invalid-signed-ticket"},
      {Breakage::kShortKey, "invalid-ticket-key"},
      {Breakage::kPermissionOrder, "permission-mismatch"},
  };
  for (const auto& [breakage, word] : cases) {
    Phase phase(valid_line(breakage));
    ASSERT_FALSE(phase.result.ok()) << word;
    EXPECT_EQ(phase.result.error(), generic_rejection());
    EXPECT_EQ(phase.output.written, kRead + kBinding + kVerify + error_line(word));
  }
}

TEST(TicketAuthorizationPhaseTest, StatusLineFailureEndsThePhase) {
  ScriptedInput source(valid_line());
  RecordingSink output;
  output.fail_flush = Error::os_from_win32(232);
  FixedClock clock(kNow);
  auto result = authorize_input_host(source, output, clock);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error(), Error::os_from_win32(232));
  EXPECT_EQ(source.raw_consumed(), 0u) << "nothing is read once standard output is gone";
}

}  // namespace
}  // namespace vornakel::native_protocol
