#include "ticket_issuer.h"

#include <sodium.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "native_protocol/authorization/ticket_verification.h"

namespace vornakel::ticket_issuer {
namespace {

using native_protocol::DeviceBinding;
using native_protocol::encode_base64url;
using native_protocol::format_uuid;

struct BreakageName {
  Breakage breakage;
  std::string_view name;
};

constexpr BreakageName kBreakages[] = {
    {Breakage::kNone, "none"},
    {Breakage::kBadSignature, "bad-signature"},
    {Breakage::kNoDomain, "no-domain"},
    {Breakage::kSPlusL, "s-plus-l"},
    {Breakage::kWrongSession, "wrong-session"},
    {Breakage::kWrongTarget, "wrong-target"},
    {Breakage::kWrongTargetFingerprint, "wrong-target-fingerprint"},
    {Breakage::kSameDevice, "same-device"},
    {Breakage::kExpired, "expired"},
    {Breakage::kFutureIssuedAt, "future-issued-at"},
    {Breakage::kLongLifetime, "long-lifetime"},
    {Breakage::kPermissionOrder, "permission-order"},
    {Breakage::kMissingViewScreen, "missing-view-screen"},
    {Breakage::kNonCanonical, "non-canonical"},
    {Breakage::kUnknownField, "unknown-field"},
    {Breakage::kUnknownOuterField, "unknown-outer-field"},
    {Breakage::kKeyIdMismatch, "key-id-mismatch"},
    {Breakage::kSmallOrderKey, "small-order-key"},
    {Breakage::kShortKey, "short-key"},
    {Breakage::kLongKey, "long-key"},
    {Breakage::kProtocolMajor, "protocol-major"},
    {Breakage::kLeaseTooLong, "lease-too-long"},
    {Breakage::kOversized, "oversized"},
};

// The group order L, little-endian.
constexpr std::array<uint8_t, 32> kGroupOrder = {
    0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58, 0xd6, 0x9c, 0xf7, 0xa2, 0xde, 0xf9, 0xde, 0x14,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10};

Bytes to_bytes(std::span<const uint8_t> bytes) { return Bytes(bytes.begin(), bytes.end()); }

template <size_t N>
std::array<uint8_t, N> derive(std::span<const uint8_t> seed, std::string_view label) {
  // Deterministic filler bytes: the same options always give the same ticket.
  std::array<uint8_t, crypto_generichash_BYTES_MAX> digest{};
  crypto_generichash(digest.data(), digest.size(), reinterpret_cast<const uint8_t*>(label.data()),
                     label.size(), seed.data(), seed.size());
  std::array<uint8_t, N> out{};
  std::copy_n(digest.begin(), N, out.begin());
  return out;
}

void append_varint(Bytes& out, uint64_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<uint8_t>(value | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<uint8_t>(value));
}

// Rewrites the packed permissions record (key 42) as one varint record (key 40) per value.
Bytes unpack_permissions(const SessionTicket& ticket) {
  SessionTicket without = ticket;
  without.permissions.clear();
  Bytes encoded = native_protocol::encode_session_ticket(without).value();
  // Field 5 follows fields 1 to 4; find where field 6 or later starts by encoding a prefix ticket.
  SessionTicket prefix;
  prefix.session_id = ticket.session_id;
  prefix.requester = ticket.requester;
  prefix.target = ticket.target;
  prefix.role = ticket.role;
  const size_t split = native_protocol::encode_session_ticket(prefix).value().size();
  Bytes out(encoded.begin(), encoded.begin() + static_cast<std::ptrdiff_t>(split));
  for (int32_t value : ticket.permissions) {
    out.push_back(40);
    append_varint(out, static_cast<uint64_t>(static_cast<int64_t>(value)));
  }
  out.insert(out.end(), encoded.begin() + static_cast<std::ptrdiff_t>(split), encoded.end());
  return out;
}

void append_unknown_field(Bytes& bytes) {
  bytes.push_back(static_cast<uint8_t>(0x98));  // field 99, varint: key 792
  bytes.push_back(0x06);
  bytes.push_back(0x01);
}

}  // namespace

KeyPair key_pair_from_seed(std::span<const uint8_t, 32> seed) {
  KeyPair key;
  crypto_sign_seed_keypair(key.public_key.data(), key.secret_key.data(), seed.data());
  return key;
}

Bytes sign(const KeyPair& key, std::span<const uint8_t> message) {
  Bytes signature(crypto_sign_BYTES);
  crypto_sign_detached(signature.data(), nullptr, message.data(), message.size(),
                       key.secret_key.data());
  return signature;
}

std::string start_line(const StartDraft& draft) {
  nlohmann::ordered_json record;
  record["sessionId"] = draft.session_id;
  record["requesterName"] = draft.requester_name;
  record["permissions"] = draft.permissions;
  record["leaseExpiresAt"] = draft.lease_expires_at;
  record["signedTicket"] = draft.signed_ticket;
  record["ticketKey"] = {{"keyId", draft.key_id},
                         {"algorithm", draft.algorithm},
                         {"publicKey", draft.public_key},
                         {"encoding", draft.encoding}};
  record["targetDeviceId"] = draft.target_device_id;
  record["targetFingerprint"] = draft.target_fingerprint;
  return record.dump() + "\n";
}

std::optional<Breakage> parse_breakage(std::string_view name) {
  for (const auto& entry : kBreakages) {
    if (entry.name == name) return entry.breakage;
  }
  return std::nullopt;
}

std::string_view breakage_name(Breakage breakage) {
  for (const auto& entry : kBreakages) {
    if (entry.breakage == breakage) return entry.name;
  }
  return {};
}

std::vector<Breakage> all_breakages() {
  std::vector<Breakage> out;
  for (const auto& entry : kBreakages) out.push_back(entry.breakage);
  return out;
}

IssueOptions default_options(uint64_t now) {
  IssueOptions options;
  for (size_t i = 0; i < options.seed.size(); ++i) options.seed[i] = static_cast<uint8_t>(i + 1);
  options.now = now;
  options.session_id =
      *native_protocol::parse_canonical_uuid("0d5f3c2a-6b1e-4c7d-9a8b-1f2e3d4c5b6a");
  options.requester_device_id =
      *native_protocol::parse_canonical_uuid("7a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d");
  options.target_device_id =
      *native_protocol::parse_canonical_uuid("3f2e1d0c-9b8a-4765-b432-10fedcba9876");
  options.requester_fingerprint = derive<32>(options.seed, "requester identity");
  options.target_fingerprint = derive<32>(options.seed, "target identity");
  return options;
}

SessionTicket ticket_for(const IssueOptions& options) {
  SessionTicket ticket;
  ticket.session_id = to_bytes(options.session_id);
  ticket.requester =
      DeviceBinding{to_bytes(options.requester_device_id), to_bytes(options.requester_fingerprint)};
  ticket.target =
      DeviceBinding{to_bytes(options.target_device_id), to_bytes(options.target_fingerprint)};
  ticket.role = options.role;
  for (Permission permission : options.permissions) {
    ticket.permissions.push_back(static_cast<int32_t>(permission) + 1);
  }
  ticket.entitlements = options.entitlements;
  ticket.display_id = options.display_id;
  ticket.approval_mode = options.approval_mode;
  ticket.issued_at_unix_s =
      static_cast<uint64_t>(static_cast<int64_t>(options.now) + options.issued_offset_s);
  ticket.expires_at_unix_s = ticket.issued_at_unix_s + options.lifetime_s;
  std::array<uint8_t, 16 + 32> nonce_input{};
  std::copy(options.session_id.begin(), options.session_id.end(), nonce_input.begin());
  std::copy(options.seed.begin(), options.seed.end(), nonce_input.begin() + 16);
  ticket.nonce = to_bytes(derive<32>(nonce_input, "nonce"));
  ticket.protocol_major = 1;
  ticket.signing_key_id = options.key_id;
  ticket.requester_dtls_fingerprint_sha256 = to_bytes(derive<32>(options.seed, "requester dtls"));
  ticket.target_dtls_fingerprint_sha256 = to_bytes(derive<32>(options.seed, "target dtls"));
  return ticket;
}

Bytes sign_and_wrap(const KeyPair& key, const Bytes& payload) {
  native_protocol::SignedSessionTicket signed_ticket{
      payload, sign(key, native_protocol::signed_message(payload))};
  return native_protocol::encode_signed_ticket(signed_ticket).value();
}

Result<Issued, std::string> issue(const IssueOptions& input) {
  IssueOptions options = input;
  Uuid record_session = options.session_id;
  Uuid record_target = options.target_device_id;
  std::array<uint8_t, 32> record_fingerprint = options.target_fingerprint;
  std::vector<Permission> record_permissions = options.permissions;
  std::string record_key_id = options.key_id;
  uint64_t lease_ahead_ms = options.lease_ahead_ms;

  switch (options.breakage) {
    case Breakage::kWrongSession:
      options.session_id[15] ^= 0x01;
      break;
    case Breakage::kWrongTarget:
      options.target_device_id[15] ^= 0x01;
      break;
    case Breakage::kWrongTargetFingerprint:
      options.target_fingerprint[0] ^= 0x01;
      break;
    case Breakage::kSameDevice:
      options.requester_device_id = options.target_device_id;
      break;
    case Breakage::kExpired:
      options.issued_offset_s = -static_cast<int64_t>(options.lifetime_s) - 1;
      break;
    case Breakage::kFutureIssuedAt:
      options.issued_offset_s = 90;
      break;
    case Breakage::kLongLifetime:
      options.lifetime_s = 121;
      break;
    case Breakage::kPermissionOrder:
      if (record_permissions.size() < 2)
        return std::string("permission-order needs two permissions");
      std::reverse(record_permissions.begin(), record_permissions.end());
      break;
    case Breakage::kMissingViewScreen:
      std::erase(options.permissions, Permission::kViewScreen);
      if (options.permissions.empty()) options.permissions.push_back(Permission::kSendPointer);
      record_permissions = options.permissions;
      break;
    case Breakage::kKeyIdMismatch:
      record_key_id += "-other";
      break;
    case Breakage::kProtocolMajor:
      break;  // applied to the ticket below
    case Breakage::kLeaseTooLong:
      lease_ahead_ms = 390000;
      break;
    default:
      break;
  }

  SessionTicket ticket = ticket_for(options);
  if (options.breakage == Breakage::kProtocolMajor) ticket.protocol_major = 2;
  if (options.breakage == Breakage::kOversized) {
    // Grow display_id until the signed ticket is exactly one byte over the bound.
    for (size_t length = 0; length < native_protocol::kTicketSizeLimit; ++length) {
      ticket.display_id.assign(length, 'x');
      auto payload = native_protocol::encode_session_ticket(ticket);
      if (!payload.ok()) break;
      if (payload.value().size() + 69 == native_protocol::kTicketSizeLimit + 1) break;
    }
  }
  auto encoded = native_protocol::encode_session_ticket(ticket);
  if (!encoded.ok()) return "ticket does not fit its limits: " + encoded.error().text();
  Bytes payload = std::move(encoded).value();
  if (options.breakage == Breakage::kNonCanonical) payload = unpack_permissions(ticket);
  if (options.breakage == Breakage::kUnknownField) append_unknown_field(payload);
  if (payload.size() > native_protocol::kTicketSizeLimit) {
    return std::string("ticket payload exceeds 4096 bytes");
  }

  const KeyPair key = key_pair_from_seed(options.seed);
  Bytes signature = options.breakage == Breakage::kNoDomain
                        ? sign(key, payload)
                        : sign(key, native_protocol::signed_message(payload));
  if (options.breakage == Breakage::kBadSignature) signature[10] ^= 0x01;
  if (options.breakage == Breakage::kSPlusL) {
    unsigned carry = 0;
    for (size_t i = 0; i < 32; ++i) {
      const unsigned sum = signature[32 + i] + kGroupOrder[i] + carry;
      signature[32 + i] = static_cast<uint8_t>(sum);
      carry = sum >> 8;
    }
  }
  auto wrapped = native_protocol::encode_signed_ticket({payload, signature});
  if (!wrapped.ok()) return "signed ticket does not fit: " + wrapped.error().text();
  Bytes signed_ticket = std::move(wrapped).value();
  if (options.breakage == Breakage::kUnknownOuterField) append_unknown_field(signed_ticket);

  Bytes public_key = to_bytes(key.public_key);
  switch (options.breakage) {
    case Breakage::kSmallOrderKey:
      public_key.assign(32, 0);
      public_key[0] = 1;  // the identity point
      break;
    case Breakage::kShortKey:
      public_key.resize(31);
      break;
    case Breakage::kLongKey:
      public_key.push_back(0);
      break;
    default:
      break;
  }

  Issued issued;
  issued.ticket = ticket;
  issued.payload = payload;
  issued.signed_ticket = signed_ticket;
  StartDraft& start = issued.start;
  start.session_id = format_uuid(record_session);
  start.requester_name = options.requester_name;
  for (Permission permission : record_permissions) {
    start.permissions.emplace_back(native_protocol::permission_name(permission));
  }
  start.lease_expires_at = options.now * 1000 + lease_ahead_ms;
  start.signed_ticket = encode_base64url(signed_ticket);
  start.key_id = record_key_id;
  start.public_key = encode_base64url(public_key);
  start.target_device_id = format_uuid(record_target);
  start.target_fingerprint = encode_base64url(record_fingerprint);
  return issued;
}

}  // namespace vornakel::ticket_issuer
