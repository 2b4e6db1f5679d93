#include "native_protocol/command_loop.h"

#include <algorithm>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "native_protocol/command.h"

namespace vornakel::native_protocol {
namespace {

Error adapter_failure(const AdapterError& error) { return Error::message(error.message()); }

// The lease is checked on every pass, so it runs out within one wait even when the agent sends
// nothing.
Status check_lease(LoopContext& c) {
  c.stage = LoopStage::kCheckLease;
  if (c.seams.clock.now_unix_s() >= c.session.lease_end_s) return generic_rejection();
  return Ok();
}

// Follows the input desktop; on a change the display is found again by its id and the
// backend rebuilt for the new desktop, which the refresh has already torn the old one down for.
Status follow_input_desktop(LoopContext& c) {
  c.stage = LoopStage::kRefreshInputDesktop;
  auto changed = c.seams.desktop.refresh_input_desktop(c.backend);
  if (!changed.ok()) return changed.take_error();
  if (!changed.value()) return Ok();

  c.stage = LoopStage::kRefreshDisplays;
  auto displays = c.seams.displays.enumerate_displays();
  if (!displays.ok()) return adapter_failure(displays.error());
  const DisplayRecord* same = choose_same_id(displays.value(), c.display.id);
  if (same == nullptr) return generic_rejection();
  c.display = *same;

  c.stage = LoopStage::kRecreateInputBackend;
  auto backend = c.seams.backends.create_backend(c.display);
  if (!backend.ok()) return adapter_failure(backend.error());
  c.backend = std::move(backend).value();
  auto name = desktop_name_of(c.seams.desktop.name());
  if (!name) return generic_rejection();
  return write_status_line(c.seams.status, StatusLine::desktop(*name));
}

// At most kCommandsPerSecond lines in any one-second window; every line counts, whatever it asks.
Status count_command(LoopContext& c) {
  const auto now = c.seams.monotonic.now();
  while (!c.recent_commands.empty() && now - c.recent_commands.front() >= std::chrono::seconds(1)) {
    c.recent_commands.pop_front();
  }
  if (c.recent_commands.size() >= kCommandsPerSecond) return generic_rejection();
  c.recent_commands.push_back(now);
  return Ok();
}

LoopStage outcome_word(const SessionError& error) {
  switch (error.kind()) {
    case SessionError::Kind::kProtocol:
      return LoopStage::kControlProtocolRejected;
    case SessionError::Kind::kExpired:
      return LoopStage::kAuthorizationExpired;
    case SessionError::Kind::kInputPaused:
      return LoopStage::kInputPaused;
    case SessionError::Kind::kAdapter:
      return LoopStage::kInputApiRejected;
    default:
      return LoopStage::kControlGateRejected;
  }
}

// Every action passes the authorization state on its own; the first refusal ends the host
// and the rest of the list is dropped.
Status dispatch(LoopContext& c, std::vector<InputAction> actions) {
  for (InputAction& action : actions) {
    const uint64_t sequence = ++c.dispatch_counter;
    c.stage = LoopStage::kDispatchInput;
    const uint64_t now = c.seams.clock.now_unix_s();
    ControlEnvelope envelope{
        std::vector<uint8_t>(c.session.session_id.begin(), c.session.session_id.end()), sequence,
        kPermissionEpoch, std::move(action)};
    auto applied = c.authorization.apply(envelope, now, *c.backend);
    if (!applied.ok()) {
      // Read before anything else can touch the thread's error code.
      c.win32 = c.seams.last_error.last_error();
      c.stage = outcome_word(applied.error());
      return generic_rejection();
    }
  }
  return Ok();
}

Status handle_relative(LoopContext& c, const Command::Relative& relative) {
  if (!relative_in_range(relative)) return generic_rejection();
  std::vector<InputAction> actions;
  actions.emplace_back(MoveAction{c.display.id, MoveAction::Mode::kRelative,
                                  static_cast<float>(relative.dx),
                                  static_cast<float>(relative.dy)});
  return dispatch(c, std::move(actions));
}

// A display that is not present is no error: the agent may name a monitor that was just unplugged.
Status handle_display(LoopContext& c, const Command::Display& command) {
  if (!display_in_range(command)) return generic_rejection();
  auto displays = c.seams.displays.enumerate_displays();
  if (!displays.ok()) return adapter_failure(displays.error());
  const DisplayRecord* chosen = choose_by_command_id(displays.value(), command.id);
  if (chosen == nullptr) return Ok();
  c.display = *chosen;
  (void)c.backend->release_all();
  auto backend = c.seams.backends.create_backend(c.display);
  if (!backend.ok()) return adapter_failure(backend.error());
  c.backend = std::move(backend).value();
  c.gate.buttons = 0;
  return Ok();
}

Status handle_carry(LoopContext& c, const Command::Carry& carry) {
  c.stage = LoopStage::kCarryAuthorization;
  const uint64_t now = c.seams.clock.now_unix_s();
  // A carry only ever extends the lease; a late or reordered carry must not cut a session short.
  std::optional<uint64_t> lease_end =
      carried_lease_end(c.session.lease_end_s, carry.expires_at_unix_s, now);
  if (!lease_end) return generic_rejection();
  c.session.lease_end_s = *lease_end;
  auto rebuilt = rebuild_after_carry(c.authorization, c.session, now);
  if (!rebuilt.ok()) return Error::message(rebuilt.error().text());
  if (rebuilt.value().phase() != Phase::kActive) {
    return Error::message(SessionError::invalid_state().text());
  }
  c.authorization = std::move(rebuilt).value();
  return Ok();
}

bool releases_first(const ControlMessage& message) {
  if (std::holds_alternative<ControlMessage::ReleaseAll>(message.body)) return true;
  if (std::holds_alternative<ControlMessage::Stop>(message.body)) return true;
  const auto* pause = std::get_if<ControlMessage::PauseInput>(&message.body);
  return pause != nullptr && pause->paused;
}

Status handle_control(LoopContext& c, const Command::Control& control) {
  c.stage = LoopStage::kValidateControl;
  auto translated = translate_control(c.gate, control.message, c.display.id);
  if (!translated) return generic_rejection();
  if (releases_first(control.message)) {
    auto released = c.backend->release_all();
    if (!released.ok()) return adapter_failure(released.error());
    c.gate.buttons = 0;
  }
  std::vector<InputAction> actions;
  actions.reserve(translated->size());
  for (NumberedAction& numbered : *translated) actions.push_back(std::move(numbered.action));
  return dispatch(c, std::move(actions));
}

enum class PassEnd { kContinue, kClosed };

Result<PassEnd> run_pass(LoopContext& c) {
  VK_RETURN_IF_ERROR(check_lease(c));
  VK_RETURN_IF_ERROR(follow_input_desktop(c));

  c.stage = LoopStage::kReceiveCommand;
  std::string line;
  switch (c.seams.commands.receive(kCommandWait, line)) {
    case Received::kNothing:
      return PassEnd::kContinue;
    case Received::kEndOfInput:
      return PassEnd::kClosed;
    case Received::kLine:
      break;
  }
  VK_RETURN_IF_ERROR(count_command(c));

  c.stage = LoopStage::kParseCommand;
  std::optional<Command> command = parse_command(line);
  if (!command || !c.backend) return generic_rejection();

  Status handled = std::visit(
      [&c](const auto& body) -> Status {
        using Body = std::decay_t<decltype(body)>;
        if constexpr (std::is_same_v<Body, Command::Close>) {
          return Ok();
        } else if constexpr (std::is_same_v<Body, Command::Relative>) {
          return handle_relative(c, body);
        } else if constexpr (std::is_same_v<Body, Command::Display>) {
          return handle_display(c, body);
        } else if constexpr (std::is_same_v<Body, Command::Carry>) {
          return handle_carry(c, body);
        } else {
          return handle_control(c, body);
        }
      },
      command->body);
  VK_RETURN_IF_ERROR(handled);
  if (std::holds_alternative<Command::Close>(command->body)) return PassEnd::kClosed;
  return PassEnd::kContinue;
}

}  // namespace

std::optional<DesktopName> desktop_name_of(std::string_view name) {
  if (name == desktop_name_word(DesktopName::kDefault)) return DesktopName::kDefault;
  if (name == desktop_name_word(DesktopName::kWinlogon)) return DesktopName::kWinlogon;
  return std::nullopt;
}

LoopContext::LoopContext(LoopSeams seams_in, VerifiedAuthorization session_in,
                         AuthorizationState authorization_in, DisplayRecord display_in,
                         std::unique_ptr<InputBackend> backend_in)
    : seams(seams_in),
      session(std::move(session_in)),
      authorization(std::move(authorization_in)),
      display(std::move(display_in)),
      backend(std::move(backend_in)) {}

Status run_command_loop(LoopContext& context) {
  for (;;) {
    auto pass = run_pass(context);
    if (!pass.ok()) return pass.take_error();
    if (pass.value() == PassEnd::kClosed) return Ok();
  }
}

}  // namespace vornakel::native_protocol
