#include "native_protocol/authorization/canonical_text.h"

#include <sodium.h>

namespace vornakel::native_protocol {
namespace {

int hex_digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;  // upper case is not canonical
}

constexpr bool is_hyphen_position(size_t i) { return i == 8 || i == 13 || i == 18 || i == 23; }

}  // namespace

std::optional<Uuid> parse_canonical_uuid(std::string_view text) {
  if (text.size() != 36) return std::nullopt;
  Uuid uuid{};
  size_t nibble = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (is_hyphen_position(i)) {
      if (c != '-') return std::nullopt;
      continue;
    }
    const int value = hex_digit_value(c);
    if (value < 0) return std::nullopt;
    uuid[nibble / 2] = static_cast<uint8_t>(uuid[nibble / 2] | (value << ((nibble % 2) ? 0 : 4)));
    ++nibble;
  }
  const char version = text[14];
  if (version < '1' || version > '8') return std::nullopt;
  const char variant = text[19];
  if (variant != '8' && variant != '9' && variant != 'a' && variant != 'b') return std::nullopt;
  // Version and variant already exclude the nil value; the explicit check keeps the rule visible.
  bool all_zero = true;
  for (uint8_t byte : uuid) all_zero = all_zero && byte == 0;
  if (all_zero) return std::nullopt;
  return uuid;
}

std::string format_uuid(const Uuid& uuid) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(36);
  for (size_t i = 0; i < uuid.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
    text.push_back(kHex[uuid[i] >> 4]);
    text.push_back(kHex[uuid[i] & 0xF]);
  }
  return text;
}

Result<std::vector<uint8_t>, Base64Error> decode_canonical_base64url(std::string_view text,
                                                                     size_t max_bytes) {
  if (text.empty() || text.size() % 4 == 1) return Base64Error::kNotCanonical;
  // Held to the bound by its length before any decoding: text longer than the encoding of
  // `max_bytes` bytes cannot fit, whatever it holds, and costs nothing more.
  if (text.size() > (max_bytes / 3) * 4 + (max_bytes % 3 == 0 ? 0 : max_bytes % 3 + 1)) {
    return Base64Error::kTooLong;
  }
  std::vector<uint8_t> bytes(text.size() / 4 * 3 + 2);
  size_t length = 0;
  // No end pointer: libsodium then refuses any character it cannot decode (padding included)
  // instead of stopping there, and it refuses non-zero unused bits of the last character.
  if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr, &length,
                        nullptr, sodium_base64_VARIANT_URLSAFE_NO_PADDING) != 0) {
    return Base64Error::kNotCanonical;
  }
  // Within the length bound the bytes are within `max_bytes`. With padding, foreign characters, a
  // dangling sixth bit group and non-zero unused bits all refused above, the text is necessarily
  // the re-encoding of its bytes; the tests hold that.
  bytes.resize(length);
  return bytes;
}

std::string encode_base64url(std::span<const uint8_t> bytes) {
  const size_t capacity =
      sodium_base64_ENCODED_LEN(bytes.size(), sodium_base64_VARIANT_URLSAFE_NO_PADDING);
  std::string text(capacity, '\0');
  sodium_bin2base64(text.data(), capacity, bytes.data(), bytes.size(),
                    sodium_base64_VARIANT_URLSAFE_NO_PADDING);
  text.resize(capacity - 1);  // the terminating NUL
  return text;
}

}  // namespace vornakel::native_protocol
