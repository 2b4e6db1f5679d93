#include "native_protocol/injection/virtual_keys.h"

#include <array>

namespace vornakel::native_protocol {

std::optional<uint16_t> virtual_key_for_usage(uint32_t usage) {
  if (usage >= 4 && usage <= 29) return static_cast<uint16_t>(0x41 + (usage - 4));    // A-Z
  if (usage >= 30 && usage <= 38) return static_cast<uint16_t>(0x31 + (usage - 30));  // 1-9
  if (usage >= 58 && usage <= 69) return static_cast<uint16_t>(0x70 + (usage - 58));  // F1-F12
  if (usage >= 89 && usage <= 97) return static_cast<uint16_t>(0x61 + (usage - 89));  // Numpad1-9
  switch (usage) {
    case 39:
      return 0x30;  // Digit0
    case 40:
      return 0x0D;  // Enter
    case 41:
      return 0x1B;
    case 42:
      return 0x08;
    case 43:
      return 0x09;
    case 44:
      return 0x20;
    case 45:
      return 0xBD;
    case 46:
      return 0xBB;
    case 47:
      return 0xDB;
    case 48:
      return 0xDD;
    case 49:
      return 0xDC;
    case 51:
      return 0xBA;
    case 52:
      return 0xDE;
    case 53:
      return 0xC0;
    case 54:
      return 0xBC;
    case 55:
      return 0xBE;
    case 56:
      return 0xBF;
    case 57:
      return 0x14;
    case 70:
      return 0x2C;
    case 71:
      return 0x91;
    case 72:
      return 0x13;
    case 73:
      return 0x2D;
    case 74:
      return 0x24;
    case 75:
      return 0x21;
    case 76:
      return 0x2E;
    case 77:
      return 0x23;
    case 78:
      return 0x22;
    case 79:
      return 0x27;
    case 80:
      return 0x25;
    case 81:
      return 0x28;
    case 82:
      return 0x26;
    case 83:
      return 0x90;
    case 84:
      return 0x6F;
    case 85:
      return 0x6A;
    case 86:
      return 0x6D;
    case 87:
      return 0x6B;
    // NumpadEnter is injected as the main Enter key: one virtual key, not marked extended.
    case 88:
      return 0x0D;
    case 98:
      return 0x60;  // Numpad0
    case 99:
      return 0x6E;
    case 101:
      return 0x5D;
    default:
      return std::nullopt;
  }
}

uint16_t virtual_key_for_modifier_bit(int bit) {
  // Right Alt and right Meta are injected as the plain Alt and the left Windows key.
  static constexpr std::array<uint16_t, 8> kKeys = {0xA2, 0xA0, 0x12, 0x5B, 0xA3, 0xA1, 0x12, 0x5B};
  return kKeys[static_cast<size_t>(bit) & 7];
}

bool is_extended_virtual_key(uint16_t vk) {
  return (vk >= 0x21 && vk <= 0x28) || vk == 0x2C || vk == 0x2D || vk == 0x2E || vk == 0x6F ||
         vk == 0x90 || vk == 0xA3 || vk == 0xA5;
}

}  // namespace vornakel::native_protocol
