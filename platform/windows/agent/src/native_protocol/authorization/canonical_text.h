// The only accepted text forms of identifiers, keys, fingerprints and tickets: canonical UUID text
// and canonical unpadded base64url.
#ifndef VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_CANONICAL_TEXT_H_
#define VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_CANONICAL_TEXT_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace vornakel::native_protocol {

using Uuid = std::array<uint8_t, 16>;

// 36 characters, lower-case hex, hyphens at 8/13/18/23, version 1-8, variant 8/9/a/b, not all
// zero. nullopt for anything else.
std::optional<Uuid> parse_canonical_uuid(std::string_view text);
std::string format_uuid(const Uuid& uuid);

enum class Base64Error {
  kNotCanonical,  // empty, outside the alphabet, padding, bad length or non-zero unused bits
  kTooLong,       // longer than the encoding of the allowed bytes (judged before decoding)
};

// URL-safe alphabet, no padding, length mod 4 != 1, zero unused bits, at most `max_bytes`.
Result<std::vector<uint8_t>, Base64Error> decode_canonical_base64url(std::string_view text,
                                                                     size_t max_bytes);
std::string encode_base64url(std::span<const uint8_t> bytes);

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_CANONICAL_TEXT_H_
