// Verification of the signed session ticket against the start record and this host's identity.
#ifndef VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_TICKET_VERIFICATION_H_
#define VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_TICKET_VERIFICATION_H_

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "common/result.h"
#include "native_protocol/authorization/permissions.h"
#include "native_protocol/authorization/start_record.h"
#include "native_protocol/authorization/ticket_codec.h"
#include "native_protocol/authorization/validation_error.h"
#include "native_protocol/framing.h"

namespace vornakel::native_protocol {

inline constexpr std::string_view kTicketSignatureDomain = "vornakel-connect/session-ticket/v1";
inline constexpr uint64_t kMaxLeaseAheadMs = 330000;
inline constexpr uint64_t kMaxTicketLifetimeS = 120;
inline constexpr uint64_t kClockSkewAllowanceS = 30;

// The domain string, one zero byte, then the payload exactly as received.
Bytes signed_message(std::span<const uint8_t> payload);

enum class SignatureVerdict {
  kValid,
  kKeyNotAPoint,        // A does not decode to a curve point (a small-order A decodes: kInvalid)
  kBadSignatureLength,  // not 64 bytes
  kInvalid,             // S not canonical, R not a point or of small order, or the equation fails
};

// Strict cofactorless Ed25519 over `message` (the signed message, domain included).
SignatureVerdict verify_ticket_signature(std::span<const uint8_t, 32> public_key,
                                         std::span<const uint8_t> message,
                                         std::span<const uint8_t> signature);

struct TicketVerificationContext {
  std::array<uint8_t, 16> session_id{};
  std::array<uint8_t, 16> requester_device_id{};
  std::array<uint8_t, 32> requester_fingerprint{};
  std::array<uint8_t, 16> target_device_id{};
  std::array<uint8_t, 32> target_fingerprint{};
  uint64_t now = 0;
  uint32_t protocol_major = 1;
};

// Why verify_signed_ticket refused; the input host shows none of it.
struct TicketKeyMismatch {};
struct SignatureInvalid {};
using TicketError = std::variant<DecodeError, ValidationError, TicketKeyMismatch, SignatureInvalid>;

struct VerifiedTicket {
  SessionTicket ticket;
  PermissionSet permissions;
};

Result<VerifiedTicket, TicketError> verify_signed_ticket(const SignedSessionTicket& signed_ticket,
                                                         std::string_view key_id,
                                                         std::span<const uint8_t, 32> public_key,
                                                         const TicketVerificationContext& context);

Result<PermissionSet, ValidationError> check_ticket_claims(
    const SessionTicket& ticket, const TicketVerificationContext& context);

Result<void, ValidationError> check_device_binding(
    const DeviceBinding& binding, std::span<const uint8_t, 16> expected_device_id,
    std::span<const uint8_t, 32> expected_fingerprint, std::string_view label);

struct VerifiedAuthorization {
  std::string requester_name;
  std::array<uint8_t, 16> session_id{};
  std::array<uint8_t, 16> requester_device_id{};
  std::array<uint8_t, 32> requester_fingerprint{};
  uint64_t lease_end_s = 0;  // leaseExpiresAt rounded up to whole seconds
  PermissionSet permissions;
};

// leaseExpiresAt in milliseconds to whole seconds, rounded up, saturating.
uint64_t lease_end_seconds(uint64_t lease_expires_at_ms);

// check_start, then the ticket; the failure is one of the first four words.
Result<VerifiedAuthorization, AuthorizationFailure> verify_authorization(const Start& start,
                                                                         const HostBinding& binding,
                                                                         uint64_t now);

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_TICKET_VERIFICATION_H_
