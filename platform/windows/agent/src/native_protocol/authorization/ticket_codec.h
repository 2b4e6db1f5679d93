// The signed session ticket's three messages, decoded strictly: a message is accepted only when its
// bytes are exactly the canonical encoding of what they decode to.
#ifndef VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_TICKET_CODEC_H_
#define VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_TICKET_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/result.h"

namespace vornakel::native_protocol {

using Bytes = std::vector<uint8_t>;

inline constexpr size_t kTicketSizeLimit = 4096;

struct DeviceBinding {
  Bytes device_id;
  Bytes identity_key_fingerprint_sha256;
  bool operator==(const DeviceBinding&) const = default;
};

struct SessionTicket {
  Bytes session_id;
  std::optional<DeviceBinding> requester;
  std::optional<DeviceBinding> target;
  int32_t role = 0;
  std::vector<int32_t> permissions;  // wire values
  std::vector<std::string> entitlements;
  std::string display_id;
  int32_t approval_mode = 0;
  uint64_t issued_at_unix_s = 0;
  uint64_t expires_at_unix_s = 0;
  Bytes nonce;
  uint32_t protocol_major = 0;
  std::string signing_key_id;
  Bytes requester_dtls_fingerprint_sha256;
  Bytes target_dtls_fingerprint_sha256;
  bool operator==(const SessionTicket&) const = default;
};

struct SignedSessionTicket {
  Bytes ticket;  // the serialized SessionTicket, exactly as signed
  Bytes signature;
  bool operator==(const SignedSessionTicket&) const = default;
};

class DecodeError {
 public:
  enum class Kind { kTooLarge, kNotCanonical, kProtobuf };
  static DecodeError too_large(size_t actual, size_t limit) {
    return DecodeError(Kind::kTooLarge, actual, limit, {});
  }
  static DecodeError not_canonical() { return DecodeError(Kind::kNotCanonical, 0, 0, {}); }
  static DecodeError protobuf(std::string text) {
    return DecodeError(Kind::kProtobuf, 0, 0, std::move(text));
  }
  Kind kind() const { return kind_; }
  size_t actual() const { return actual_; }
  size_t limit() const { return limit_; }
  std::string text() const;

 private:
  DecodeError(Kind kind, size_t actual, size_t limit, std::string detail)
      : kind_(kind), actual_(actual), limit_(limit), detail_(std::move(detail)) {}
  Kind kind_;
  size_t actual_;
  size_t limit_;
  std::string detail_;
};

Result<SignedSessionTicket, DecodeError> decode_signed_ticket(std::span<const uint8_t> bytes,
                                                              size_t limit);
Result<SessionTicket, DecodeError> decode_session_ticket(std::span<const uint8_t> bytes,
                                                         size_t limit);

// Canonical encodings. They fail only when a value does not fit the decoder's limits (a bytes or
// string field over 4096 bytes), so anything they return decodes back to the same value.
Result<Bytes, DecodeError> encode_signed_ticket(const SignedSessionTicket& ticket);
Result<Bytes, DecodeError> encode_session_ticket(const SessionTicket& ticket);

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_TICKET_CODEC_H_
