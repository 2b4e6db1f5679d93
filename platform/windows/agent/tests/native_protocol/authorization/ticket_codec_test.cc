#include "native_protocol/authorization/ticket_codec.h"

#include <gtest/gtest.h>

#include "ticket_issuer.h"

namespace vornakel::native_protocol {
namespace {

constexpr uint64_t kNow = 1'800'000'000;

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes field_bytes(uint8_t key, size_t length, uint8_t fill) {
  Bytes out{key};
  size_t value = length;
  while (value >= 0x80) {
    out.push_back(static_cast<uint8_t>(value | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<uint8_t>(value));
  out.insert(out.end(), length, fill);
  return out;
}

const Bytes kSession = field_bytes(0x0a, 16, 0x11);
const Bytes kRole1 = {0x20, 0x01};

DecodeError::Kind session_error_kind(const Bytes& bytes) {
  auto decoded = decode_session_ticket(bytes, kTicketSizeLimit);
  EXPECT_FALSE(decoded.ok());
  return decoded.ok() ? DecodeError::Kind::kTooLarge : decoded.error().kind();
}

TEST(TicketCodecTest, IssuedTicketRoundTrips) {
  auto issued = ticket_issuer::issue(ticket_issuer::default_options(kNow)).value();
  auto ticket = decode_session_ticket(issued.payload, kTicketSizeLimit);
  ASSERT_TRUE(ticket.ok()) << ticket.error().text();
  EXPECT_EQ(ticket.value(), issued.ticket);
  auto signed_ticket = decode_signed_ticket(issued.signed_ticket, kTicketSizeLimit);
  ASSERT_TRUE(signed_ticket.ok());
  EXPECT_EQ(signed_ticket.value().ticket, issued.payload);
  EXPECT_EQ(signed_ticket.value().signature.size(), 64u);
  EXPECT_EQ(encode_signed_ticket(signed_ticket.value()).value(), issued.signed_ticket);
}

TEST(TicketCodecTest, CanonicalKeysInFieldOrder) {
  SessionTicket ticket;
  ticket.session_id = Bytes(16, 1);
  ticket.requester = DeviceBinding{};
  ticket.target = DeviceBinding{Bytes(1, 2), Bytes(1, 3)};
  ticket.role = 1;
  ticket.permissions = {1, 3};
  ticket.entitlements = {"a", ""};
  ticket.display_id = "d";
  ticket.approval_mode = 2;
  ticket.issued_at_unix_s = 1;
  ticket.expires_at_unix_s = 300;
  ticket.nonce = Bytes(1, 4);
  ticket.protocol_major = 1;
  ticket.signing_key_id = "k";
  ticket.requester_dtls_fingerprint_sha256 = Bytes(1, 5);
  ticket.target_dtls_fingerprint_sha256 = Bytes(1, 6);
  const Bytes expected = cat({field_bytes(0x0a, 16, 1),
                              {0x12, 0x00},
                              {0x1a, 0x06, 0x0a, 0x01, 0x02, 0x12, 0x01, 0x03},
                              {0x20, 0x01},
                              {0x2a, 0x02, 0x01, 0x03},
                              {0x32, 0x01, 'a', 0x32, 0x00},
                              {0x3a, 0x01, 'd'},
                              {0x40, 0x02},
                              {0x48, 0x01},
                              {0x50, 0xac, 0x02},
                              {0x5a, 0x01, 0x04},
                              {0x60, 0x01},
                              {0x6a, 0x01, 'k'},
                              {0x72, 0x01, 0x05},
                              {0x7a, 0x01, 0x06}});
  EXPECT_EQ(encode_session_ticket(ticket).value(), expected);
  EXPECT_EQ(decode_session_ticket(expected, kTicketSizeLimit).value(), ticket);
}

TEST(TicketCodecCanonicalTest, NonCanonicalSessionTicketsAreRefused) {
  const std::vector<std::pair<const char*, Bytes>> cases = {
      {"unknown varint field 99", cat({kSession, kRole1, {0x98, 0x06, 0x01}})},
      {"unknown bytes field 20", cat({kSession, kRole1, {0xa2, 0x01, 0x01, 0x00}})},
      {"out of order", cat({kRole1, kSession})},
      {"repeated singular", cat({kSession, kRole1, kRole1})},
      {"repeated bytes", cat({kSession, kSession, kRole1})},
      {"unpacked permissions", cat({kSession, kRole1, {0x28, 0x01, 0x28, 0x03}})},
      {"two packed records", cat({kSession, kRole1, {0x2a, 0x01, 0x01, 0x2a, 0x01, 0x03}})},
      {"empty packed record", cat({kSession, kRole1, {0x2a, 0x00}})},
      {"explicit zero role", cat({kSession, {0x20, 0x00}})},
      {"explicit zero time", cat({kSession, kRole1, {0x48, 0x00}})},
      {"explicit empty nonce", cat({kSession, kRole1, {0x5a, 0x00}})},
      {"explicit empty key id", cat({kSession, kRole1, {0x6a, 0x00}})},
      {"non-minimal varint", cat({kSession, {0x20, 0x81, 0x00}})},
      {"non-minimal length", cat({{0x0a, 0x90, 0x00}, Bytes(16, 0x11), kRole1})},
      {"negative enum in 5 bytes", cat({kSession, {0x20, 0xff, 0xff, 0xff, 0xff, 0x0f}})},
      {"enum above 32 bits", cat({kSession, {0x20, 0x81, 0x80, 0x80, 0x80, 0x10}})},
      {"empty submessage with explicit zero", cat({kSession, {0x12, 0x02, 0x0a, 0x00}, kRole1})},
      {"submessage repeated", cat({kSession, {0x12, 0x00, 0x12, 0x00}, kRole1})},
  };
  for (const auto& [name, bytes] : cases) {
    auto decoded = decode_session_ticket(bytes, kTicketSizeLimit);
    ASSERT_FALSE(decoded.ok()) << name;
    EXPECT_NE(decoded.error().kind(), DecodeError::Kind::kTooLarge) << name;
  }
  // These decode and are refused only by the comparison with their re-encoding.
  EXPECT_EQ(session_error_kind(cat({kSession, kRole1, {0x98, 0x06, 0x01}})),
            DecodeError::Kind::kNotCanonical);
  EXPECT_EQ(session_error_kind(cat({kSession, kRole1, {0x28, 0x01, 0x28, 0x03}})),
            DecodeError::Kind::kNotCanonical);
  EXPECT_EQ(session_error_kind(cat({kSession, {0x20, 0x00}})), DecodeError::Kind::kNotCanonical);
}

TEST(TicketCodecCanonicalTest, CanonicalEdgeFormsDecode) {
  // A negative enumeration in its canonical 10-byte form is canonical (the claims refuse it).
  const Bytes negative_role =
      cat({kSession, {0x20, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x01}});
  auto decoded = decode_session_ticket(negative_role, kTicketSizeLimit);
  ASSERT_TRUE(decoded.ok()) << decoded.error().text();
  EXPECT_EQ(decoded.value().role, -1);

  // Present but empty requester and target stay present.
  const Bytes empty_bindings = cat({kSession, {0x12, 0x00, 0x1a, 0x00}, kRole1});
  decoded = decode_session_ticket(empty_bindings, kTicketSizeLimit);
  ASSERT_TRUE(decoded.ok());
  ASSERT_TRUE(decoded.value().requester.has_value());
  ASSERT_TRUE(decoded.value().target.has_value());
  EXPECT_TRUE(decoded.value().requester->device_id.empty());
  EXPECT_EQ(encode_session_ticket(decoded.value()).value(), empty_bindings);

  // A missing role decodes to zero.
  decoded = decode_session_ticket(kSession, kTicketSizeLimit);
  ASSERT_TRUE(decoded.ok());
  EXPECT_EQ(decoded.value().role, 0);
  EXPECT_FALSE(decoded.value().requester.has_value());

  // Empty input is the empty ticket.
  EXPECT_TRUE(decode_session_ticket(Bytes{}, kTicketSizeLimit).ok());
}

TEST(TicketCodecDecodeErrorTest, MalformedWireIsAProtobufError) {
  const std::vector<std::pair<const char*, Bytes>> cases = {
      {"wrong wire type for bytes field", cat({{0x08, 0x01}, kRole1})},
      {"wrong wire type for varint field", cat({kSession, {0x22, 0x01, 0x01}})},
      {"wire type 6", cat({kSession, {0x0e}})},
      {"wire type 7", cat({kSession, {0x0f}})},
      {"field number 0", cat({{0x00, 0x01}, kSession})},
      {"key above 32 bits", cat({kSession, {0x80, 0x80, 0x80, 0x80, 0x10, 0x01}})},
      {"truncated length", {0x0a, 0x10, 0x01}},
      {"truncated varint", {0x20, 0x80}},
      {"start group", cat({kSession, {0xa3, 0x01}})},
      {"invalid UTF-8 in display_id", cat({kSession, {0x3a, 0x02, 0xc3, 0x28}})},
      {"invalid UTF-8 in signing_key_id", cat({kSession, {0x6a, 0x01, 0xff}})},
      {"lone continuation byte in signing_key_id", cat({kSession, {0x6a, 0x01, 0x80}})},
      {"lone continuation byte in display_id", cat({kSession, {0x3a, 0x02, 0x61, 0x80}})},
      {"invalid UTF-8 in entitlement", cat({kSession, {0x32, 0x02, 0xc3, 0x28}})},
      {"surrogate in entitlement", cat({kSession, {0x32, 0x03, 0xed, 0xa0, 0x80}})},
      {"truncated packed permission", cat({kSession, {0x2a, 0x01, 0x80}})},
  };
  for (const auto& [name, bytes] : cases) {
    auto decoded = decode_session_ticket(bytes, kTicketSizeLimit);
    ASSERT_FALSE(decoded.ok()) << name;
    EXPECT_EQ(decoded.error().kind(), DecodeError::Kind::kProtobuf) << name;
    EXPECT_NE(decoded.error().text().find("protobuf decoding failed: "), std::string::npos);
  }
}

TEST(TicketCodecLimitTest, FourThousandNinetySixBytesDecodeAndOneMoreDoesNot) {
  // One bytes field filling the whole payload bound: the claims see its real length.
  const Bytes at_bound = field_bytes(0x0a, 4093, 0x22);
  ASSERT_EQ(at_bound.size(), 4096u);
  auto decoded = decode_session_ticket(at_bound, kTicketSizeLimit);
  ASSERT_TRUE(decoded.ok()) << decoded.error().text();
  EXPECT_EQ(decoded.value().session_id.size(), 4093u);

  const Bytes over = field_bytes(0x0a, 4094, 0x22);
  ASSERT_EQ(over.size(), 4097u);
  auto refused = decode_session_ticket(over, kTicketSizeLimit);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().kind(), DecodeError::Kind::kTooLarge);
  EXPECT_EQ(refused.error().actual(), 4097u);
  EXPECT_EQ(refused.error().text(), "message of 4097 bytes exceeds limit 4096");

  const Bytes signed_at_bound = field_bytes(0x12, 4093, 0x33);
  EXPECT_TRUE(decode_signed_ticket(signed_at_bound, kTicketSizeLimit).ok());
  EXPECT_EQ(decode_signed_ticket(field_bytes(0x12, 4094, 0x33), kTicketSizeLimit).error().kind(),
            DecodeError::Kind::kTooLarge);
}

TEST(TicketCodecLimitTest, EncoderRefusesWhatTheDecoderCouldNotHold) {
  SessionTicket ticket;
  ticket.nonce = Bytes(4096, 1);  // a field's whole room
  EXPECT_TRUE(encode_session_ticket(ticket).ok());
  ticket.nonce = Bytes(4097, 1);
  EXPECT_FALSE(encode_session_ticket(ticket).ok());
}

TEST(TicketCodecTextTest, AnyScalarValueRoundTripsInTheStringFields) {
  // NUL, the noncharacters U+FFFF, U+FFFE and U+FDD0, and a supplementary character are text.
  for (const std::string& text : {std::string("a\0b", 3),
                                  std::string("a\xEF\xBF\xBF"
                                              "b"),
                                  std::string("\xEF\xBF\xBE"), std::string("\xEF\xB7\x90"),
                                  std::string("\xF4\x8F\xBF\xBF"), std::string(1, '\0')}) {
    SessionTicket ticket;
    ticket.display_id = text;
    ticket.signing_key_id = text;
    auto encoded = encode_session_ticket(ticket);
    ASSERT_TRUE(encoded.ok());
    auto decoded = decode_session_ticket(encoded.value(), kTicketSizeLimit);
    ASSERT_TRUE(decoded.ok()) << decoded.error().text();
    EXPECT_EQ(decoded.value().display_id, text);
    EXPECT_EQ(decoded.value().signing_key_id, text);
  }
  // An explicitly empty string is the default written out, and a repeated string is not canonical.
  EXPECT_EQ(decode_session_ticket(cat({kSession, {0x3a, 0x00}}), kTicketSizeLimit).error().kind(),
            DecodeError::Kind::kNotCanonical);
  EXPECT_EQ(
      decode_session_ticket(cat({kSession, {0x3a, 0x01, 'a', 0x3a, 0x01, 'b'}}), kTicketSizeLimit)
          .error()
          .kind(),
      DecodeError::Kind::kNotCanonical);
}

TEST(TicketCodecSignedTest, NonCanonicalSignedTicketsAreRefused) {
  const Bytes ticket = field_bytes(0x0a, 20, 0x01);
  const Bytes signature = field_bytes(0x12, 64, 0x02);
  EXPECT_TRUE(decode_signed_ticket(cat({ticket, signature}), kTicketSizeLimit).ok());
  for (const Bytes& bytes : {cat({signature, ticket}), cat({ticket, signature, {0x98, 0x06, 0x01}}),
                             cat({ticket, ticket, signature}), cat({ticket, {0x12, 0x00}})}) {
    EXPECT_FALSE(decode_signed_ticket(bytes, kTicketSizeLimit).ok());
  }
}

}  // namespace
}  // namespace vornakel::native_protocol
