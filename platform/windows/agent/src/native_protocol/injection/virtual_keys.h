// Windows virtual-key codes of the keys a key action names, kept portable.
#ifndef VORNAKEL_NATIVE_PROTOCOL_INJECTION_VIRTUAL_KEYS_H_
#define VORNAKEL_NATIVE_PROTOCOL_INJECTION_VIRTUAL_KEYS_H_

#include <cstdint>
#include <optional>

namespace vornakel::native_protocol {

// Virtual-key code of a non-modifier HID usage among the accepted keys; nullopt otherwise.
std::optional<uint16_t> virtual_key_for_usage(uint32_t usage);
// Virtual-key code injected for each bit of the HID modifier byte (bit 0 left Control ...).
uint16_t virtual_key_for_modifier_bit(int bit);
// Keys injected with the extended-key flag.
bool is_extended_virtual_key(uint16_t vk);

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_INJECTION_VIRTUAL_KEYS_H_
