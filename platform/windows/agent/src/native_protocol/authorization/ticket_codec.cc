#include "native_protocol/authorization/ticket_codec.h"

#include <pb_decode.h>
#include <pb_encode.h>

#include <algorithm>
#include <memory>

#include "common/utf16.h"
#include "ticket.pb.h"

namespace vornakel::native_protocol {
namespace {

// Every bytes field and string of the generated messages has room for this many bytes.
constexpr size_t kFieldCapacity = 4096;

using PbDeviceBinding = vornakel_ticket_DeviceBinding;
using PbSessionTicket = vornakel_ticket_SessionTicket;
using PbSignedSessionTicket = vornakel_ticket_SignedSessionTicket;

bool decode_permission(pb_istream_t* stream, const pb_field_t*, void** arg) {
  uint64_t raw = 0;
  if (!pb_decode_varint(stream, &raw)) return false;
  // Enumerations are 32-bit on the wire's receiving side: the high bits are dropped, and a value
  // that was not written canonically shows up when the ticket is re-encoded.
  static_cast<std::vector<int32_t>*>(*arg)->push_back(static_cast<int32_t>(raw & 0xFFFFFFFFu));
  return true;
}

// Reads one length-delimited text. Any Unicode scalar value is text, NUL and noncharacters
// included; only malformed UTF-8 is a decoding error.
bool read_text(pb_istream_t* stream, std::string& text) {
  text.assign(stream->bytes_left, '\0');
  if (!pb_read(stream, reinterpret_cast<pb_byte_t*>(text.data()), text.size())) return false;
  const bool ascii = std::all_of(text.begin(), text.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (!ascii && !utf8_to_utf16(text)) {
#ifndef PB_NO_ERRMSG
    stream->errmsg = "invalid utf8";
#endif
    return false;
  }
  return true;
}

bool decode_entitlement(pb_istream_t* stream, const pb_field_t*, void** arg) {
  std::string text;
  if (!read_text(stream, text)) return false;
  static_cast<std::vector<std::string>*>(*arg)->push_back(std::move(text));
  return true;
}

// A string field that occurs twice keeps the last value; the re-encoding then differs from the
// input, which the canonical check refuses.
bool decode_string(pb_istream_t* stream, const pb_field_t*, void** arg) {
  return read_text(stream, *static_cast<std::string*>(*arg));
}

bool encode_string(pb_ostream_t* stream, const pb_field_t* field, void* const* arg) {
  const auto& text = *static_cast<const std::string*>(*arg);
  // proto3: the empty default is absent.
  if (text.empty()) return true;
  return pb_encode_tag_for_field(stream, field) &&
         pb_encode_string(stream, reinterpret_cast<const pb_byte_t*>(text.data()), text.size());
}

bool encode_permissions(pb_ostream_t* stream, const pb_field_t* field, void* const* arg) {
  const auto& values = *static_cast<const std::vector<int32_t>*>(*arg);
  if (values.empty()) return true;
  // Each value is a sign-extended 64-bit varint: at most 10 bytes.
  std::vector<pb_byte_t> packed(values.size() * 10);
  pb_ostream_t inner = pb_ostream_from_buffer(packed.data(), packed.size());
  for (int32_t value : values) {
    if (!pb_encode_varint(&inner, static_cast<uint64_t>(static_cast<int64_t>(value)))) return false;
  }
  // One packed record: the tag carries the length-delimited wire type, not the varint one.
  return pb_encode_tag(stream, PB_WT_STRING, field->tag) &&
         pb_encode_string(stream, packed.data(), inner.bytes_written);
}

bool encode_entitlements(pb_ostream_t* stream, const pb_field_t* field, void* const* arg) {
  for (const std::string& entry : *static_cast<const std::vector<std::string>*>(*arg)) {
    if (!pb_encode_tag_for_field(stream, field) ||
        !pb_encode_string(stream, reinterpret_cast<const pb_byte_t*>(entry.data()), entry.size())) {
      return false;
    }
  }
  return true;
}

template <typename PbBytes>
Bytes from_pb(const PbBytes& field) {
  return Bytes(field.bytes, field.bytes + field.size);
}

template <typename PbBytes>
bool to_pb(const Bytes& value, PbBytes& field) {
  if (value.size() > sizeof(field.bytes)) return false;
  field.size = static_cast<pb_size_t>(value.size());
  std::copy(value.begin(), value.end(), field.bytes);
  return true;
}

DeviceBinding from_pb(const PbDeviceBinding& binding) {
  return DeviceBinding{from_pb(binding.device_id),
                       from_pb(binding.identity_key_fingerprint_sha256)};
}

bool to_pb(const DeviceBinding& binding, PbDeviceBinding& out) {
  return to_pb(binding.device_id, out.device_id) &&
         to_pb(binding.identity_key_fingerprint_sha256, out.identity_key_fingerprint_sha256);
}

std::string stream_error(const pb_istream_t& stream) {
  const char* text = PB_GET_ERROR(&stream);
  return text != nullptr ? text : "decoding failed";
}

Result<Bytes, DecodeError> encode_message(const pb_msgdesc_t* fields, const void* message) {
  size_t size = 0;
  if (!pb_get_encoded_size(&size, fields, message)) {
    return DecodeError::protobuf("encoding failed");
  }
  Bytes out(size);
  pb_ostream_t stream = pb_ostream_from_buffer(out.data(), out.size());
  if (!pb_encode(&stream, fields, message)) {
    return DecodeError::protobuf(PB_GET_ERROR(&stream));
  }
  out.resize(stream.bytes_written);
  return out;
}

// Re-encodes a decoded message into a buffer of the input's size: anything that does not fit, or
// differs, was not the canonical encoding.
bool reencodes_to(const pb_msgdesc_t* fields, const void* message, std::span<const uint8_t> input) {
  Bytes buffer(input.size());
  pb_ostream_t stream = pb_ostream_from_buffer(buffer.data(), buffer.size());
  if (!pb_encode(&stream, fields, message)) return false;
  return stream.bytes_written == input.size() &&
         std::equal(buffer.begin(), buffer.end(), input.begin());
}

}  // namespace

std::string DecodeError::text() const {
  switch (kind_) {
    case Kind::kTooLarge:
      return "message of " + std::to_string(actual_) + " bytes exceeds limit " +
             std::to_string(limit_);
    case Kind::kNotCanonical:
      return "message is not canonically encoded";
    case Kind::kProtobuf:
      return "protobuf decoding failed: " + detail_;
  }
  return {};
}

Result<SignedSessionTicket, DecodeError> decode_signed_ticket(std::span<const uint8_t> bytes,
                                                              size_t limit) {
  if (bytes.size() > limit) return DecodeError::too_large(bytes.size(), limit);
  auto message = std::make_unique<PbSignedSessionTicket>();
  pb_istream_t stream = pb_istream_from_buffer(bytes.data(), bytes.size());
  if (!pb_decode(&stream, vornakel_ticket_SignedSessionTicket_fields, message.get())) {
    return DecodeError::protobuf(stream_error(stream));
  }
  if (!reencodes_to(vornakel_ticket_SignedSessionTicket_fields, message.get(), bytes)) {
    return DecodeError::not_canonical();
  }
  return SignedSessionTicket{from_pb(message->ticket), from_pb(message->signature)};
}

Result<SessionTicket, DecodeError> decode_session_ticket(std::span<const uint8_t> bytes,
                                                         size_t limit) {
  if (bytes.size() > limit) return DecodeError::too_large(bytes.size(), limit);
  SessionTicket ticket;
  auto message = std::make_unique<PbSessionTicket>();
  message->permissions.funcs.decode = &decode_permission;
  message->permissions.arg = &ticket.permissions;
  message->entitlements.funcs.decode = &decode_entitlement;
  message->entitlements.arg = &ticket.entitlements;
  message->display_id.funcs.decode = &decode_string;
  message->display_id.arg = &ticket.display_id;
  message->signing_key_id.funcs.decode = &decode_string;
  message->signing_key_id.arg = &ticket.signing_key_id;
  pb_istream_t stream = pb_istream_from_buffer(bytes.data(), bytes.size());
  if (!pb_decode(&stream, vornakel_ticket_SessionTicket_fields, message.get())) {
    return DecodeError::protobuf(stream_error(stream));
  }
  ticket.session_id = from_pb(message->session_id);
  if (message->has_requester) ticket.requester = from_pb(message->requester);
  if (message->has_target) ticket.target = from_pb(message->target);
  ticket.role = message->role;
  ticket.approval_mode = message->approval_mode;
  ticket.issued_at_unix_s = message->issued_at_unix_s;
  ticket.expires_at_unix_s = message->expires_at_unix_s;
  ticket.nonce = from_pb(message->nonce);
  ticket.protocol_major = message->protocol_major;
  ticket.requester_dtls_fingerprint_sha256 = from_pb(message->requester_dtls_fingerprint_sha256);
  ticket.target_dtls_fingerprint_sha256 = from_pb(message->target_dtls_fingerprint_sha256);
  // The callbacks switch to encoding over the lists they have just filled.
  message->permissions.funcs.encode = &encode_permissions;
  message->entitlements.funcs.encode = &encode_entitlements;
  message->display_id.funcs.encode = &encode_string;
  message->signing_key_id.funcs.encode = &encode_string;
  if (!reencodes_to(vornakel_ticket_SessionTicket_fields, message.get(), bytes)) {
    return DecodeError::not_canonical();
  }
  return ticket;
}

Result<Bytes, DecodeError> encode_signed_ticket(const SignedSessionTicket& ticket) {
  auto message = std::make_unique<PbSignedSessionTicket>();
  if (!to_pb(ticket.ticket, message->ticket) || !to_pb(ticket.signature, message->signature)) {
    return DecodeError::too_large(std::max(ticket.ticket.size(), ticket.signature.size()),
                                  kFieldCapacity);
  }
  return encode_message(vornakel_ticket_SignedSessionTicket_fields, message.get());
}

Result<Bytes, DecodeError> encode_session_ticket(const SessionTicket& ticket) {
  auto message = std::make_unique<PbSessionTicket>();
  bool fits =
      to_pb(ticket.session_id, message->session_id) && to_pb(ticket.nonce, message->nonce) &&
      to_pb(ticket.requester_dtls_fingerprint_sha256, message->requester_dtls_fingerprint_sha256) &&
      to_pb(ticket.target_dtls_fingerprint_sha256, message->target_dtls_fingerprint_sha256);
  if (ticket.requester) {
    message->has_requester = true;
    fits = fits && to_pb(*ticket.requester, message->requester);
  }
  if (ticket.target) {
    message->has_target = true;
    fits = fits && to_pb(*ticket.target, message->target);
  }
  if (!fits) return DecodeError::protobuf("field does not fit the ticket limits");
  message->role = ticket.role;
  message->approval_mode = ticket.approval_mode;
  message->issued_at_unix_s = ticket.issued_at_unix_s;
  message->expires_at_unix_s = ticket.expires_at_unix_s;
  message->protocol_major = ticket.protocol_major;
  message->permissions.funcs.encode = &encode_permissions;
  message->permissions.arg = const_cast<std::vector<int32_t>*>(&ticket.permissions);
  message->entitlements.funcs.encode = &encode_entitlements;
  message->entitlements.arg = const_cast<std::vector<std::string>*>(&ticket.entitlements);
  message->display_id.funcs.encode = &encode_string;
  message->display_id.arg = const_cast<std::string*>(&ticket.display_id);
  message->signing_key_id.funcs.encode = &encode_string;
  message->signing_key_id.arg = const_cast<std::string*>(&ticket.signing_key_id);
  return encode_message(vornakel_ticket_SessionTicket_fields, message.get());
}

}  // namespace vornakel::native_protocol
