// Feeds arbitrary lines to the command parser. Whatever it accepts must survive the range checks
// and the control translation, and must parse back to the same command once written out again.
// Whatever it accepts is well-formed UTF-8. Run under a decimal-comma locale too: the coordinates
// must not follow it.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "native_protocol/authorization/authorization_state.h"
#include "native_protocol/command.h"
#include "native_protocol/control_gate.h"
#include "support/fuzz_oracles.h"

namespace {

using vornakel::native_protocol::Command;
using vornakel::native_protocol::ControlMessage;

bool finite_floats(const Command& command) {
  const auto* control = std::get_if<Command::Control>(&command.body);
  if (!control) return true;
  const auto* pointer = std::get_if<ControlMessage::Pointer>(&control->message.body);
  return !pointer || (std::isfinite(pointer->x) && std::isfinite(pointer->y));
}

nlohmann::json message_json(const ControlMessage& message) {
  nlohmann::json out = {{"v", message.v}, {"seq", message.seq}};
  if (const auto* p = std::get_if<ControlMessage::Pointer>(&message.body)) {
    out["type"] = "pointer";
    out["x"] = static_cast<double>(p->x);
    out["y"] = static_cast<double>(p->y);
    out["buttons"] = p->buttons;
  } else if (const auto* s = std::get_if<ControlMessage::Scroll>(&message.body)) {
    out["type"] = "scroll";
    out["horizontal"] = s->horizontal;
    out["vertical"] = s->vertical;
  } else if (const auto* k = std::get_if<ControlMessage::KeyTransition>(&message.body)) {
    out["type"] = "key-transition";
    out["code"] = k->code;
    out["down"] = k->down;
    out["modifiers"] = k->modifiers;
  } else if (const auto* pause = std::get_if<ControlMessage::PauseInput>(&message.body)) {
    out["type"] = "pause-input";
    out["paused"] = pause->paused;
  } else if (std::holds_alternative<ControlMessage::ReleaseAll>(message.body)) {
    out["type"] = "release-all";
  } else {
    out["type"] = "stop";
  }
  return out;
}

nlohmann::json command_json(const Command& command) {
  if (std::holds_alternative<Command::Close>(command.body)) return {{"type", "close"}};
  if (const auto* c = std::get_if<Command::Control>(&command.body)) {
    return {{"type", "control"}, {"message", message_json(c->message)}};
  }
  if (const auto* r = std::get_if<Command::Relative>(&command.body)) {
    return {{"type", "relative"}, {"dx", r->dx}, {"dy", r->dy}};
  }
  if (const auto* d = std::get_if<Command::Display>(&command.body)) {
    return {{"type", "display"}, {"id", d->id},       {"x", d->x},
            {"y", d->y},         {"width", d->width}, {"height", d->height}};
  }
  const auto& carry = std::get<Command::Carry>(command.body);
  return {{"type", "carry"}, {"expiresAtUnixS", carry.expires_at_unix_s}};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vornakel::fuzz::adopt_environment_locale();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const std::optional<Command> command = vornakel::native_protocol::parse_command(line);
  if (!command) return 0;
  vornakel::fuzz::require(vornakel::fuzz::is_well_formed_utf8(line),
                          "an accepted command is well-formed UTF-8");

  if (const auto* relative = std::get_if<Command::Relative>(&command->body)) {
    (void)vornakel::native_protocol::relative_in_range(*relative);
  } else if (const auto* display = std::get_if<Command::Display>(&command->body)) {
    (void)vornakel::native_protocol::display_in_range(*display);
  } else if (const auto* carry = std::get_if<Command::Carry>(&command->body)) {
    (void)vornakel::native_protocol::carried_lease_end(1'700'000'010, carry->expires_at_unix_s,
                                                       1'700'000'000);
  } else if (const auto* control = std::get_if<Command::Control>(&command->body)) {
    vornakel::native_protocol::ControlGate gate;
    gate.buttons = static_cast<uint8_t>(size);
    (void)vornakel::native_protocol::translate_control(gate, control->message, "DISPLAY1");
  }

  if (finite_floats(*command)) {
    const std::string written = command_json(*command).dump() + "\n";
    const std::optional<Command> again = vornakel::native_protocol::parse_command(written);
    if (!again || command_json(*again) != command_json(*command)) std::abort();
  }
  return 0;
}
