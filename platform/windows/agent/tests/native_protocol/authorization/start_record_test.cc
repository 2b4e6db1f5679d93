#include "native_protocol/authorization/start_record.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "native_protocol/support/printable_token_cases.h"
#include "ticket_issuer.h"

namespace vornakel::native_protocol {
namespace {

using ticket_issuer::StartDraft;

constexpr uint64_t kNow = 1'800'000'000;

StartDraft valid_draft() {
  return ticket_issuer::issue(ticket_issuer::default_options(kNow)).value().start;
}

std::string valid_line() { return ticket_issuer::start_line(valid_draft()); }

nlohmann::ordered_json valid_json() { return nlohmann::ordered_json::parse(valid_line()); }

bool parses(const std::string& line) { return parse_start(line).ok(); }
bool parses(const nlohmann::ordered_json& json) { return parses(json.dump() + "\n"); }

TEST(StartRecordParseTest, ValidRecordKeepsEveryMember) {
  const StartDraft draft = valid_draft();
  auto start = parse_start(ticket_issuer::start_line(draft));
  ASSERT_TRUE(start.ok());
  EXPECT_EQ(start.value().session_id, draft.session_id);
  EXPECT_EQ(start.value().requester_name, draft.requester_name);
  EXPECT_EQ(start.value().permissions,
            (std::vector<Permission>{Permission::kViewScreen, Permission::kSendPointer,
                                     Permission::kSendKeyboard}));
  EXPECT_EQ(start.value().lease_expires_at_ms, draft.lease_expires_at);
  EXPECT_EQ(start.value().signed_ticket, draft.signed_ticket);
  EXPECT_EQ(start.value().ticket_key.key_id, draft.key_id);
  EXPECT_EQ(start.value().ticket_key.algorithm, "Ed25519");
  EXPECT_EQ(start.value().ticket_key.public_key, draft.public_key);
  EXPECT_EQ(start.value().ticket_key.encoding, "raw-base64url");
  EXPECT_EQ(start.value().target_device_id, draft.target_device_id);
  EXPECT_EQ(start.value().target_fingerprint, draft.target_fingerprint);
}

TEST(StartRecordParseTest, MemberOrderIsFree) {
  nlohmann::json unordered = valid_json();  // nlohmann::json sorts members by name
  EXPECT_TRUE(parses(unordered.dump() + "\n"));
}

TEST(StartRecordParseTest, EveryMemberIsRequired) {
  for (const char* member : {"sessionId", "requesterName", "permissions", "leaseExpiresAt",
                             "signedTicket", "ticketKey", "targetDeviceId", "targetFingerprint"}) {
    auto json = valid_json();
    json.erase(member);
    EXPECT_FALSE(parses(json)) << member;
  }
  for (const char* member : {"keyId", "algorithm", "publicKey", "encoding"}) {
    auto json = valid_json();
    json["ticketKey"].erase(member);
    EXPECT_FALSE(parses(json)) << member;
  }
}

TEST(StartRecordParseTest, UnknownAndRepeatedMembersAreRefused) {
  auto extra = valid_json();
  extra["ninth"] = "x";
  EXPECT_FALSE(parses(extra));
  auto nested_extra = valid_json();
  nested_extra["ticketKey"]["fifth"] = "x";
  EXPECT_FALSE(parses(nested_extra));

  std::string line = valid_line();
  ASSERT_EQ(line.back(), '\n');
  std::string repeated = line.substr(0, line.size() - 2) + ",\"sessionId\":\"x\"}\n";
  EXPECT_FALSE(parses(repeated));
  // The same member twice with the same value is still a repeat.
  const std::string session = "\"sessionId\":\"" + valid_draft().session_id + "\"";
  std::string same_twice = line;
  same_twice.insert(1, session + ",");
  EXPECT_FALSE(parses(same_twice));
  std::string nested_repeat = line;
  const size_t key = nested_repeat.find("\"keyId\"");
  nested_repeat.insert(key, "\"encoding\":\"raw-base64url\",");
  EXPECT_FALSE(parses(nested_repeat));
}

TEST(StartRecordParseTest, ExactJsonTypes) {
  const std::vector<std::pair<const char*, nlohmann::ordered_json>> wrong = {
      {"sessionId", 1},
      {"requesterName", nullptr},
      {"permissions", "VIEW_SCREEN"},
      {"permissions", nlohmann::ordered_json::array({1})},
      {"permissions", nlohmann::ordered_json::array({nlohmann::ordered_json::array()})},
      {"leaseExpiresAt", "1"},
      {"leaseExpiresAt", -1},
      {"leaseExpiresAt", 1.0},
      {"leaseExpiresAt", true},
      {"signedTicket", nlohmann::ordered_json::object()},
      {"ticketKey", "x"},
      {"targetDeviceId", false},
  };
  for (const auto& [member, value] : wrong) {
    auto json = valid_json();
    json[member] = value;
    EXPECT_FALSE(parses(json)) << member << " = " << value.dump();
  }
}

TEST(StartRecordParseTest, LeaseMustFitUnsigned64Bits) {
  std::string line = valid_line();
  const std::string lease = std::to_string(valid_draft().lease_expires_at);
  auto with_lease = [&](const std::string& text) {
    std::string out = line;
    out.replace(out.find(lease), lease.size(), text);
    return out;
  };
  EXPECT_TRUE(parses(with_lease("18446744073709551615")));
  EXPECT_FALSE(parses(with_lease("18446744073709551616")));
  EXPECT_FALSE(parses(with_lease("1e3")));
  EXPECT_FALSE(parses(with_lease("01")));
}

TEST(StartRecordParseTest, UnknownPermissionNameIsAParseError) {
  auto json = valid_json();
  json["permissions"] = {"VIEW_SCREEN", "view_screen"};
  EXPECT_FALSE(parses(json));
  // Empty and over-long lists parse; the record check refuses them later.
  json["permissions"] = nlohmann::ordered_json::array();
  EXPECT_TRUE(parses(json));
  json["permissions"] = std::vector<std::string>(17, "VIEW_SCREEN");
  EXPECT_TRUE(parses(json));
}

TEST(StartRecordParseTest, OnlyJsonWhiteSpaceMayFollowTheObject) {
  std::string body = valid_json().dump();
  EXPECT_TRUE(parses(body + "\n"));
  EXPECT_TRUE(parses(body + "\r\n"));
  EXPECT_TRUE(parses(body + " \t \r\n"));
  EXPECT_TRUE(parses(" \t" + body + "\n"));
  EXPECT_FALSE(parses(body + "x\n"));
  EXPECT_FALSE(parses(body + "{}\n"));
  EXPECT_FALSE(parses(body + "\f\n"));
  EXPECT_FALSE(parses(body + "\v\n"));
  EXPECT_FALSE(parses(body + std::string(1, '\0') + "\n"));
  EXPECT_FALSE(parses(body + "\xC2\xA0\n"));  // no-break space is not JSON white space
}

TEST(StartRecordParseTest, ByteOrderMarkIsNotWhiteSpace) {
  const std::string body = valid_json().dump();
  EXPECT_FALSE(parses("\xEF\xBB\xBF" + body + "\n"));
  EXPECT_FALSE(parses(" \xEF\xBB\xBF" + body + "\n"));
  EXPECT_FALSE(parses(body + "\xEF\xBB\xBF\n"));
}

TEST(StartRecordParseTest, OtherDocumentsAreRefused) {
  for (const char* text : {"", "\n", "null\n", "[]\n", "{}\n", "\"x\"\n", "{\"sessionId\":\n",
                           "[{}]\n", "{\"ticketKey\":{\"ticketKey\":{}}}\n"}) {
    EXPECT_FALSE(parses(std::string(text))) << text;
  }
  std::string deep(10000, '[');
  EXPECT_FALSE(parses(deep + "\n"));
  std::string line = valid_line();
  EXPECT_FALSE(parses(line.substr(0, line.size() / 2)));
}

TEST(StartRecordParseTest, InvalidUtf8IsRefused) {
  auto json = valid_json();
  std::string line = json.dump() + "\n";
  const std::string name = "\"Remote operator\"";
  line.replace(line.find(name), name.size(), "\"Remote \xC3\x28operator\"");
  EXPECT_FALSE(parses(line));
}

// --- canonical text ---

TEST(StartRecordUuidTest, CanonicalTextOnly) {
  const std::string valid = "0d5f3c2a-6b1e-4c7d-9a8b-1f2e3d4c5b6a";
  auto uuid = parse_canonical_uuid(valid);
  ASSERT_TRUE(uuid);
  EXPECT_EQ((*uuid)[0], 0x0d);
  EXPECT_EQ((*uuid)[15], 0x6a);
  EXPECT_EQ(format_uuid(*uuid), valid);
  for (const char* bad : {
           "0D5F3C2A-6B1E-4C7D-9A8B-1F2E3D4C5B6A",  // upper case
           "0d5f3c2a6b1e4c7d9a8b1f2e3d4c5b6a",      // no hyphens
           "0d5f3c2a-6b1e-0c7d-9a8b-1f2e3d4c5b6a",  // version 0
           "0d5f3c2a-6b1e-9c7d-9a8b-1f2e3d4c5b6a",  // version 9
           "0d5f3c2a-6b1e-4c7d-ca8b-1f2e3d4c5b6a",  // variant c
           "0d5f3c2a-6b1e-4c7d-7a8b-1f2e3d4c5b6a",  // variant 7
           "00000000-0000-0000-0000-000000000000",
           "{0d5f3c2a-6b1e-4c7d-9a8b-1f2e3d4c5b6a}",
           "0d5f3c2a-6b1e-4c7d-9a8b-1f2e3d4c5b6",
           "0d5f3c2a-6b1e-4c7d-9a8b_1f2e3d4c5b6a",
           "0d5f3c2a-6b1e-4c7d-9a8b-1f2e3d4c5b6g",
           "",
       }) {
    EXPECT_FALSE(parse_canonical_uuid(bad)) << bad;
  }
  for (const char* good :
       {"00000000-0000-1000-8000-000000000000", "ffffffff-ffff-8fff-bfff-ffffffffffff"}) {
    EXPECT_TRUE(parse_canonical_uuid(good)) << good;
  }
}

Result<std::vector<uint8_t>, Base64Error> b64(std::string_view text, size_t max = 4096) {
  return decode_canonical_base64url(text, max);
}

TEST(StartRecordBase64Test, CanonicalUnpaddedUrlSafeOnly) {
  EXPECT_EQ(b64("AQID").value(), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(b64("-_8").value(), (std::vector<uint8_t>{0xfb, 0xff}));
  EXPECT_EQ(b64("AA").value(), (std::vector<uint8_t>{0}));
  for (const char* bad : {
           "",       // empty
           "A",      // length mod 4 == 1
           "AAAAA",  // length mod 4 == 1
           "AB",     // unused bits not zero
           "AAB",    // unused bits not zero
           "AA==",   // padding
           "AA=",    // padding
           "A=AA",   // "=" inside
           "+/8",    // standard alphabet
           "AA A",   // white space
           "AA\nA",
           "AQID\n",
       }) {
    auto result = b64(bad);
    ASSERT_FALSE(result.ok()) << bad;
    EXPECT_EQ(result.error(), Base64Error::kNotCanonical) << bad;
  }
  EXPECT_FALSE(b64(std::string_view("AA\0A", 4)).ok());
}

TEST(StartRecordBase64Test, SizeLimitIsJudgedOnTheLengthBeforeDecoding) {
  std::vector<uint8_t> bytes(33, 7);
  const std::string text = encode_base64url(bytes);
  EXPECT_EQ(b64(text, 33).value(), bytes);
  EXPECT_EQ(b64(text, 32).error(), Base64Error::kTooLong);
  bytes.resize(32);
  EXPECT_EQ(b64(encode_base64url(bytes), 32).value().size(), 32u);
  // 4096 bytes encode to 5462 characters: one more is refused before a character is decoded, so
  // even text the decoder would refuse reports the bound.
  EXPECT_EQ(b64(encode_base64url(std::vector<uint8_t>(4096, 0xAB))).value().size(), 4096u);
  EXPECT_EQ(b64(std::string(5463, '!')).error(), Base64Error::kTooLong);
  EXPECT_EQ(b64(std::string(32768, 'A')).error(), Base64Error::kTooLong);
  EXPECT_EQ(b64(std::string(5462, '!')).error(), Base64Error::kNotCanonical);
  for (size_t max : {size_t{1}, size_t{2}, size_t{3}, size_t{31}, size_t{32}}) {
    const std::string at_bound = encode_base64url(std::vector<uint8_t>(max, 0));
    EXPECT_TRUE(b64(at_bound, max).ok()) << max;
    EXPECT_EQ(b64(at_bound + "AAAA", max).error(), Base64Error::kTooLong) << max;
  }
}

TEST(StartRecordBase64Test, DecodesExactlyTheTextsThatReencodeToThemselves) {
  // Every text of two and three characters: the canonical rule is the round trip, whichever
  // libsodium build does the decoding.
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  size_t accepted = 0;
  std::string text;
  for (size_t length : {size_t{2}, size_t{3}}) {
    const size_t count = length == 2 ? 64 * 64 : 64 * 64 * 64;
    for (size_t n = 0; n < count; ++n) {
      text.clear();
      for (size_t i = 0, rest = n; i < length; ++i, rest /= 64)
        text.push_back(kAlphabet[rest % 64]);
      auto decoded = b64(text);
      const bool round_trips = decoded.ok() && encode_base64url(decoded.value()) == text;
      ASSERT_EQ(decoded.ok(), round_trips) << text;
      if (!decoded.ok()) {
        ASSERT_EQ(decoded.error(), Base64Error::kNotCanonical) << text;
      } else {
        ++accepted;
      }
    }
  }
  // 2 characters carry one byte (256 texts), 3 carry two (65536).
  EXPECT_EQ(accepted, 256u + 65536u);
}

// --- host identity ---

HostIdentity valid_identity() {
  StartDraft draft = valid_draft();
  Start start;
  start.target_device_id = draft.target_device_id;
  start.target_fingerprint = draft.target_fingerprint;
  return input_host_identity(start);
}

TEST(StartRecordHostIdentityTest, InputHostIdentityIsBoundToTheRecord) {
  HostIdentity identity = valid_identity();
  EXPECT_EQ(identity.allowed_ids, std::vector<std::string>{std::string(32, 'a')});
  EXPECT_EQ(identity.host_name, "Protected Windows host");
  auto binding = check_host_identity(identity);
  ASSERT_TRUE(binding.ok());
  EXPECT_EQ(format_uuid(binding.value().device_id), identity.device_id);
  EXPECT_EQ(encode_base64url(binding.value().fingerprint), identity.identity_key_fingerprint);
}

TEST(StartRecordHostIdentityTest, EveryRuleRefuses) {
  std::vector<std::pair<std::string, HostIdentity>> cases;
  auto add = [&](std::string name, auto change) {
    HostIdentity identity = valid_identity();
    change(identity);
    cases.emplace_back(std::move(name), identity);
  };
  add("no allowed ids", [](HostIdentity& i) { i.allowed_ids.clear(); });
  add("nine allowed ids", [](HostIdentity& i) { i.allowed_ids.assign(9, std::string(32, 'p')); });
  add("31 letters", [](HostIdentity& i) { i.allowed_ids = {std::string(31, 'a')}; });
  add("letter q", [](HostIdentity& i) { i.allowed_ids = {std::string(31, 'a') + "q"}; });
  add("upper case id", [](HostIdentity& i) { i.allowed_ids = {std::string(32, 'A')}; });
  add("blank host name", [](HostIdentity& i) { i.host_name = " \t "; });
  add("long host name", [](HostIdentity& i) { i.host_name = std::string(129, 'h'); });
  add("control in host name", [](HostIdentity& i) { i.host_name = "host\x7f"; });
  add("C1 control in host name", [](HostIdentity& i) { i.host_name = "host\xC2\x85"; });
  add("upper-case device id", [](HostIdentity& i) {
    for (char& c : i.device_id) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  });
  add("31-byte fingerprint", [](HostIdentity& i) {
    i.identity_key_fingerprint = encode_base64url(std::vector<uint8_t>(31, 1));
  });
  add("33-byte fingerprint", [](HostIdentity& i) {
    i.identity_key_fingerprint = encode_base64url(std::vector<uint8_t>(33, 1));
  });
  add("padded fingerprint", [](HostIdentity& i) { i.identity_key_fingerprint += "="; });
  add("zero fingerprint", [](HostIdentity& i) {
    i.identity_key_fingerprint = encode_base64url(std::vector<uint8_t>(32, 0));
  });
  for (const auto& [name, identity] : cases) {
    auto result = check_host_identity(identity);
    ASSERT_FALSE(result.ok()) << name;
    EXPECT_EQ(result.error(), AuthorizationFailure::kInvalidHostBinding) << name;
  }
  HostIdentity eight = valid_identity();
  eight.allowed_ids.assign(8, std::string(32, 'p'));
  eight.host_name = std::string(128, 'h');
  EXPECT_TRUE(check_host_identity(eight).ok());
}

// --- record checks ---

Start valid_start() { return parse_start(valid_line()).value(); }

bool start_passes(const Start& start, uint64_t now = kNow) {
  auto result = check_start(start, now);
  if (!result.ok()) {
    EXPECT_EQ(result.error(), AuthorizationFailure::kInvalidSessionStart);
  }
  return result.ok();
}

TEST(StartRecordCheckTest, ValidRecordPasses) { EXPECT_TRUE(start_passes(valid_start())); }

TEST(StartRecordCheckTest, RequesterName) {
  Start start = valid_start();
  start.requester_name = std::string(128, 'n');
  EXPECT_TRUE(start_passes(start));
  start.requester_name = std::string(129, 'n');
  EXPECT_FALSE(start_passes(start));
  // 128 bytes in multi-byte characters passes; the count is in bytes, not characters.
  start.requester_name.clear();
  for (int i = 0; i < 64; ++i) start.requester_name += "\xC3\xA9";
  EXPECT_TRUE(start_passes(start));
  start.requester_name += "e";
  EXPECT_FALSE(start_passes(start));
  for (const char* bad : {"", "   ", "\t", "Remote\toperator", "\xE3\x80\x80",  // U+3000 only
                          "a\x1f", "a\x7f", "a\xC2\x9f"}) {
    start.requester_name = bad;
    EXPECT_FALSE(start_passes(start)) << bad;
  }
  start.requester_name = std::string("a\0b", 3);
  EXPECT_FALSE(start_passes(start));
  start.requester_name = " padded name ";
  EXPECT_TRUE(start_passes(start));
  start.requester_name = "a\xC2\xA0";  // U+00A0 is white space, not a control
  EXPECT_TRUE(start_passes(start));
}

TEST(StartRecordCheckTest, PermissionCount) {
  Start start = valid_start();
  start.permissions.clear();
  EXPECT_FALSE(start_passes(start));
  start.permissions.assign(16, Permission::kViewScreen);
  EXPECT_TRUE(start_passes(start));
  start.permissions.assign(17, Permission::kViewScreen);
  EXPECT_FALSE(start_passes(start));
}

TEST(StartRecordCheckTest, LeaseWindow) {
  Start start = valid_start();
  start.lease_expires_at_ms = kNow * 1000;
  EXPECT_FALSE(start_passes(start));
  start.lease_expires_at_ms = kNow * 1000 + 1;
  EXPECT_TRUE(start_passes(start));
  start.lease_expires_at_ms = kNow * 1000 + 330000;
  EXPECT_TRUE(start_passes(start));
  start.lease_expires_at_ms = kNow * 1000 + 330001;
  EXPECT_FALSE(start_passes(start));
  start.lease_expires_at_ms = 0;
  EXPECT_FALSE(start_passes(start, 0));
  // Near the top of the range the window saturates instead of wrapping.
  start.lease_expires_at_ms = UINT64_MAX;
  EXPECT_TRUE(start_passes(start, UINT64_MAX / 1000 - 1));
  EXPECT_FALSE(start_passes(start, UINT64_MAX / 1000 + 1));
  EXPECT_FALSE(start_passes(start, UINT64_MAX));
}

TEST(StartRecordCheckTest, TicketKeyMetadata) {
  Start start = valid_start();
  start.ticket_key.algorithm = "ed25519";
  EXPECT_FALSE(start_passes(start));
  start.ticket_key.algorithm = "Ed25519 ";
  EXPECT_FALSE(start_passes(start));
  start = valid_start();
  start.ticket_key.encoding = "base64url";
  EXPECT_FALSE(start_passes(start));
  start = valid_start();
  start.ticket_key.key_id = std::string(64, '~');
  EXPECT_TRUE(start_passes(start));
  for (const std::string& bad : {std::string(), std::string(65, 'k'), std::string("key id"),
                                 std::string("key\x7f"), std::string("k\xC3\xA9")}) {
    start.ticket_key.key_id = bad;
    EXPECT_FALSE(start_passes(start)) << bad;
  }
}

TEST(StartRecordCheckTest, KeyIdIsAPrintableToken) {
  Start start = valid_start();
  for (const auto& [key_id, printable] : testing::printable_token_cases()) {
    start.ticket_key.key_id = key_id;
    EXPECT_EQ(start_passes(start), printable) << ::testing::PrintToString(key_id);
  }
}

TEST(StartRecordCheckTest, SessionIdMustBeCanonical) {
  Start start = valid_start();
  for (const char* bad :
       {"0D5F3C2A-6B1E-4C7D-9A8B-1F2E3D4C5B6A", "0d5f3c2a6b1e4c7d9a8b1f2e3d4c5b6a",
        "0d5f3c2a-6b1e-0c7d-9a8b-1f2e3d4c5b6a", "0d5f3c2a-6b1e-9c7d-9a8b-1f2e3d4c5b6a",
        "0d5f3c2a-6b1e-4c7d-ca8b-1f2e3d4c5b6a", "00000000-0000-0000-0000-000000000000"}) {
    start.session_id = bad;
    EXPECT_FALSE(start_passes(start)) << bad;
  }
}

}  // namespace
}  // namespace vornakel::native_protocol
