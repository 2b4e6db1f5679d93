// The input host's start record and the host identity it names.
#ifndef VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_START_RECORD_H_
#define VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_START_RECORD_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "native_protocol/authorization/canonical_text.h"
#include "native_protocol/authorization/permissions.h"
#include "native_protocol/framing.h"

namespace vornakel::native_protocol {

struct TicketKeyMetadata {
  std::string key_id;      // keyId
  std::string algorithm;   // algorithm
  std::string public_key;  // publicKey
  std::string encoding;    // encoding
};

struct Start {
  std::string session_id;               // sessionId
  std::string requester_name;           // requesterName
  std::vector<Permission> permissions;  // permissions, in record order
  uint64_t lease_expires_at_ms = 0;     // leaseExpiresAt
  std::string signed_ticket;            // signedTicket
  TicketKeyMetadata ticket_key;         // ticketKey
  std::string target_device_id;         // targetDeviceId
  std::string target_fingerprint;       // targetFingerprint
};

// Strict: every member required, unknown or repeated members refused, exact JSON types, only JSON
// white space after the object. Any failure is the generic rejection.
Result<Start> parse_start(std::string_view line);

struct HostIdentity {
  std::vector<std::string> allowed_ids;
  std::string device_id;
  std::string identity_key_fingerprint;
  std::string host_name;
};

// The expected target of the ticket.
struct HostBinding {
  Uuid device_id{};
  std::array<uint8_t, 32> fingerprint{};
};

// The identity the input host checks: fixed values plus the record's target.
HostIdentity input_host_identity(const Start& start);

// Failure: kInvalidHostBinding (the input host writes no error line for it).
Result<HostBinding, AuthorizationFailure> check_host_identity(const HostIdentity& identity);

// The record's own fields; failure: kInvalidSessionStart.
Result<void, AuthorizationFailure> check_start(const Start& start, uint64_t now);

// Not blank after trimming Unicode white space, at most 128 bytes, no C0/C1 control or DEL. Shared
// by the requester name and the host name.
bool is_valid_display_name(std::string_view name);

// Empty or only Unicode white space (also true for text that is not UTF-8 at all).
bool is_blank(std::string_view text);

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_START_RECORD_H_
