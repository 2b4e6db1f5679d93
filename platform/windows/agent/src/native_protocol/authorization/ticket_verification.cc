#include "native_protocol/authorization/ticket_verification.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>

namespace vornakel::native_protocol {
namespace {

template <typename Range>
bool all_zero(const Range& bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

template <typename A, typename B>
bool equal_bytes(const A& a, const B& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

bool is_printable_token(std::string_view text) {
  if (text.empty() || text.size() > 64) return false;
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x21 && c <= 0x7E; });
}

// Length, then zero, in one step each for a fixed-size field.
Result<void, ValidationError> check_fixed(const Bytes& value, size_t length, const char* name) {
  if (value.size() != length) return ValidationError::invalid_length(name, length, value.size());
  if (all_zero(value)) return ValidationError::invalid_field(name);
  return {};
}

template <size_t N>
std::array<uint8_t, N> to_array(const Bytes& bytes) {
  std::array<uint8_t, N> out{};
  std::copy_n(bytes.begin(), std::min(N, bytes.size()), out.begin());
  return out;
}

}  // namespace

Bytes signed_message(std::span<const uint8_t> payload) {
  // Sized once and filled in place: the domain, its zero byte (already there), the payload.
  Bytes message(kTicketSignatureDomain.size() + 1 + payload.size(), 0);
  std::memcpy(message.data(), kTicketSignatureDomain.data(), kTicketSignatureDomain.size());
  if (!payload.empty()) {
    std::memcpy(message.data() + kTicketSignatureDomain.size() + 1, payload.data(), payload.size());
  }
  return message;
}

namespace {

// The y-coordinate (sign bit cleared) is at least p = 2^255 - 19: only 19 encodings, all of them
// y = p + k with the low byte 0xed + k.
bool y_is_reduced(std::span<const uint8_t, 32> encoded) {
  if ((encoded[31] & 0x7f) != 0x7f || encoded[0] < 0xed) return true;
  return !std::all_of(encoded.begin() + 1, encoded.begin() + 31,
                      [](uint8_t b) { return b == 0xff; });
}

// y = 1 or y = p - 1, the two points whose x is 0.
bool x_is_zero(std::span<const uint8_t, 32> encoded) {
  const bool middle_zero =
      std::all_of(encoded.begin() + 1, encoded.begin() + 31, [](uint8_t b) { return b == 0; });
  const bool middle_ones =
      std::all_of(encoded.begin() + 1, encoded.begin() + 31, [](uint8_t b) { return b == 0xff; });
  return (encoded[0] == 0x01 && middle_zero && (encoded[31] & 0x7f) == 0) ||
         (encoded[0] == 0xec && middle_ones && (encoded[31] & 0x7f) == 0x7f);
}

// "Does A decode": is_valid_point would also refuse keys outside the prime-order subgroup, which
// the strict rule accepts. Point addition decodes both operands and checks nothing more; it also
// reduces a y of p or more and ignores the sign of a zero x, both of which a decoder must refuse.
bool key_decodes(std::span<const uint8_t, 32> public_key) {
  if (!y_is_reduced(public_key)) return false;
  if (x_is_zero(public_key) && (public_key[31] & 0x80) != 0) return false;
  std::array<uint8_t, crypto_core_ed25519_BYTES> sum{};
  return crypto_core_ed25519_add(sum.data(), public_key.data(), public_key.data()) == 0;
}

}  // namespace

SignatureVerdict verify_ticket_signature(std::span<const uint8_t, 32> public_key,
                                         std::span<const uint8_t> message,
                                         std::span<const uint8_t> signature) {
  [[maybe_unused]] static const int sodium_ready = sodium_init();
  if (signature.size() != crypto_sign_BYTES) {
    return key_decodes(public_key) ? SignatureVerdict::kBadSignatureLength
                                   : SignatureVerdict::kKeyNotAPoint;
  }
  // libsodium's verifier is the strict cofactorless one: canonical S, canonical non-small-order A
  // and R, and an exact comparison of the recomputed R. It refuses a key that does not decode as
  // well, so the separate decoding (two more point decompressions) runs only to name a failure.
  if (crypto_sign_verify_detached(signature.data(), message.data(), message.size(),
                                  public_key.data()) != 0) {
    return key_decodes(public_key) ? SignatureVerdict::kInvalid : SignatureVerdict::kKeyNotAPoint;
  }
  return SignatureVerdict::kValid;
}

Result<void, ValidationError> check_device_binding(
    const DeviceBinding& binding, std::span<const uint8_t, 16> expected_device_id,
    std::span<const uint8_t, 32> expected_fingerprint, std::string_view label) {
  if (binding.device_id.size() != 16) {
    return ValidationError::invalid_length("device_id", 16, binding.device_id.size());
  }
  if (binding.identity_key_fingerprint_sha256.size() != 32) {
    return ValidationError::invalid_length("identity_key_fingerprint_sha256", 32,
                                           binding.identity_key_fingerprint_sha256.size());
  }
  if (!equal_bytes(binding.device_id, expected_device_id) ||
      !equal_bytes(binding.identity_key_fingerprint_sha256, expected_fingerprint)) {
    return ValidationError::binding_mismatch(std::string(label));
  }
  if (all_zero(binding.device_id)) return ValidationError::invalid_field("device_id");
  if (all_zero(binding.identity_key_fingerprint_sha256)) {
    return ValidationError::invalid_field("identity_key_fingerprint_sha256");
  }
  return {};
}

Result<PermissionSet, ValidationError> check_ticket_claims(
    const SessionTicket& ticket, const TicketVerificationContext& context) {
  if (ticket.session_id.size() != 16) {
    return ValidationError::invalid_length("session_id", 16, ticket.session_id.size());
  }
  if (all_zero(ticket.session_id)) return ValidationError::invalid_field("session_id");
  if (!equal_bytes(ticket.session_id, context.session_id)) {
    return ValidationError::binding_mismatch("session_id");
  }
  if (!ticket.requester) return ValidationError::missing("requester");
  if (!ticket.target) return ValidationError::missing("target");
  VK_RETURN_IF_ERROR(check_device_binding(*ticket.requester, context.requester_device_id,
                                          context.requester_fingerprint, "requester"));
  VK_RETURN_IF_ERROR(check_device_binding(*ticket.target, context.target_device_id,
                                          context.target_fingerprint, "target"));
  if (ticket.requester->device_id == ticket.target->device_id) {
    return ValidationError::invalid_field("requester/target device");
  }
  if (ticket.role < 1 || ticket.role > 3) return ValidationError::invalid_field("role");
  if (ticket.approval_mode < 1 || ticket.approval_mode > 2) {
    return ValidationError::invalid_field("approval_mode");
  }
  if (ticket.protocol_major != 1 || context.protocol_major != 1) {
    return ValidationError::binding_mismatch("protocol_major");
  }
  if (!(ticket.issued_at_unix_s < ticket.expires_at_unix_s) ||
      ticket.expires_at_unix_s - ticket.issued_at_unix_s > kMaxTicketLifetimeS) {
    return ValidationError::ticket_lifetime();
  }
  if (!(context.now < ticket.expires_at_unix_s)) return ValidationError::ticket_expired();
  const uint64_t latest_issue = context.now > UINT64_MAX - kClockSkewAllowanceS
                                    ? UINT64_MAX
                                    : context.now + kClockSkewAllowanceS;
  if (ticket.issued_at_unix_s > latest_issue) return ValidationError::ticket_from_future();
  VK_RETURN_IF_ERROR(check_fixed(ticket.nonce, 32, "nonce"));
  VK_RETURN_IF_ERROR(check_fixed(ticket.requester_dtls_fingerprint_sha256, 32,
                                 "requester_dtls_fingerprint_sha256"));
  VK_RETURN_IF_ERROR(
      check_fixed(ticket.target_dtls_fingerprint_sha256, 32, "target_dtls_fingerprint_sha256"));
  if (ticket.display_id.size() > 128) return ValidationError::limit_exceeded("display_id", 128);
  if (!is_printable_token(ticket.signing_key_id)) {
    return ValidationError::invalid_field("signing_key_id");
  }
  if (ticket.entitlements.size() > 32) return ValidationError::limit_exceeded("entitlements", 32);
  for (size_t i = 0; i < ticket.entitlements.size(); ++i) {
    if (!is_printable_token(ticket.entitlements[i])) {
      return ValidationError::invalid_field("entitlement");
    }
    // std::string compares bytes as unsigned char, a prefix ordering first.
    if (i > 0 && !(ticket.entitlements[i - 1] < ticket.entitlements[i])) {
      return ValidationError::invalid_field("entitlement order");
    }
  }
  auto permissions = permission_set_from_wire(ticket.permissions);
  if (!permissions.ok()) return ValidationError::permission(permissions.error());
  return permissions.value();
}

namespace {

size_t varint_size(size_t value) {
  size_t size = 1;
  for (; value >= 0x80; value >>= 7) ++size;
  return size;
}

// The canonical size of a SignedSessionTicket with these two fields, without encoding it.
size_t signed_ticket_size(const SignedSessionTicket& signed_ticket) {
  size_t size = 0;
  for (const Bytes* field : {&signed_ticket.ticket, &signed_ticket.signature}) {
    if (!field->empty()) size += 1 + varint_size(field->size()) + field->size();
  }
  return size;
}

Result<void, TicketError> check_ticket_sizes(const SignedSessionTicket& signed_ticket) {
  if (signed_ticket_size(signed_ticket) > kTicketSizeLimit) {
    return TicketError(ValidationError::limit_exceeded("signed ticket", kTicketSizeLimit));
  }
  if (signed_ticket.ticket.size() > kTicketSizeLimit) {
    return TicketError(ValidationError::limit_exceeded("ticket payload", kTicketSizeLimit));
  }
  return {};
}

// The checks after the payload has been decoded; verify_authorization has decoded it already.
Result<VerifiedTicket, TicketError> verify_decoded_ticket(
    const SignedSessionTicket& signed_ticket, SessionTicket ticket, std::string_view key_id,
    std::span<const uint8_t, 32> public_key, const TicketVerificationContext& context) {
  if (key_id != ticket.signing_key_id) return TicketError(TicketKeyMismatch{});
  if (!is_printable_token(key_id)) return TicketError(ValidationError::invalid_field("key ID"));
  switch (verify_ticket_signature(public_key, signed_message(signed_ticket.ticket),
                                  signed_ticket.signature)) {
    case SignatureVerdict::kValid:
      break;
    case SignatureVerdict::kKeyNotAPoint:
      return TicketError(ValidationError::invalid_field("ticket public key"));
    case SignatureVerdict::kBadSignatureLength:
      return TicketError(ValidationError::invalid_field("ticket signature"));
    case SignatureVerdict::kInvalid:
      return TicketError(SignatureInvalid{});
  }
  auto permissions = check_ticket_claims(ticket, context);
  if (!permissions.ok()) return TicketError(permissions.take_error());
  return VerifiedTicket{std::move(ticket), permissions.value()};
}

}  // namespace

Result<VerifiedTicket, TicketError> verify_signed_ticket(const SignedSessionTicket& signed_ticket,
                                                         std::string_view key_id,
                                                         std::span<const uint8_t, 32> public_key,
                                                         const TicketVerificationContext& context) {
  VK_RETURN_IF_ERROR(check_ticket_sizes(signed_ticket));
  auto decoded = decode_session_ticket(signed_ticket.ticket, kTicketSizeLimit);
  if (!decoded.ok()) return TicketError(decoded.take_error());
  return verify_decoded_ticket(signed_ticket, std::move(decoded).value(), key_id, public_key,
                               context);
}

uint64_t lease_end_seconds(uint64_t lease_expires_at_ms) {
  const uint64_t rounded =
      lease_expires_at_ms > UINT64_MAX - 999 ? UINT64_MAX : lease_expires_at_ms + 999;
  return rounded / 1000;
}

Result<VerifiedAuthorization, AuthorizationFailure> verify_authorization(const Start& start,
                                                                         const HostBinding& binding,
                                                                         uint64_t now) {
  VK_RETURN_IF_ERROR(check_start(start, now));
  constexpr auto kInvalidTicket = AuthorizationFailure::kInvalidSignedTicket;
  auto signed_bytes = decode_canonical_base64url(start.signed_ticket, kTicketSizeLimit);
  if (!signed_bytes.ok()) return kInvalidTicket;
  auto signed_ticket = decode_signed_ticket(signed_bytes.value(), kTicketSizeLimit);
  if (!signed_ticket.ok()) return kInvalidTicket;
  auto ticket = decode_session_ticket(signed_ticket.value().ticket, kTicketSizeLimit);
  if (!ticket.ok()) return kInvalidTicket;
  const auto& requester = ticket.value().requester;
  if (!requester || requester->device_id.size() != 16 ||
      requester->identity_key_fingerprint_sha256.size() != 32) {
    return kInvalidTicket;
  }
  auto key = decode_canonical_base64url(start.ticket_key.public_key, crypto_sign_PUBLICKEYBYTES);
  if (!key.ok()) return kInvalidTicket;
  if (key.value().size() < crypto_sign_PUBLICKEYBYTES) {
    return AuthorizationFailure::kInvalidTicketKey;
  }

  TicketVerificationContext context;
  // check_start has already accepted the text.
  context.session_id = parse_canonical_uuid(start.session_id).value_or(Uuid{});
  context.requester_device_id = to_array<16>(requester->device_id);
  context.requester_fingerprint = to_array<32>(requester->identity_key_fingerprint_sha256);
  context.target_device_id = binding.device_id;
  context.target_fingerprint = binding.fingerprint;
  context.now = now;
  context.protocol_major = 1;

  const auto public_key = to_array<32>(key.value());
  // The payload decoded in step 3 is exactly what verify_signed_ticket would decode again.
  if (!check_ticket_sizes(signed_ticket.value()).ok()) return kInvalidTicket;
  auto verified = verify_decoded_ticket(signed_ticket.value(), std::move(ticket).value(),
                                        start.ticket_key.key_id, public_key, context);
  if (!verified.ok()) return kInvalidTicket;

  const std::vector<Permission> granted =
      permission_values_from_wire(verified.value().ticket.permissions);
  if (granted != start.permissions) return AuthorizationFailure::kPermissionMismatch;
  if (!contains(verified.value().permissions, Permission::kViewScreen)) {
    return AuthorizationFailure::kPermissionMismatch;
  }

  VerifiedAuthorization authorization;
  authorization.requester_name = start.requester_name;
  authorization.session_id = context.session_id;
  authorization.requester_device_id = context.requester_device_id;
  authorization.requester_fingerprint = context.requester_fingerprint;
  authorization.lease_end_s = lease_end_seconds(start.lease_expires_at_ms);
  authorization.permissions = verified.value().permissions;
  return authorization;
}

}  // namespace vornakel::native_protocol
