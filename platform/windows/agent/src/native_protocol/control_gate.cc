#include "native_protocol/control_gate.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "native_protocol/injection/key_codes.h"

namespace vornakel::native_protocol {
namespace {

constexpr uint32_t kProtocolVersion = 1;
constexpr int32_t kMaxScrollNotches = 12000;

bool in_unit_range(float value) { return std::isfinite(value) && value >= 0.0f && value <= 1.0f; }

// The actions of one message, or nullopt when a value is out of range.
std::optional<std::vector<InputAction>> actions_for(const ControlGate& gate,
                                                    const ControlMessage& message,
                                                    std::string_view display_id) {
  std::vector<InputAction> actions;
  if (const auto* pointer = std::get_if<ControlMessage::Pointer>(&message.body)) {
    if (!in_unit_range(pointer->x) || !in_unit_range(pointer->y) || pointer->buttons > 31) {
      return std::nullopt;
    }
    actions.push_back(
        MoveAction{std::string(display_id), MoveAction::Mode::kAbsolute, pointer->x, pointer->y});
    for (uint32_t bit = 0; bit < 5; ++bit) {
      const bool now_down = (pointer->buttons >> bit) & 1u;
      const bool was_down = (gate.buttons >> bit) & 1u;
      if (now_down != was_down) actions.push_back(ButtonAction{bit + 1, now_down});
    }
  } else if (const auto* scroll = std::get_if<ControlMessage::Scroll>(&message.body)) {
    if (std::abs(static_cast<int64_t>(scroll->horizontal)) > kMaxScrollNotches ||
        std::abs(static_cast<int64_t>(scroll->vertical)) > kMaxScrollNotches) {
      return std::nullopt;
    }
    actions.push_back(ScrollAction{scroll->vertical, scroll->horizontal});
  } else if (const auto* key = std::get_if<ControlMessage::KeyTransition>(&message.body)) {
    const std::optional<uint32_t> usage = hid_usage_for_code(key->code);
    if (key->modifiers > 15 || !usage) return std::nullopt;
    actions.push_back(
        KeyAction{*usage, key_modifier_state(key->code, key->down, key->modifiers), key->down});
  } else if (const auto* pause = std::get_if<ControlMessage::PauseInput>(&message.body)) {
    actions.push_back(PauseAction{"peer_requested", pause->paused});
  } else if (std::holds_alternative<ControlMessage::Stop>(message.body)) {
    actions.push_back(StopAction{"peer_stop"});
  }
  // release-all yields no action: the loop releases held input itself.
  return actions;
}

}  // namespace

uint8_t key_modifier_state(std::string_view code, bool down, uint8_t modifiers) {
  const bool alt = modifiers & 0x01;
  const bool control = modifiers & 0x02;
  const bool meta = modifiers & 0x04;
  const bool shift = modifiers & 0x08;
  uint8_t state = static_cast<uint8_t>((control ? 0x01 : 0) | (shift ? 0x02 : 0) |
                                       (alt ? 0x04 : 0) | (meta ? 0x08 : 0));
  if (down) {
    // A right-hand modifier key being pressed holds its own side: the left bit moves right.
    uint8_t left = 0;
    if (code == "ControlRight") left = 0x01;
    if (code == "ShiftRight") left = 0x02;
    if (code == "AltRight") left = 0x04;
    if (code == "MetaRight") left = 0x08;
    if (left != 0) state = static_cast<uint8_t>((state & ~left) | (left << 4));
  }
  return state;
}

std::optional<std::vector<NumberedAction>> translate_control(ControlGate& gate,
                                                             const ControlMessage& message,
                                                             std::string_view display_id) {
  if (message.v != kProtocolVersion) return std::nullopt;
  if (gate.has_last_seq && message.seq <= gate.last_seq) return std::nullopt;
  std::optional<std::vector<InputAction>> actions = actions_for(gate, message, display_id);
  if (!actions) return std::nullopt;
  if (actions->size() > std::numeric_limits<uint64_t>::max() - gate.action_counter) {
    return std::nullopt;  // numbering would wrap
  }

  std::vector<NumberedAction> numbered;
  numbered.reserve(actions->size());
  uint64_t counter = gate.action_counter;
  for (InputAction& action : *actions) numbered.push_back({++counter, std::move(action)});

  gate.action_counter = counter;
  gate.has_last_seq = true;
  gate.last_seq = message.seq;
  if (const auto* pointer = std::get_if<ControlMessage::Pointer>(&message.body)) {
    gate.buttons = pointer->buttons;
  }
  return numbered;
}

}  // namespace vornakel::native_protocol
