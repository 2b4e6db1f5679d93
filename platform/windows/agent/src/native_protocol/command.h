// The documents the input host reads after start-up: one Command per framed line, some of which
// wrap one ControlMessage (remote input weighed by the authorization state before injection).
#ifndef VORNAKEL_NATIVE_PROTOCOL_COMMAND_H_
#define VORNAKEL_NATIVE_PROTOCOL_COMMAND_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace vornakel::native_protocol {

struct ControlMessage {
  struct Pointer {
    float x, y;       // 0.0 to 1.0 of the current display
    uint8_t buttons;  // bit 0 button 1 ... bit 4 button 5
  };
  struct Scroll {
    int32_t horizontal, vertical;  // notches
  };
  struct KeyTransition {
    std::string code;  // physical key position name ("KeyA", "ShiftLeft", ...)
    bool down;
    uint8_t modifiers;  // bit 0 Alt, bit 1 Control, bit 2 Meta, bit 3 Shift
  };
  struct PauseInput {
    bool paused;
  };
  struct ReleaseAll {};
  struct Stop {};

  uint32_t v;
  uint32_t seq;
  std::variant<Pointer, Scroll, KeyTransition, PauseInput, ReleaseAll, Stop> body;
};

struct Command {
  struct Close {};
  struct Control {
    ControlMessage message;
  };
  struct Relative {
    int32_t dx, dy;
  };
  struct Display {
    std::string id;
    int32_t x, y;
    uint32_t width, height;
  };
  struct Carry {
    uint64_t expires_at_unix_s;
  };
  std::variant<Close, Control, Relative, Display, Carry> body;
};

// Strict parse of one command line: an object tagged by "type" (at any position), every member of
// the variant present exactly once and nothing else, integers exact and within their type, floats
// rounded to 32 bits, only JSON whitespace after the object. A "close" command carries no member
// besides its tag: anything else is refused like an unknown member of any other variant.
// Any failure is nullopt; no detail leaves the host.
std::optional<Command> parse_command(std::string_view line);

// Value ranges the command loop enforces before acting on a host command. The carry's window is
// part of the lease rule itself (carried_lease_end in authorization/authorization_state.h).
bool relative_in_range(const Command::Relative& relative);
bool display_in_range(const Command::Display& display);

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_COMMAND_H_
