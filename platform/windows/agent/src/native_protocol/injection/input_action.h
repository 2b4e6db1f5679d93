// The actions a translated control message (or a relative command) becomes, and the input backend
// that carries them out. The authorization state weighs each action before the backend sees it.
#ifndef VORNAKEL_NATIVE_PROTOCOL_INJECTION_INPUT_ACTION_H_
#define VORNAKEL_NATIVE_PROTOCOL_INJECTION_INPUT_ACTION_H_

#include <cstdint>
#include <string>
#include <variant>

#include "common/result.h"
#include "native_protocol/adapter_error.h"

namespace vornakel::native_protocol {

struct MoveAction {
  enum class Mode { kAbsolute, kRelative };
  std::string display_id;  // the current display's id
  Mode mode = Mode::kAbsolute;
  float x = 0;  // absolute: 0.0 to 1.0 of the display; relative: whole pixels (dx)
  float y = 0;  // absolute: 0.0 to 1.0 of the display; relative: whole pixels (dy)
};

struct ButtonAction {
  uint32_t button = 0;  // 1 primary, 2 secondary, 3 middle, 4 back, 5 forward
  bool down = false;
};

struct ScrollAction {
  int32_t vertical = 0;    // notches
  int32_t horizontal = 0;  // notches
};

// Modifier state: USB HID modifier-byte layout (bit 0 left Control ... bit 7 right Meta).
struct KeyAction {
  uint32_t usage = 0;  // USB HID keyboard usage ID
  uint8_t modifier_state = 0;
  bool down = false;
};

struct PauseAction {
  std::string reason;  // "peer_requested"
  bool paused = false;
};

struct StopAction {
  std::string reason;  // "peer_stop"
};

using InputAction =
    std::variant<MoveAction, ButtonAction, ScrollAction, KeyAction, PauseAction, StopAction>;

// Carries out input on the current desktop. One exists at a time; it is rebuilt on every desktop
// or display change. Destroying a backend releases whatever it still holds.
class InputBackend {
 public:
  virtual ~InputBackend() = default;
  // Move, button, scroll and key actions only; pause and stop never reach a backend.
  virtual Result<void, AdapterError> execute(const InputAction& action) = 0;
  // Releases every held key, then every held button; returns the first failure.
  virtual Result<void, AdapterError> release_all() = 0;
};

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_INJECTION_INPUT_ACTION_H_
