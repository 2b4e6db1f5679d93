#include "native_protocol/injection/injecting_backend.h"

#include <limits>
#include <vector>

#include "native_protocol/injection/input_math.h"
#include "native_protocol/injection/key_codes.h"
#include "native_protocol/injection/virtual_keys.h"

namespace vornakel::native_protocol {
namespace {

// SendInput flags.
constexpr uint32_t kMouseMove = 0x0001;
constexpr uint32_t kMouseAbsolute = 0x8000;
constexpr uint32_t kMouseWheel = 0x0800;
constexpr uint32_t kMouseHWheel = 0x1000;
constexpr uint32_t kKeyExtended = 0x0001;
constexpr uint32_t kKeyUp = 0x0002;
constexpr int32_t kWheelDelta = 120;

struct ButtonFlags {
  uint32_t press;
  uint32_t release;
  uint32_t mouse_data;
};

// Buttons 1 to 5: left, right, middle, back (X button 1), forward (X button 2).
constexpr ButtonFlags kButtonFlags[5] = {
    {0x0002, 0x0004, 0}, {0x0008, 0x0010, 0}, {0x0020, 0x0040, 0},
    {0x0080, 0x0100, 1}, {0x0080, 0x0100, 2},
};

// Every failure of the backend has a fixed text, so failing needs no memory either.
AdapterError platform(const char* text) { return AdapterError::platform_fixed(text); }

InjectedEvent mouse_event(uint32_t flags, uint32_t mouse_data = 0, int32_t dx = 0, int32_t dy = 0) {
  InjectedEvent event;
  event.kind = InjectedEvent::Kind::kMouse;
  event.dx = dx;
  event.dy = dy;
  event.mouse_data = mouse_data;
  event.flags = flags;
  event.extra_info = kInjectedExtraInfo;
  return event;
}

// Restores the thread's DPI awareness on every path out of a move.
class DpiScope {
 public:
  explicit DpiScope(InputInjector& injector) : injector_(injector) {
    entered_ = injector_.enter_per_monitor_dpi_awareness();
  }
  ~DpiScope() {
    if (entered_) injector_.restore_dpi_awareness();
  }
  DpiScope(const DpiScope&) = delete;
  DpiScope& operator=(const DpiScope&) = delete;
  bool entered() const { return entered_; }

 private:
  InputInjector& injector_;
  bool entered_ = false;
};

// Releases every member of `held`, dropping those whose release went through; the first failure
// is kept in `first_error` and the rest are still tried.
template <typename Held, typename Release>
void release_each(std::set<Held>& held, Release release, std::optional<AdapterError>& first_error) {
  for (auto it = held.begin(); it != held.end();) {
    Result<void, AdapterError> released = release(*it);
    if (released.ok()) {
      it = held.erase(it);
      continue;
    }
    if (!first_error) first_error = released.take_error();
    ++it;
  }
}

}  // namespace

InjectingBackend::InjectingBackend(DisplayRecord display, std::unique_ptr<InputInjector> injector)
    : display_(std::move(display)), injector_(std::move(injector)) {}

InjectingBackend::~InjectingBackend() {
  (void)release_all();
  // Whatever failed to release above gets one more attempt each; nothing more can be done here.
  for (uint16_t vk : held_keys_) (void)inject_key(vk, false);
  for (uint32_t button : held_buttons_) (void)inject_button(button, false);
}

Result<void, AdapterError> InjectingBackend::execute(const InputAction& action) {
  if (const auto* move_action = std::get_if<MoveAction>(&action)) return move(*move_action);
  if (const auto* button_action = std::get_if<ButtonAction>(&action)) return button(*button_action);
  if (const auto* scroll_action = std::get_if<ScrollAction>(&action)) return scroll(*scroll_action);
  if (const auto* key_action = std::get_if<KeyAction>(&action)) return key(*key_action);
  // Pause and stop are the authorization state's business; they never inject anything.
  return AdapterError::of(AdapterError::Kind::kUnsupportedInput);
}

// The sets are walked in place, not copied, each event is sent from the stack and a failure is a
// fixed text: letting go of what is held needs no memory, so the release also works (and the
// destructor cannot throw) when memory has run out.
Result<void, AdapterError> InjectingBackend::release_all() {
  std::optional<AdapterError> first_error;
  release_each(
      held_keys_, [this](uint16_t vk) { return inject_key(vk, false); }, first_error);
  release_each(
      held_buttons_, [this](uint32_t button) { return inject_button(button, false); }, first_error);
  // A modifier whose key went up is no longer down, even when another release failed.
  uint8_t still_down = 0;
  for (int bit = 0; bit < 8; ++bit) {
    if (held_keys_.count(virtual_key_for_modifier_bit(bit)) != 0) {
      still_down = static_cast<uint8_t>(still_down | (1u << bit));
    }
  }
  modifiers_down_ = static_cast<uint8_t>(modifiers_down_ & still_down);
  if (first_error) return std::move(*first_error);
  return {};
}

Result<void, AdapterError> InjectingBackend::move(const MoveAction& action) {
  if (action.mode == MoveAction::Mode::kAbsolute) return move_absolute(action.x, action.y);
  return move_relative(action.x, action.y);
}

Result<void, AdapterError> InjectingBackend::move_absolute(float x, float y) {
  DpiScope dpi(*injector_);
  if (!dpi.entered()) {
    return platform("Windows could not enable per-monitor DPI awareness for pointer coordinates");
  }
  const int32_t px = absolute_pixel(display_.x, display_.width, x);
  const int32_t py = absolute_pixel(display_.y, display_.height, y);
  return injector_->set_cursor_pos(px, py);
}

Result<void, AdapterError> InjectingBackend::move_relative(float dx, float dy) {
  const std::optional<CursorPoint> position = injector_->cursor_pos();
  if (!position) return platform("could not get the current mouse location");
  const int32_t target_x = add_saturating(position->x, round_to_i32_saturating(dx));
  const int32_t target_y = add_saturating(position->y, round_to_i32_saturating(dy));
  const int32_t screen_width = injector_->primary_screen_width();
  const int32_t screen_height = injector_->primary_screen_height();
  if (screen_width == 0 || screen_height == 0) {
    return platform("could not get the dimensions of the screen");
  }
  // Absolute coordinates keep pointer speed and acceleration out of the way.
  const std::optional<int32_t> nx = normalise_to_absolute(target_x, screen_width);
  const std::optional<int32_t> ny = normalise_to_absolute(target_y, screen_height);
  if (!nx || !ny) return platform("could not get the dimensions of the screen");
  return send(mouse_event(kMouseMove | kMouseAbsolute, 0, *nx, *ny));
}

Result<void, AdapterError> InjectingBackend::button(const ButtonAction& action) {
  if (action.button < 1 || action.button > 5) {
    return AdapterError::of(AdapterError::Kind::kUnsupportedInput);
  }
  if (action.down) {
    held_buttons_.insert(action.button);
    return inject_button(action.button, true);
  }
  Result<void, AdapterError> released = inject_button(action.button, false);
  // A release that did not go through leaves the button down: it stays for the next release-all
  // (erased only now, so that keeping it needs no memory).
  if (released.ok()) held_buttons_.erase(action.button);
  return released;
}

Result<void, AdapterError> InjectingBackend::scroll(const ScrollAction& action) {
  // Positive vertical notches scroll the content down, which is a negative wheel delta.
  const int64_t vertical = -static_cast<int64_t>(kWheelDelta) * action.vertical;
  const int64_t horizontal = static_cast<int64_t>(kWheelDelta) * action.horizontal;
  constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  if (vertical < kMin || vertical > kMax || horizontal < kMin || horizontal > kMax) {
    return AdapterError::of(AdapterError::Kind::kUnsupportedInput);
  }
  if (vertical != 0) {
    VK_RETURN_IF_ERROR(
        send(mouse_event(kMouseWheel, static_cast<uint32_t>(static_cast<int32_t>(vertical)))));
  }
  if (horizontal != 0) {
    VK_RETURN_IF_ERROR(
        send(mouse_event(kMouseHWheel, static_cast<uint32_t>(static_cast<int32_t>(horizontal)))));
  }
  return {};
}

Result<void, AdapterError> InjectingBackend::key(const KeyAction& action) {
  std::optional<uint16_t> vk;
  if (!is_modifier_usage(action.usage)) {
    vk = virtual_key_for_usage(action.usage);
    // Refused before anything is injected, so an unknown key leaves the modifiers alone.
    if (!vk) return AdapterError::of(AdapterError::Kind::kUnsupportedInput);
  }
  VK_RETURN_IF_ERROR(sync_modifiers(action.modifier_state));
  if (!vk) return {};  // modifier keys act only through the modifier state
  if (action.down) return press_key(*vk);
  return release_key(*vk);
}

// Bits are acted on in bit order. Both Alt bits inject the same Alt key and both Meta bits the
// same Windows key, so such a key is pressed only when no bit holds it down yet and released only
// when no wanted bit needs it: moving a modifier from one side to the other keeps the key down
// instead of dropping it or pressing it twice.
Result<void, AdapterError> InjectingBackend::sync_modifiers(uint8_t wanted) {
  auto needs = [](uint8_t state, uint16_t vk) {
    for (int bit = 0; bit < 8; ++bit) {
      if (((state >> bit) & 1) && virtual_key_for_modifier_bit(bit) == vk) return true;
    }
    return false;
  };
  std::set<uint16_t> down;
  for (int bit = 0; bit < 8; ++bit) {
    if ((modifiers_down_ >> bit) & 1) down.insert(virtual_key_for_modifier_bit(bit));
  }
  for (int bit = 0; bit < 8; ++bit) {
    const bool want = (wanted >> bit) & 1;
    if (want == (((modifiers_down_ >> bit) & 1) != 0)) continue;
    const uint16_t vk = virtual_key_for_modifier_bit(bit);
    if (want && down.insert(vk).second) {
      VK_RETURN_IF_ERROR(press_key(vk));
    } else if (!want && !needs(wanted, vk) && down.erase(vk) != 0) {
      VK_RETURN_IF_ERROR(release_key(vk));
    }
  }
  modifiers_down_ = wanted;
  return {};
}

Result<void, AdapterError> InjectingBackend::press_key(uint16_t vk) {
  held_keys_.insert(vk);
  return inject_key(vk, true);
}

Result<void, AdapterError> InjectingBackend::release_key(uint16_t vk) {
  Result<void, AdapterError> released = inject_key(vk, false);
  // Still down after a refused release: it stays for the next release.
  if (released.ok()) held_keys_.erase(vk);
  return released;
}

Result<void, AdapterError> InjectingBackend::inject_key(uint16_t vk, bool down) {
  const uint32_t scan = injector_->scan_code_for(vk);
  if (scan > 0xFFFF) return platform("result did not fit into u16");
  InjectedEvent event;
  event.kind = InjectedEvent::Kind::kKeyboard;
  event.vk = vk;
  event.scan = static_cast<uint16_t>(scan);
  event.flags = (is_extended_virtual_key(vk) ? kKeyExtended : 0) | (down ? 0 : kKeyUp);
  event.extra_info = kInjectedExtraInfo;
  return send(event);
}

Result<void, AdapterError> InjectingBackend::inject_button(uint32_t button, bool down) {
  const ButtonFlags& flags = kButtonFlags[button - 1];
  return send(mouse_event(down ? flags.press : flags.release, flags.mouse_data));
}

Result<void, AdapterError> InjectingBackend::send(const InjectedEvent& event) {
  if (!injector_->send_input(event)) {
    return platform("not all input events were sent. they may have been blocked by UIPI");
  }
  return {};
}

Result<std::unique_ptr<InputBackend>, AdapterError> InjectingBackendFactory::create_backend(
    const DisplayRecord& display) {
  std::unique_ptr<InputInjector> injector = make_injector_();
  if (!injector) return AdapterError::of(AdapterError::Kind::kUnsupportedPlatform);
  return std::unique_ptr<InputBackend>(
      std::make_unique<InjectingBackend>(display, std::move(injector)));
}

}  // namespace vornakel::native_protocol
