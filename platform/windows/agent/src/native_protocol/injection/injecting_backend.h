// The input backend: carries out move, button, scroll and key actions on the current desktop
// through an InputInjector, and remembers what it holds down so that it can release it all.
#ifndef VORNAKEL_NATIVE_PROTOCOL_INJECTION_INJECTING_BACKEND_H_
#define VORNAKEL_NATIVE_PROTOCOL_INJECTION_INJECTING_BACKEND_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <set>

#include "native_protocol/injection/display_record.h"
#include "native_protocol/injection/input_action.h"
#include "native_protocol/injection/input_backend_factory.h"
#include "native_protocol/injection/input_injector.h"

namespace vornakel::native_protocol {

// Marks every injected event so that the host's own input can be told apart.
inline constexpr uint64_t kInjectedExtraInfo = 100;

class InjectingBackend : public InputBackend {
 public:
  InjectingBackend(DisplayRecord display, std::unique_ptr<InputInjector> injector);
  // Releases all held input (ignoring failures), then tries once more for anything still held.
  ~InjectingBackend() override;
  InjectingBackend(const InjectingBackend&) = delete;
  InjectingBackend& operator=(const InjectingBackend&) = delete;

  Result<void, AdapterError> execute(const InputAction& action) override;
  Result<void, AdapterError> release_all() override;

  const DisplayRecord& display() const { return display_; }
  const std::set<uint16_t>& held_keys() const { return held_keys_; }        // virtual-key codes
  const std::set<uint32_t>& held_buttons() const { return held_buttons_; }  // 1 to 5
  uint8_t modifiers_down() const { return modifiers_down_; }

 private:
  Result<void, AdapterError> move(const MoveAction& action);
  Result<void, AdapterError> move_absolute(float x, float y);
  Result<void, AdapterError> move_relative(float dx, float dy);
  Result<void, AdapterError> button(const ButtonAction& action);
  Result<void, AdapterError> scroll(const ScrollAction& action);
  Result<void, AdapterError> key(const KeyAction& action);
  Result<void, AdapterError> sync_modifiers(uint8_t wanted);
  Result<void, AdapterError> press_key(uint16_t vk);
  Result<void, AdapterError> release_key(uint16_t vk);
  Result<void, AdapterError> inject_key(uint16_t vk, bool down);
  Result<void, AdapterError> inject_button(uint32_t button, bool down);
  Result<void, AdapterError> send(const InjectedEvent& event);

  DisplayRecord display_;
  std::unique_ptr<InputInjector> injector_;
  std::set<uint16_t> held_keys_;
  std::set<uint32_t> held_buttons_;
  uint8_t modifiers_down_ = 0;
};

// Builds an InjectingBackend per display, each with a fresh injector.
class InjectingBackendFactory : public InputBackendFactory {
 public:
  using InjectorMaker = std::function<std::unique_ptr<InputInjector>()>;
  explicit InjectingBackendFactory(InjectorMaker make_injector)
      : make_injector_(std::move(make_injector)) {}

  Result<std::unique_ptr<InputBackend>, AdapterError> create_backend(
      const DisplayRecord& display) override;

 private:
  InjectorMaker make_injector_;
};

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_INJECTION_INJECTING_BACKEND_H_
