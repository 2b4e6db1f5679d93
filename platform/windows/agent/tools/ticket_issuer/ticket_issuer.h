// Issues signed session tickets and start records for tests, fuzz corpora and manual runs of the
// input host: valid ones, and each kind of broken one the verifier must refuse.
#ifndef VORNAKEL_TOOLS_TICKET_ISSUER_TICKET_ISSUER_H_
#define VORNAKEL_TOOLS_TICKET_ISSUER_TICKET_ISSUER_H_

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "native_protocol/authorization/canonical_text.h"
#include "native_protocol/authorization/permissions.h"
#include "native_protocol/authorization/ticket_codec.h"

namespace vornakel::ticket_issuer {

using native_protocol::Bytes;
using native_protocol::Permission;
using native_protocol::SessionTicket;
using native_protocol::Uuid;

struct KeyPair {
  std::array<uint8_t, 32> public_key{};
  std::array<uint8_t, 64> secret_key{};
};

KeyPair key_pair_from_seed(std::span<const uint8_t, 32> seed);
// Detached Ed25519 signature.
Bytes sign(const KeyPair& key, std::span<const uint8_t> message);

// The start record's members exactly as they will be written.
struct StartDraft {
  std::string session_id;
  std::string requester_name;
  std::vector<std::string> permissions;
  uint64_t lease_expires_at = 0;
  std::string signed_ticket;
  std::string key_id;
  std::string algorithm = "Ed25519";
  std::string public_key;
  std::string encoding = "raw-base64url";
  std::string target_device_id;
  std::string target_fingerprint;
};

// One JSON line with its line feed.
std::string start_line(const StartDraft& draft);

// The clock-related kinds keep a margin beyond their limit, so that a record stays broken while it
// travels to the host; the exact boundaries are set with the options themselves.
enum class Breakage {
  kNone,
  kBadSignature,  // one bit of the signature flipped
  kNoDomain,      // signed over the payload alone
  kSPlusL,        // S replaced by S + L (same point, non-canonical scalar)
  kWrongSession,  // ticket for another session
  kWrongTarget,   // ticket for another device
  kWrongTargetFingerprint,
  kSameDevice,         // requester device equals the target device
  kExpired,            // expires_at = now - 1
  kFutureIssuedAt,     // issued_at = now + 90
  kLongLifetime,       // expires_at - issued_at = 121
  kPermissionOrder,    // the record lists the ticket's permissions in another order
  kMissingViewScreen,  // neither list has VIEW_SCREEN
  kNonCanonical,       // permissions written unpacked (then signed)
  kUnknownField,       // field 99 appended to the ticket (then signed)
  kUnknownOuterField,  // field 99 appended to the signed ticket
  kKeyIdMismatch,      // the record names another key id than the ticket
  kSmallOrderKey,      // the record's public key is the identity point
  kShortKey,           // 31-byte public key
  kLongKey,            // 33-byte public key
  kProtocolMajor,      // protocol_major 2
  kLeaseTooLong,       // lease 390000 ms ahead
  kOversized,          // signed ticket of 4097 bytes
};

std::optional<Breakage> parse_breakage(std::string_view name);
std::string_view breakage_name(Breakage breakage);
std::vector<Breakage> all_breakages();

struct IssueOptions {
  std::array<uint8_t, 32> seed{};
  std::string key_id = "vornakel-test-key";
  Uuid session_id{};
  std::string requester_name = "Remote operator";
  Uuid requester_device_id{};
  std::array<uint8_t, 32> requester_fingerprint{};
  Uuid target_device_id{};
  std::array<uint8_t, 32> target_fingerprint{};
  std::vector<Permission> permissions{Permission::kViewScreen, Permission::kSendPointer,
                                      Permission::kSendKeyboard};
  uint64_t now = 0;                  // seconds since the epoch
  int64_t issued_offset_s = 0;       // issued_at = now + offset
  uint64_t lifetime_s = 60;          // expires_at = issued_at + lifetime
  uint64_t lease_ahead_ms = 300000;  // leaseExpiresAt = now * 1000 + this
  int32_t role = 1;
  int32_t approval_mode = 1;
  std::vector<std::string> entitlements;
  std::string display_id;
  Breakage breakage = Breakage::kNone;
};

// Options with fixed, valid identifiers and keys (a fixed seed), for `now`.
IssueOptions default_options(uint64_t now);

struct Issued {
  SessionTicket ticket;  // as intended before any breakage of the bytes
  Bytes payload;         // the ticket bytes that were signed
  Bytes signed_ticket;   // the SignedSessionTicket bytes
  StartDraft start;
};

// The ticket `options` describe, before any breakage.
SessionTicket ticket_for(const IssueOptions& options);

// Signs `payload` under the domain and wraps it with the signature.
Bytes sign_and_wrap(const KeyPair& key, const Bytes& payload);

Result<Issued, std::string> issue(const IssueOptions& options);

}  // namespace vornakel::ticket_issuer

#endif  // VORNAKEL_TOOLS_TICKET_ISSUER_TICKET_ISSUER_H_
