// The physical key names a key-transition message may carry, and their USB HID usages
// (Keyboard/Keypad page).
#ifndef VORNAKEL_NATIVE_PROTOCOL_INJECTION_KEY_CODES_H_
#define VORNAKEL_NATIVE_PROTOCOL_INJECTION_KEY_CODES_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vornakel::native_protocol {

// The usage of one of the 104 accepted names (byte-exact, case-sensitive); nullopt otherwise.
std::optional<uint32_t> hid_usage_for_code(std::string_view code);

// Number of accepted names.
inline constexpr size_t kKeyCodeCount = 104;

// Usages 224 to 231: Control, Shift, Alt, Meta, left then right.
constexpr bool is_modifier_usage(uint32_t usage) { return usage >= 224 && usage <= 231; }

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_INJECTION_KEY_CODES_H_
