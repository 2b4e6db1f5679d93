// Turns one remote control message into numbered input actions. The gate is the translation's
// memory across messages: the last accepted sequence number, the action counter and the pointer
// buttons last reported.
#ifndef VORNAKEL_NATIVE_PROTOCOL_CONTROL_GATE_H_
#define VORNAKEL_NATIVE_PROTOCOL_CONTROL_GATE_H_

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "native_protocol/command.h"
#include "native_protocol/injection/input_action.h"

namespace vornakel::native_protocol {

struct ControlGate {
  bool has_last_seq = false;
  uint32_t last_seq = 0;
  uint64_t action_counter = 0;
  uint8_t buttons = 0;  // reset to 0 after a release-all and after a display change
};

struct NumberedAction {
  uint64_t sequence;
  InputAction action;
};

// Checks the message's version, sequence and ranges and yields its actions in order, numbered from
// the gate's counter. A refusal (nullopt) leaves the gate exactly as it was.
std::optional<std::vector<NumberedAction>> translate_control(ControlGate& gate,
                                                             const ControlMessage& message,
                                                             std::string_view display_id);

// The modifier state (HID modifier-byte layout) of a key action: the message's left-hand modifiers,
// except that pressing a right-hand modifier key moves its own modifier to the right-hand bit.
uint8_t key_modifier_state(std::string_view code, bool down, uint8_t modifiers);

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_CONTROL_GATE_H_
