#include <gtest/gtest.h>

#include <functional>

#include "native_protocol/authorization/ticket_verification.h"
#include "native_protocol/support/printable_token_cases.h"
#include "ticket_issuer.h"

namespace vornakel::native_protocol {
namespace {

constexpr uint64_t kNow = 1'800'000'000;

struct ClaimsFixture {
  ticket_issuer::IssueOptions options = ticket_issuer::default_options(kNow);
  SessionTicket ticket = ticket_issuer::ticket_for(options);
  TicketVerificationContext context = make_context();

  TicketVerificationContext make_context() const {
    TicketVerificationContext c;
    c.session_id = options.session_id;
    c.requester_device_id = options.requester_device_id;
    c.requester_fingerprint = options.requester_fingerprint;
    c.target_device_id = options.target_device_id;
    c.target_fingerprint = options.target_fingerprint;
    c.now = kNow;
    c.protocol_major = 1;
    return c;
  }

  std::string text() const {
    auto result = check_ticket_claims(ticket, context);
    return result.ok() ? "ok" : result.error().text();
  }
};

std::string claims_after(const std::function<void(ClaimsFixture&)>& change) {
  ClaimsFixture fixture;
  change(fixture);
  return fixture.text();
}

TEST(TicketClaimsTest, ValidTicketYieldsItsPermissionSet) {
  ClaimsFixture fixture;
  auto result = check_ticket_claims(fixture.ticket, fixture.context);
  ASSERT_TRUE(result.ok()) << result.error().text();
  EXPECT_EQ(result.value().mask, 0xDu);
}

TEST(TicketClaimsTest, EveryRuleAndItsText) {
  using F = ClaimsFixture;
  const std::vector<std::pair<std::function<void(F&)>, std::string>> cases = {
      {[](F& f) { f.ticket.session_id.resize(15); }, "session_id must be 16 bytes; got 15"},
      {[](F& f) { f.ticket.session_id.assign(16, 0); }, "invalid field session_id"},
      {[](F& f) { f.context.session_id[0] ^= 1; }, "ticket binding mismatch for session_id"},
      {[](F& f) { f.ticket.requester.reset(); }, "missing required field requester"},
      {[](F& f) { f.ticket.target.reset(); }, "missing required field target"},
      {[](F& f) { f.ticket.requester->device_id.resize(17); },
       "device_id must be 16 bytes; got 17"},
      {[](F& f) { f.ticket.requester = DeviceBinding{}; }, "device_id must be 16 bytes; got 0"},
      {[](F& f) { f.ticket.target->identity_key_fingerprint_sha256.resize(31); },
       "identity_key_fingerprint_sha256 must be 32 bytes; got 31"},
      {[](F& f) { f.context.requester_fingerprint[3] ^= 1; },
       "ticket binding mismatch for requester"},
      {[](F& f) { f.ticket.target->identity_key_fingerprint_sha256[0] ^= 1; },
       "ticket binding mismatch for target"},
      {[](F& f) { f.ticket.target->device_id[0] ^= 1; }, "ticket binding mismatch for target"},
      {[](F& f) {
         f.ticket.requester->device_id.assign(16, 0);
         f.context.requester_device_id.fill(0);
       },
       "invalid field device_id"},
      {[](F& f) {
         f.ticket.target->identity_key_fingerprint_sha256.assign(32, 0);
         f.context.target_fingerprint.fill(0);
       },
       "invalid field identity_key_fingerprint_sha256"},
      {[](F& f) {
         f.ticket.requester->device_id = f.ticket.target->device_id;
         std::copy(f.ticket.target->device_id.begin(), f.ticket.target->device_id.end(),
                   f.context.requester_device_id.begin());
       },
       "invalid field requester/target device"},
      {[](F& f) { f.ticket.role = 0; }, "invalid field role"},
      {[](F& f) { f.ticket.role = 4; }, "invalid field role"},
      {[](F& f) { f.ticket.role = -1; }, "invalid field role"},
      {[](F& f) { f.ticket.approval_mode = 3; }, "invalid field approval_mode"},
      {[](F& f) { f.ticket.approval_mode = 0; }, "invalid field approval_mode"},
      {[](F& f) { f.ticket.protocol_major = 2; }, "ticket binding mismatch for protocol_major"},
      {[](F& f) { f.context.protocol_major = 2; }, "ticket binding mismatch for protocol_major"},
      {[](F& f) { f.ticket.expires_at_unix_s = f.ticket.issued_at_unix_s; },
       "invalid session ticket lifetime"},
      {[](F& f) { f.ticket.expires_at_unix_s = f.ticket.issued_at_unix_s + 121; },
       "invalid session ticket lifetime"},
      {[](F& f) { f.ticket.expires_at_unix_s = f.ticket.issued_at_unix_s - 1; },
       "invalid session ticket lifetime"},
      {[](F& f) { f.context.now = f.ticket.expires_at_unix_s; }, "session ticket expired"},
      {[](F& f) {
         f.ticket.issued_at_unix_s = kNow + 31;
         f.ticket.expires_at_unix_s = kNow + 60;
       },
       "session ticket issue time exceeds clock-skew allowance"},
      {[](F& f) { f.ticket.nonce.resize(31); }, "nonce must be 32 bytes; got 31"},
      {[](F& f) { f.ticket.nonce.assign(32, 0); }, "invalid field nonce"},
      {[](F& f) { f.ticket.requester_dtls_fingerprint_sha256.clear(); },
       "requester_dtls_fingerprint_sha256 must be 32 bytes; got 0"},
      {[](F& f) { f.ticket.requester_dtls_fingerprint_sha256.assign(32, 0); },
       "invalid field requester_dtls_fingerprint_sha256"},
      {[](F& f) { f.ticket.target_dtls_fingerprint_sha256.resize(4000); },
       "target_dtls_fingerprint_sha256 must be 32 bytes; got 4000"},
      {[](F& f) { f.ticket.target_dtls_fingerprint_sha256.assign(32, 0); },
       "invalid field target_dtls_fingerprint_sha256"},
      {[](F& f) { f.ticket.display_id.assign(129, 'd'); }, "display_id exceeds limit 128"},
      {[](F& f) { f.ticket.signing_key_id.clear(); }, "invalid field signing_key_id"},
      {[](F& f) { f.ticket.signing_key_id.assign(65, 'k'); }, "invalid field signing_key_id"},
      {[](F& f) { f.ticket.signing_key_id = "key id"; }, "invalid field signing_key_id"},
      {[](F& f) {
         f.ticket.entitlements.clear();
         for (int i = 0; i < 33; ++i)
           f.ticket.entitlements.push_back("e" + std::to_string(100 + i));
       },
       "entitlements exceeds limit 32"},
      {[](F& f) { f.ticket.entitlements = {""}; }, "invalid field entitlement"},
      {[](F& f) { f.ticket.entitlements = {std::string(65, 'e')}; }, "invalid field entitlement"},
      {[](F& f) { f.ticket.entitlements = {"with space"}; }, "invalid field entitlement"},
      {[](F& f) {
         f.ticket.entitlements = {"b", "a"};
       },
       "invalid field entitlement order"},
      {[](F& f) {
         f.ticket.entitlements = {"a", "a"};
       },
       "invalid field entitlement order"},
      {[](F& f) {
         f.ticket.entitlements = {"ab", "a"};
       },
       "invalid field entitlement order"},
      {[](F& f) {
         f.ticket.permissions = {1, 17};
       },
       "unknown permission value 17"},
      {[](F& f) { f.ticket.permissions = {0}; }, "unspecified permission is not a grant"},
      {[](F& f) {
         f.ticket.permissions = {1, 3, 3};
       },
       "duplicate permission value 3"},
      {[](F& f) {
         f.ticket.permissions = {3, 1};
       },
       "permissions are not in canonical increasing order"},
  };
  for (const auto& [change, text] : cases) EXPECT_EQ(claims_after(change), text);
}

TEST(TicketClaimsTest, BoundariesThatPass) {
  using F = ClaimsFixture;
  const std::vector<std::function<void(F&)>> passing = {
      [](F& f) { f.ticket.expires_at_unix_s = f.ticket.issued_at_unix_s + 120; },
      [](F& f) {
        f.ticket.issued_at_unix_s = kNow + 30;
        f.ticket.expires_at_unix_s = kNow + 31;
      },
      [](F& f) { f.context.now = f.ticket.expires_at_unix_s - 1; },
      [](F& f) { f.ticket.display_id.assign(128, 'd'); },
      [](F& f) { f.ticket.signing_key_id.assign(64, '!'); },
      [](F& f) {
        f.ticket.entitlements = {"a", "ab", "b"};
      },
      [](F& f) {
        f.ticket.entitlements.clear();
        for (int i = 0; i < 32; ++i) f.ticket.entitlements.push_back(std::string(64, 'A' + i));
      },
      [](F& f) { f.ticket.role = 3; },
      [](F& f) { f.ticket.approval_mode = 2; },
      [](F& f) { f.ticket.permissions.clear(); },  // the empty set; VIEW_SCREEN is checked later
  };
  for (size_t i = 0; i < passing.size(); ++i) EXPECT_EQ(claims_after(passing[i]), "ok") << i;
}

TEST(TicketClaimsTest, SigningKeyIdAndEachEntitlementArePrintableTokens) {
  for (const auto& token_case : testing::printable_token_cases()) {
    // Named copies: clang before 16 cannot capture a structured binding in a lambda.
    const std::string token = token_case.first;
    const bool printable = token_case.second;
    const std::string shown = ::testing::PrintToString(token);
    EXPECT_EQ(claims_after([&](ClaimsFixture& f) { f.ticket.signing_key_id = token; }),
              printable ? "ok" : "invalid field signing_key_id")
        << shown;
    // Alone, and after a valid entitlement that sorts before it.
    EXPECT_EQ(claims_after([&](ClaimsFixture& f) { f.ticket.entitlements = {token}; }),
              printable ? "ok" : "invalid field entitlement")
        << shown;
    if (!(std::string("!") < token)) continue;
    EXPECT_EQ(claims_after([&](ClaimsFixture& f) {
                f.ticket.entitlements = {"!", token};
              }),
              printable ? "ok" : "invalid field entitlement")
        << shown;
  }
}

TEST(TicketClaimsTest, FirstFailingRuleDecides) {
  // Each pair breaks two rules; the earlier one is reported.
  EXPECT_EQ(claims_after([](ClaimsFixture& f) {
              f.ticket.session_id.clear();
              f.ticket.requester.reset();
            }),
            "session_id must be 16 bytes; got 0");
  EXPECT_EQ(claims_after([](ClaimsFixture& f) {
              f.ticket.requester.reset();
              f.ticket.target.reset();
            }),
            "missing required field requester");
  EXPECT_EQ(claims_after([](ClaimsFixture& f) {
              f.ticket.requester->device_id[0] ^= 1;
              f.ticket.target->device_id[0] ^= 1;
            }),
            "ticket binding mismatch for requester");
  EXPECT_EQ(claims_after([](ClaimsFixture& f) {
              f.ticket.role = 0;
              f.ticket.approval_mode = 0;
            }),
            "invalid field role");
  EXPECT_EQ(claims_after([](ClaimsFixture& f) {
              f.ticket.expires_at_unix_s = f.ticket.issued_at_unix_s + 500;
              f.context.now = f.ticket.expires_at_unix_s;
            }),
            "invalid session ticket lifetime");
  EXPECT_EQ(claims_after([](ClaimsFixture& f) {
              f.context.now = f.ticket.expires_at_unix_s;
              f.ticket.nonce.clear();
            }),
            "session ticket expired");
  EXPECT_EQ(claims_after([](ClaimsFixture& f) {
              f.ticket.entitlements = {"b", "a"};
              f.ticket.permissions = {0};
            }),
            "invalid field entitlement order");
  // Length is checked before the comparison: a short target is a length error, not a mismatch.
  EXPECT_EQ(claims_after([](ClaimsFixture& f) { f.ticket.target->device_id.resize(8); }),
            "device_id must be 16 bytes; got 8");
  // The binding comparison precedes the zero check.
  EXPECT_EQ(claims_after([](ClaimsFixture& f) { f.ticket.requester->device_id.assign(16, 0); }),
            "ticket binding mismatch for requester");
}

TEST(TicketClaimsTest, FutureAllowanceSaturates) {
  ClaimsFixture fixture;
  fixture.context.now = UINT64_MAX - 10;
  fixture.ticket.issued_at_unix_s = UINT64_MAX - 5;
  fixture.ticket.expires_at_unix_s = UINT64_MAX;
  EXPECT_EQ(fixture.text(), "ok");
}

TEST(TicketClaimsTest, DeviceBindingOnItsOwn) {
  const std::array<uint8_t, 16> id{1};
  const std::array<uint8_t, 32> fingerprint{2};
  DeviceBinding binding{Bytes(id.begin(), id.end()), Bytes(fingerprint.begin(), fingerprint.end())};
  EXPECT_TRUE(check_device_binding(binding, id, fingerprint, "target").ok());
  const std::array<uint8_t, 32> other{3};
  EXPECT_EQ(check_device_binding(binding, id, other, "requester").error().text(),
            "ticket binding mismatch for requester");
}

TEST(TicketClaimsTest, ValidationErrorTexts) {
  EXPECT_EQ(ValidationError::missing("x").text(), "missing required field x");
  EXPECT_EQ(ValidationError::invalid_length("x", 16, 3).text(), "x must be 16 bytes; got 3");
  EXPECT_EQ(ValidationError::invalid_field("x").text(), "invalid field x");
  EXPECT_EQ(ValidationError::limit_exceeded("x", 7).text(), "x exceeds limit 7");
  EXPECT_EQ(ValidationError::permission(PermissionError::denied(Permission::kSendKeyboard)).text(),
            "permission denied: SendKeyboard");
  EXPECT_EQ(ValidationError::ticket_expired().text(), "session ticket expired");
  EXPECT_EQ(ValidationError::ticket_from_future().text(),
            "session ticket issue time exceeds clock-skew allowance");
  EXPECT_EQ(ValidationError::ticket_lifetime().text(), "invalid session ticket lifetime");
  EXPECT_EQ(ValidationError::binding_mismatch("x").text(), "ticket binding mismatch for x");
}

}  // namespace
}  // namespace vornakel::native_protocol
