#include "native_protocol/authorization/start_record.h"

#include <array>
#include <nlohmann/json.hpp>

#include "common/utf16.h"

namespace vornakel::native_protocol {
namespace {

using Json = nlohmann::json;

enum class Member : uint8_t {
  kNone,
  kSessionId,
  kRequesterName,
  kPermissions,
  kLeaseExpiresAt,
  kSignedTicket,
  kTicketKey,
  kTargetDeviceId,
  kTargetFingerprint,
  kKeyId,
  kAlgorithm,
  kPublicKey,
  kEncoding,
};

struct MemberName {
  std::string_view name;
  Member member;
};

constexpr std::array<MemberName, 8> kStartMembers = {{
    {"sessionId", Member::kSessionId},
    {"requesterName", Member::kRequesterName},
    {"permissions", Member::kPermissions},
    {"leaseExpiresAt", Member::kLeaseExpiresAt},
    {"signedTicket", Member::kSignedTicket},
    {"ticketKey", Member::kTicketKey},
    {"targetDeviceId", Member::kTargetDeviceId},
    {"targetFingerprint", Member::kTargetFingerprint},
}};

constexpr std::array<MemberName, 4> kKeyMembers = {{
    {"keyId", Member::kKeyId},
    {"algorithm", Member::kAlgorithm},
    {"publicKey", Member::kPublicKey},
    {"encoding", Member::kEncoding},
}};

// Accepts exactly one shape: the start object with its nested key object. Every event that does not
// fit the member awaited next stops the parse, so depth and size stay bounded by the shape itself.
class StartSax final : public nlohmann::json_sax<Json> {
 public:
  explicit StartSax(Start& start) : start_(start) {}

  bool complete() const { return done_; }

  bool null() override { return false; }
  bool boolean(bool) override { return false; }
  bool number_integer(number_integer_t) override { return false; }
  bool number_float(number_float_t, const string_t&) override { return false; }
  bool binary(binary_t&) override { return false; }

  bool number_unsigned(number_unsigned_t value) override {
    if (awaiting_ != Member::kLeaseExpiresAt) return false;
    start_.lease_expires_at_ms = value;
    awaiting_ = Member::kNone;
    return true;
  }

  bool string(string_t& value) override {
    if (in_permissions_) {
      auto permission = parse_permission_name(value);
      if (!permission) return false;
      start_.permissions.push_back(*permission);
      return true;
    }
    std::string* target = string_target(awaiting_);
    if (target == nullptr) return false;
    *target = std::move(value);
    awaiting_ = Member::kNone;
    return true;
  }

  bool start_object(std::size_t) override {
    if (depth_ == 0 && !done_) {
      depth_ = 1;
      return true;
    }
    if (depth_ == 1 && awaiting_ == Member::kTicketKey) {
      depth_ = 2;
      awaiting_ = Member::kNone;
      return true;
    }
    return false;
  }

  bool end_object() override {
    if (awaiting_ != Member::kNone || in_permissions_) return false;
    if (depth_ == 2) {
      if (key_seen_ != (1u << kKeyMembers.size()) - 1) return false;
      depth_ = 1;
      return true;
    }
    if (depth_ == 1) {
      if (start_seen_ != (1u << kStartMembers.size()) - 1) return false;
      depth_ = 0;
      done_ = true;
      return true;
    }
    return false;
  }

  bool start_array(std::size_t) override {
    if (depth_ != 1 || awaiting_ != Member::kPermissions) return false;
    in_permissions_ = true;
    return true;
  }

  bool end_array() override {
    if (!in_permissions_) return false;
    in_permissions_ = false;
    awaiting_ = Member::kNone;
    return true;
  }

  bool key(string_t& name) override {
    if (awaiting_ != Member::kNone) return false;
    if (depth_ == 1) return take_key(name, kStartMembers, start_seen_);
    if (depth_ == 2) return take_key(name, kKeyMembers, key_seen_);
    return false;
  }

  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    return false;
  }

 private:
  template <size_t N>
  bool take_key(const std::string& name, const std::array<MemberName, N>& members, uint32_t& seen) {
    for (size_t i = 0; i < N; ++i) {
      if (members[i].name != name) continue;
      const uint32_t bit = 1u << i;
      if ((seen & bit) != 0) return false;  // repeated member
      seen |= bit;
      awaiting_ = members[i].member;
      return true;
    }
    return false;  // unknown member
  }

  std::string* string_target(Member member) {
    switch (member) {
      case Member::kSessionId:
        return &start_.session_id;
      case Member::kRequesterName:
        return &start_.requester_name;
      case Member::kSignedTicket:
        return &start_.signed_ticket;
      case Member::kTargetDeviceId:
        return &start_.target_device_id;
      case Member::kTargetFingerprint:
        return &start_.target_fingerprint;
      case Member::kKeyId:
        return &start_.ticket_key.key_id;
      case Member::kAlgorithm:
        return &start_.ticket_key.algorithm;
      case Member::kPublicKey:
        return &start_.ticket_key.public_key;
      case Member::kEncoding:
        return &start_.ticket_key.encoding;
      default:
        return nullptr;
    }
  }

  Start& start_;
  Member awaiting_ = Member::kNone;
  int depth_ = 0;
  bool in_permissions_ = false;
  bool done_ = false;
  uint32_t start_seen_ = 0;
  uint32_t key_seen_ = 0;
};

// White_Space code points; all lie in the Basic Multilingual Plane.
bool is_unicode_white_space(char16_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

bool is_control(char16_t c) { return c <= 0x1F || (c >= 0x7F && c <= 0x9F); }

bool is_key_id(std::string_view key_id) {
  if (key_id.empty() || key_id.size() > 64) return false;
  for (char c : key_id) {
    if (c < 0x21 || c > 0x7E) return false;
  }
  return true;
}

}  // namespace

Result<Start> parse_start(std::string_view line) {
  // The JSON lexer takes a NUL byte for the end of its input and would ignore whatever follows.
  // No valid document contains a raw NUL (inside strings it must be escaped).
  if (line.find('\0') != std::string_view::npos) return generic_rejection();
  // The lexer also skips a leading byte order mark, which is not JSON white space.
  if (line.starts_with("\xEF\xBB\xBF")) return generic_rejection();
  Start start;
  StartSax sax(start);
  bool parsed = false;
  try {
    parsed = Json::sax_parse(line, &sax, Json::input_format_t::json, /*strict=*/true,
                             /*ignore_comments=*/false);
  } catch (...) {
    // The SAX parser reports through the handler; nothing may escape this unit regardless.
    parsed = false;
  }
  if (!parsed || !sax.complete()) return generic_rejection();
  return start;
}

bool is_valid_display_name(std::string_view name) {
  if (name.size() > 128) return false;
  auto wide = utf8_to_utf16(name);
  if (!wide) return false;
  bool blank = true;
  for (char16_t c : *wide) {
    if (is_control(c)) return false;
    blank = blank && is_unicode_white_space(c);
  }
  return !blank;
}

bool is_blank(std::string_view text) {
  auto wide = utf8_to_utf16(text);
  if (!wide) return true;
  for (char16_t c : *wide) {
    if (!is_unicode_white_space(c)) return false;
  }
  return true;
}

HostIdentity input_host_identity(const Start& start) {
  return HostIdentity{
      .allowed_ids = {std::string(32, 'a')},
      .device_id = start.target_device_id,
      .identity_key_fingerprint = start.target_fingerprint,
      .host_name = "Protected Windows host",
  };
}

Result<HostBinding, AuthorizationFailure> check_host_identity(const HostIdentity& identity) {
  constexpr auto kFailure = AuthorizationFailure::kInvalidHostBinding;
  if (identity.allowed_ids.empty() || identity.allowed_ids.size() > 8) return kFailure;
  for (const std::string& id : identity.allowed_ids) {
    if (id.size() != 32) return kFailure;
    for (char c : id) {
      if (c < 'a' || c > 'p') return kFailure;
    }
  }
  if (!is_valid_display_name(identity.host_name)) return kFailure;
  auto device_id = parse_canonical_uuid(identity.device_id);
  if (!device_id) return kFailure;
  auto fingerprint = decode_canonical_base64url(identity.identity_key_fingerprint, 32);
  if (!fingerprint.ok() || fingerprint.value().size() != 32) return kFailure;
  HostBinding binding;
  binding.device_id = *device_id;
  bool all_zero = true;
  for (size_t i = 0; i < 32; ++i) {
    binding.fingerprint[i] = fingerprint.value()[i];
    all_zero = all_zero && binding.fingerprint[i] == 0;
  }
  if (all_zero) return kFailure;
  return binding;
}

Result<void, AuthorizationFailure> check_start(const Start& start, uint64_t now) {
  constexpr auto kFailure = AuthorizationFailure::kInvalidSessionStart;
  if (!is_valid_display_name(start.requester_name)) return kFailure;
  if (start.permissions.empty() || start.permissions.size() > kPermissionCount) return kFailure;
  // Saturating: a clock far in the future must not wrap the window around.
  constexpr uint64_t kMax = UINT64_MAX;
  const uint64_t now_ms = now > kMax / 1000 ? kMax : now * 1000;
  const uint64_t latest_ms = now_ms > kMax - 330000 ? kMax : now_ms + 330000;
  if (!(now_ms < start.lease_expires_at_ms && start.lease_expires_at_ms <= latest_ms)) {
    return kFailure;
  }
  if (start.ticket_key.algorithm != "Ed25519") return kFailure;
  if (start.ticket_key.encoding != "raw-base64url") return kFailure;
  if (!is_key_id(start.ticket_key.key_id)) return kFailure;
  if (!parse_canonical_uuid(start.session_id)) return kFailure;
  return {};
}

}  // namespace vornakel::native_protocol
