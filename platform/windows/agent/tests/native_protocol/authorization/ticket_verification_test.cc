#include "native_protocol/authorization/ticket_verification.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "ticket_issuer.h"

namespace vornakel::native_protocol {
namespace {

using ticket_issuer::Breakage;
using ticket_issuer::IssueOptions;

constexpr uint64_t kNow = 1'800'000'000;

IssueOptions options() { return ticket_issuer::default_options(kNow); }

// Issues, parses and verifies as the input host does, returning the failure word or "ok".
std::string verify_word(const IssueOptions& issue_options, uint64_t now = kNow) {
  auto issued = ticket_issuer::issue(issue_options);
  EXPECT_TRUE(issued.ok());
  if (!issued.ok()) return issued.error();
  auto start = parse_start(ticket_issuer::start_line(issued.value().start));
  EXPECT_TRUE(start.ok());
  if (!start.ok()) return "unparsed";
  auto binding = check_host_identity(input_host_identity(start.value()));
  EXPECT_TRUE(binding.ok());
  if (!binding.ok()) return "no binding";
  auto verified = verify_authorization(start.value(), binding.value(), now);
  return verified.ok() ? "ok" : std::string(authorization_failure_word(verified.error()));
}

std::string verify_word(Breakage breakage) {
  IssueOptions broken = options();
  broken.breakage = breakage;
  return verify_word(broken);
}

TEST(TicketVerifyTest, ValidTicketYieldsTheVerifiedAuthorization) {
  IssueOptions issue_options = options();
  issue_options.lease_ahead_ms = 120001;
  auto issued = ticket_issuer::issue(issue_options).value();
  Start start = parse_start(ticket_issuer::start_line(issued.start)).value();
  HostBinding binding = check_host_identity(input_host_identity(start)).value();
  auto verified = verify_authorization(start, binding, kNow);
  ASSERT_TRUE(verified.ok()) << authorization_failure_word(verified.error());
  EXPECT_EQ(verified.value().requester_name, "Remote operator");
  EXPECT_EQ(verified.value().session_id, issue_options.session_id);
  EXPECT_EQ(verified.value().requester_device_id, issue_options.requester_device_id);
  EXPECT_EQ(verified.value().requester_fingerprint, issue_options.requester_fingerprint);
  EXPECT_EQ(verified.value().permissions.mask, 0xDu);
  EXPECT_EQ(verified.value().lease_end_s, kNow + 121) << "milliseconds round up";
}

TEST(TicketVerifyTest, LeaseRoundsUpAndSaturates) {
  EXPECT_EQ(lease_end_seconds(0), 0u);
  EXPECT_EQ(lease_end_seconds(1), 1u);
  EXPECT_EQ(lease_end_seconds(1000), 1u);
  EXPECT_EQ(lease_end_seconds(1001), 2u);
  EXPECT_EQ(lease_end_seconds(UINT64_MAX), UINT64_MAX / 1000);
  EXPECT_EQ(lease_end_seconds(UINT64_MAX - 998), UINT64_MAX / 1000);
}

TEST(TicketVerifyTest, EveryBreakageHasItsFailureWord) {
  const std::vector<std::pair<Breakage, const char*>> expected = {
      {Breakage::kNone, "ok"},
      {Breakage::kBadSignature, "invalid-signed-ticket"},
      {Breakage::kNoDomain, "invalid-signed-ticket"},
      {Breakage::kSPlusL, "invalid-signed-ticket"},
      {Breakage::kWrongSession, "invalid-signed-ticket"},
      {Breakage::kWrongTarget, "invalid-signed-ticket"},
      {Breakage::kWrongTargetFingerprint, "invalid-signed-ticket"},
      {Breakage::kSameDevice, "invalid-signed-ticket"},
      {Breakage::kExpired, "invalid-signed-ticket"},
      {Breakage::kFutureIssuedAt, "invalid-signed-ticket"},
      {Breakage::kLongLifetime, "invalid-signed-ticket"},
      {Breakage::kPermissionOrder, "permission-mismatch"},
      {Breakage::kMissingViewScreen, "permission-mismatch"},
      {Breakage::kNonCanonical, "invalid-signed-ticket"},
      {Breakage::kUnknownField, "invalid-signed-ticket"},
      {Breakage::kUnknownOuterField, "invalid-signed-ticket"},
      {Breakage::kKeyIdMismatch, "invalid-signed-ticket"},
      {Breakage::kSmallOrderKey, "invalid-signed-ticket"},
      {Breakage::kShortKey, "invalid-ticket-key"},
      {Breakage::kLongKey, "invalid-signed-ticket"},
      {Breakage::kProtocolMajor, "invalid-signed-ticket"},
      {Breakage::kLeaseTooLong, "invalid-session-start"},
      {Breakage::kOversized, "invalid-signed-ticket"},
  };
  ASSERT_EQ(expected.size(), ticket_issuer::all_breakages().size());
  for (const auto& [breakage, word] : expected) {
    EXPECT_EQ(verify_word(breakage), word) << ticket_issuer::breakage_name(breakage);
  }
}

TEST(TicketVerifyTest, DisplayIdIsCheckedForLengthOnly) {
  // Valid UTF-8 that nanopb's own string check or a C string would have refused or cut.
  for (const std::string& display_id :
       {std::string("a\xEF\xBF\xBF"
                    "b"),
        std::string("a\0b", 3), std::string("\xEF\xB7\x90"), std::string(128, '\0')}) {
    IssueOptions issue_options = options();
    issue_options.display_id = display_id;
    EXPECT_EQ(verify_word(issue_options), "ok") << display_id.size();
  }
  IssueOptions too_long = options();
  too_long.display_id = std::string(129, 'd');
  EXPECT_EQ(verify_word(too_long), "invalid-signed-ticket");
}

TEST(TicketVerifyTest, ClockBoundaries) {
  IssueOptions issue_options = options();
  issue_options.issued_offset_s = 30;
  EXPECT_EQ(verify_word(issue_options), "ok");
  issue_options.issued_offset_s = 31;
  EXPECT_EQ(verify_word(issue_options), "invalid-signed-ticket");

  issue_options = options();
  issue_options.issued_offset_s = -10;
  issue_options.lifetime_s = 120;
  EXPECT_EQ(verify_word(issue_options), "ok");
  issue_options.lifetime_s = 121;
  EXPECT_EQ(verify_word(issue_options), "invalid-signed-ticket");
  issue_options.lifetime_s = 0;
  EXPECT_EQ(verify_word(issue_options), "invalid-signed-ticket");

  issue_options = options();
  issue_options.issued_offset_s = -60;
  issue_options.lifetime_s = 61;  // expires one second after now
  EXPECT_EQ(verify_word(issue_options), "ok");
  issue_options.lifetime_s = 60;  // expires now
  EXPECT_EQ(verify_word(issue_options), "invalid-signed-ticket");

  issue_options = options();
  issue_options.lease_ahead_ms = 330000;
  EXPECT_EQ(verify_word(issue_options), "ok");
  issue_options.lease_ahead_ms = 0;
  EXPECT_EQ(verify_word(issue_options), "invalid-session-start");
}

TEST(TicketVerifyTest, PermissionAgreement) {
  IssueOptions issue_options = options();
  issue_options.permissions.clear();
  for (int i = 0; i < kPermissionCount; ++i) {
    issue_options.permissions.push_back(static_cast<Permission>(i));
  }
  EXPECT_EQ(verify_word(issue_options), "ok");

  issue_options.permissions = {Permission::kViewScreen};
  EXPECT_EQ(verify_word(issue_options), "ok");

  // [VIEW_SCREEN, SEND_POINTER] against the record's [SEND_POINTER, VIEW_SCREEN].
  issue_options.permissions = {Permission::kViewScreen, Permission::kSendPointer};
  issue_options.breakage = Breakage::kPermissionOrder;
  EXPECT_EQ(verify_word(issue_options), "permission-mismatch");

  // Both lists agree but lack VIEW_SCREEN.
  issue_options.permissions = {Permission::kSendPointer, Permission::kSendKeyboard};
  issue_options.breakage = Breakage::kNone;
  EXPECT_EQ(verify_word(issue_options), "permission-mismatch");
}

TEST(TicketVerifyTest, RecordListLongerOrShorterThanTheTicketIsAMismatch) {
  auto issued = ticket_issuer::issue(options()).value();
  Start start = parse_start(ticket_issuer::start_line(issued.start)).value();
  HostBinding binding = check_host_identity(input_host_identity(start)).value();
  Start longer = start;
  longer.permissions.push_back(Permission::kReverseShare);
  EXPECT_EQ(verify_authorization(longer, binding, kNow).error(),
            AuthorizationFailure::kPermissionMismatch);
  Start shorter = start;
  shorter.permissions.pop_back();
  EXPECT_EQ(verify_authorization(shorter, binding, kNow).error(),
            AuthorizationFailure::kPermissionMismatch);
}

TEST(TicketVerifyTest, RecordChecksComeFirst) {
  // A ticket that would fail everywhere still reports the record's own fault.
  IssueOptions issue_options = options();
  issue_options.breakage = Breakage::kBadSignature;
  issue_options.requester_name = "   ";
  EXPECT_EQ(verify_word(issue_options), "invalid-session-start");
  issue_options.requester_name = "tab\tname";
  EXPECT_EQ(verify_word(issue_options), "invalid-session-start");
  issue_options.requester_name = std::string(128, 'r');
  issue_options.breakage = Breakage::kNone;
  EXPECT_EQ(verify_word(issue_options), "ok");
}

TEST(TicketVerifyTest, TicketFaultsAreReportedBeforeKeyLengthAndPermissionFaults) {
  auto issued = ticket_issuer::issue(options()).value();
  Start start = parse_start(ticket_issuer::start_line(issued.start)).value();
  HostBinding binding = check_host_identity(input_host_identity(start)).value();
  auto word = [&](const Start& changed) {
    auto verified = verify_authorization(changed, binding, kNow);
    return verified.ok() ? std::string("ok")
                         : std::string(authorization_failure_word(verified.error()));
  };
  // A ticket that does not decode (field number 0), with a 31-byte key: decoding comes first.
  Start undecodable = start;
  undecodable.signed_ticket = encode_base64url(Bytes{0x00, 0x00});
  undecodable.ticket_key.public_key = encode_base64url(Bytes(31, 9));
  EXPECT_EQ(word(undecodable), "invalid-signed-ticket");
  // A bad signature over a ticket whose permissions the record lists in another order: the
  // signature comes first.
  IssueOptions bad_signature = options();
  bad_signature.breakage = Breakage::kBadSignature;
  Start unsigned_start =
      parse_start(ticket_issuer::start_line(ticket_issuer::issue(bad_signature).value().start))
          .value();
  std::reverse(unsigned_start.permissions.begin(), unsigned_start.permissions.end());
  EXPECT_EQ(word(unsigned_start), "invalid-signed-ticket");
}

TEST(TicketVerifyTest, PublicKeyText) {
  auto issued = ticket_issuer::issue(options()).value();
  Start start = parse_start(ticket_issuer::start_line(issued.start)).value();
  HostBinding binding = check_host_identity(input_host_identity(start)).value();
  auto word = [&](std::string key) {
    Start changed = start;
    changed.ticket_key.public_key = std::move(key);
    auto verified = verify_authorization(changed, binding, kNow);
    return verified.ok() ? std::string("ok")
                         : std::string(authorization_failure_word(verified.error()));
  };
  EXPECT_EQ(word(start.ticket_key.public_key), "ok");
  EXPECT_EQ(word(start.ticket_key.public_key + "="), "invalid-signed-ticket");
  EXPECT_EQ(word(encode_base64url(Bytes(31, 9))), "invalid-ticket-key");
  EXPECT_EQ(word(encode_base64url(Bytes(1, 9))), "invalid-ticket-key");
  EXPECT_EQ(word(encode_base64url(Bytes(33, 9))), "invalid-signed-ticket");
  EXPECT_EQ(word("A"), "invalid-signed-ticket");
  // A valid key of another signer.
  std::array<uint8_t, 32> other_seed{};
  other_seed.fill(0x42);
  EXPECT_EQ(word(encode_base64url(ticket_issuer::key_pair_from_seed(other_seed).public_key)),
            "invalid-signed-ticket");
}

TEST(TicketVerifyTest, SignedTicketTextMustBeCanonical) {
  auto issued = ticket_issuer::issue(options()).value();
  Start start = parse_start(ticket_issuer::start_line(issued.start)).value();
  HostBinding binding = check_host_identity(input_host_identity(start)).value();
  for (std::string text : {start.signed_ticket + "=", start.signed_ticket + "A", std::string("AA"),
                           std::string(), "+" + start.signed_ticket.substr(1)}) {
    Start changed = start;
    changed.signed_ticket = text;
    EXPECT_EQ(verify_authorization(changed, binding, kNow).error(),
              AuthorizationFailure::kInvalidSignedTicket);
  }
}

// The eight points of small order, canonically encoded.
const char* const kSmallOrderPoints[] = {
    "0100000000000000000000000000000000000000000000000000000000000000",
    "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",
    "0000000000000000000000000000000000000000000000000000000000000000",
    "0000000000000000000000000000000000000000000000000000000000000080",
    "26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc05",
    "26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc85",
    "c7176a703d4dd84fba3c0b760d10670f2a2053fa2c39ccc64ec7fd7792ac037a",
    "c7176a703d4dd84fba3c0b760d10670f2a2053fa2c39ccc64ec7fd7792ac03fa",
};

Bytes from_hex(std::string_view hex) {
  Bytes out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

TEST(TicketSignatureTest, SmallOrderKeysAreRefused) {
  auto issued = ticket_issuer::issue(options()).value();
  Start start = parse_start(ticket_issuer::start_line(issued.start)).value();
  HostBinding binding = check_host_identity(input_host_identity(start)).value();
  const Bytes message = signed_message(issued.payload);
  for (const char* hex : kSmallOrderPoints) {
    const Bytes point = from_hex(hex);
    std::array<uint8_t, 32> key{};
    std::copy(point.begin(), point.end(), key.begin());
    // Signatures whose R is the same small-order point and whose S is 0 satisfy the cofactored
    // equation for any message; the strict check must still refuse them.
    Bytes signature = point;
    signature.resize(64, 0);
    EXPECT_NE(verify_ticket_signature(key, message, signature), SignatureVerdict::kValid) << hex;
    Start changed = start;
    changed.ticket_key.public_key = encode_base64url(point);
    EXPECT_EQ(verify_authorization(changed, binding, kNow).error(),
              AuthorizationFailure::kInvalidSignedTicket)
        << hex;
  }
}

TEST(TicketSignatureTest, SignedMessageIsDomainZeroPayload) {
  const Bytes payload = {0xAA, 0xBB};
  const Bytes message = signed_message(payload);
  ASSERT_EQ(message.size(), 34u + 1 + 2);
  EXPECT_EQ(std::string(message.begin(), message.begin() + 34),
            "vornakel-connect/session-ticket/v1");
  EXPECT_EQ(message[34], 0);
  EXPECT_EQ(message[35], 0xAA);
  EXPECT_EQ(message[36], 0xBB);
}

TEST(TicketSignatureTest, VerifySignedTicketStepOrder) {
  IssueOptions issue_options = options();
  auto issued = ticket_issuer::issue(issue_options).value();
  const auto key = ticket_issuer::key_pair_from_seed(issue_options.seed);
  SignedSessionTicket signed_ticket = decode_signed_ticket(issued.signed_ticket, 4096).value();
  TicketVerificationContext context;
  context.session_id = issue_options.session_id;
  context.requester_device_id = issue_options.requester_device_id;
  context.requester_fingerprint = issue_options.requester_fingerprint;
  context.target_device_id = issue_options.target_device_id;
  context.target_fingerprint = issue_options.target_fingerprint;
  context.now = kNow;

  auto ok = verify_signed_ticket(signed_ticket, issue_options.key_id, key.public_key, context);
  ASSERT_TRUE(ok.ok());
  EXPECT_EQ(ok.value().permissions.mask, 0xDu);

  auto mismatch = verify_signed_ticket(signed_ticket, "other", key.public_key, context);
  ASSERT_FALSE(mismatch.ok());
  EXPECT_TRUE(std::holds_alternative<TicketKeyMismatch>(mismatch.error()));

  SignedSessionTicket short_signature = signed_ticket;
  short_signature.signature.pop_back();
  auto bad_length =
      verify_signed_ticket(short_signature, issue_options.key_id, key.public_key, context);
  ASSERT_FALSE(bad_length.ok());
  ASSERT_TRUE(std::holds_alternative<ValidationError>(bad_length.error()));
  EXPECT_EQ(std::get<ValidationError>(bad_length.error()).text(), "invalid field ticket signature");

  std::array<uint8_t, 32> not_a_point{};
  not_a_point.fill(0xff);
  not_a_point[0] = 0x02;  // y not on the curve
  auto bad_key = verify_signed_ticket(signed_ticket, issue_options.key_id, not_a_point, context);
  ASSERT_FALSE(bad_key.ok());
  ASSERT_TRUE(std::holds_alternative<ValidationError>(bad_key.error()));

  // The signature is checked before the claims: a ticket for another host with a broken
  // signature reports the signature.
  context.target_fingerprint[0] ^= 1;
  SignedSessionTicket tampered = signed_ticket;
  tampered.signature[0] ^= 1;
  auto both = verify_signed_ticket(tampered, issue_options.key_id, key.public_key, context);
  ASSERT_FALSE(both.ok());
  EXPECT_TRUE(std::holds_alternative<SignatureInvalid>(both.error()));
  auto claims = verify_signed_ticket(signed_ticket, issue_options.key_id, key.public_key, context);
  ASSERT_FALSE(claims.ok());
  ASSERT_TRUE(std::holds_alternative<ValidationError>(claims.error()));
  EXPECT_EQ(std::get<ValidationError>(claims.error()).text(), "ticket binding mismatch for target");

  SignedSessionTicket oversized = signed_ticket;
  oversized.ticket.resize(4097);
  auto too_big = verify_signed_ticket(oversized, issue_options.key_id, key.public_key, context);
  ASSERT_FALSE(too_big.ok());
  ASSERT_TRUE(std::holds_alternative<ValidationError>(too_big.error()));
  EXPECT_EQ(std::get<ValidationError>(too_big.error()).text(), "signed ticket exceeds limit 4096");
}

TEST(TicketSignatureTest, PublicKeyMustBeTheCanonicalEncodingOfAPoint) {
  IssueOptions issue_options = options();
  auto issued = ticket_issuer::issue(issue_options).value();
  SignedSessionTicket signed_ticket = decode_signed_ticket(issued.signed_ticket, 4096).value();
  const Bytes message = signed_message(signed_ticket.ticket);
  auto key_of = [](std::string_view hex) {
    std::array<uint8_t, 32> key{};
    const Bytes bytes = from_hex(hex);
    std::copy(bytes.begin(), bytes.end(), key.begin());
    return key;
  };
  // y = p + 0, p + 1 and p + 18 lie on the curve once reduced, but y must be below p; y = 1 and
  // y = p - 1 have x = 0, which must not carry a sign bit.
  for (const char* hex : {
           "edffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",
           "eeffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff",
           "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",
           "0100000000000000000000000000000000000000000000000000000000000080",
           "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff",
       }) {
    const auto key = key_of(hex);
    EXPECT_EQ(verify_ticket_signature(key, message, signed_ticket.signature),
              SignatureVerdict::kKeyNotAPoint)
        << hex;
    // The key is judged before the signature's length.
    SignedSessionTicket short_signature = signed_ticket;
    short_signature.signature.pop_back();
    auto refused = verify_signed_ticket(short_signature, issue_options.key_id, key, {});
    ASSERT_FALSE(refused.ok()) << hex;
    ASSERT_TRUE(std::holds_alternative<ValidationError>(refused.error())) << hex;
    EXPECT_EQ(std::get<ValidationError>(refused.error()).text(), "invalid field ticket public key")
        << hex;
  }
  // Their canonical forms decode; being of small order, they fail only the signature check.
  for (const char* hex : {
           "0000000000000000000000000000000000000000000000000000000000000000",
           "0100000000000000000000000000000000000000000000000000000000000000",
           "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",
       }) {
    EXPECT_EQ(verify_ticket_signature(key_of(hex), message, signed_ticket.signature),
              SignatureVerdict::kInvalid)
        << hex;
  }
}

}  // namespace
}  // namespace vornakel::native_protocol
