#include "native_protocol/authorization/authorization_state.h"

#include <algorithm>
#include <cmath>

#include "native_protocol/authorization/start_record.h"

namespace vornakel::native_protocol {
namespace {

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

bool is_reason_code(const std::string& reason) {
  if (reason.size() > 64) return false;
  return std::all_of(reason.begin(), reason.end(), [](char c) { return c >= 0x21 && c <= 0x7E; });
}

Result<void, ValidationError> check_move(const MoveAction& move) {
  if (!std::isfinite(move.x) || !std::isfinite(move.y)) {
    return ValidationError::invalid_field("pointer coordinates");
  }
  if (move.mode == MoveAction::Mode::kAbsolute) {
    if (move.x < 0 || move.x > 1 || move.y < 0 || move.y > 1) {
      return ValidationError::invalid_field("pointer coordinates");
    }
  } else {
    if (move.x < -32768 || move.x > 32767 || move.y < -32768 || move.y > 32767) {
      return ValidationError::invalid_field("relative pointer delta");
    }
  }
  if (move.display_id.size() > 128) return ValidationError::limit_exceeded("display_id", 128);
  return {};
}

Result<void, ValidationError> check_event_content(const InputAction& event) {
  return std::visit(Overloaded{
                        [](const MoveAction& move) { return check_move(move); },
                        [](const ButtonAction& button) -> Result<void, ValidationError> {
                          if (button.button < 1 || button.button > 32) {
                            return ValidationError::invalid_field("pointer button");
                          }
                          return {};
                        },
                        [](const ScrollAction& scroll) -> Result<void, ValidationError> {
                          // In 64 bits: the magnitude of INT32_MIN does not fit 32.
                          const int64_t vertical = scroll.vertical;
                          const int64_t horizontal = scroll.horizontal;
                          if (std::abs(vertical) > 12000 || std::abs(horizontal) > 12000) {
                            return ValidationError::invalid_field("scroll delta");
                          }
                          return {};
                        },
                        [](const KeyAction& key) -> Result<void, ValidationError> {
                          if (key.usage < 1 || key.usage > 65535) {
                            return ValidationError::invalid_field("keyboard HID usage");
                          }
                          return {};
                        },
                        [](const PauseAction& pause) -> Result<void, ValidationError> {
                          if (!is_reason_code(pause.reason))
                            return ValidationError::invalid_field("reason_code");
                          return {};
                        },
                        [](const StopAction& stop) -> Result<void, ValidationError> {
                          if (!is_reason_code(stop.reason))
                            return ValidationError::invalid_field("reason_code");
                          return {};
                        },
                    },
                    event);
}

}  // namespace

EventKind event_kind(const InputAction& action) {
  return std::visit(Overloaded{
                        [](const MoveAction&) { return EventKind::kPointerPosition; },
                        [](const ButtonAction&) { return EventKind::kPointerButton; },
                        [](const ScrollAction&) { return EventKind::kScroll; },
                        [](const KeyAction&) { return EventKind::kKeyboard; },
                        [](const PauseAction&) { return EventKind::kPause; },
                        [](const StopAction&) { return EventKind::kStop; },
                    },
                    action);
}

Result<void, SessionError> AuthorizationState::request(const VerifiedAuthorization& authorization) {
  if (phase_ == Phase::kPending || phase_ == Phase::kActive) return SessionError::invalid_state();
  if (is_blank(authorization.requester_name) || authorization.requester_name.size() > 128 ||
      authorization.lease_end_s == 0) {
    return SessionError::invalid_request();
  }
  pending_ = PendingRequest{
      .requester_name = authorization.requester_name,
      .session_id = authorization.session_id,
      .requester_device_id = authorization.requester_device_id,
      .requester_fingerprint = authorization.requester_fingerprint,
      .lease_end_s = authorization.lease_end_s,
      .requested = authorization.permissions,
  };
  active_.reset();
  replay_ = ReplayWindow{};
  input_paused_ = false;
  phase_ = Phase::kPending;
  end_reason_ = EndReason::kNotEnded;
  return {};
}

Result<void, SessionError> AuthorizationState::approve(PermissionSet approved, uint64_t now) {
  if (phase_ != Phase::kPending || !pending_) return SessionError::invalid_state();
  if (now < pending_->lease_end_s) {
    if (!is_subset(approved, pending_->requested)) return SessionError::permission_expansion();
    active_ = ActiveAuthorization{
        .requester_name = pending_->requester_name,
        .session_id = pending_->session_id,
        .requester_device_id = pending_->requester_device_id,
        .requester_fingerprint = pending_->requester_fingerprint,
        .permission_epoch = 1,
        .expires_at_s = pending_->lease_end_s,
        .granted = approved,
    };
    pending_.reset();
    phase_ = Phase::kActive;
    return {};
  }
  pending_.reset();
  phase_ = Phase::kEnded;
  end_reason_ = EndReason::kLeaseExpired;
  return SessionError::expired();
}

void AuthorizationState::end(EndReason reason) {
  pending_.reset();
  active_.reset();
  input_paused_ = true;
  phase_ = Phase::kEnded;
  end_reason_ = reason;
}

Result<void, ValidationError> AuthorizationState::check_envelope(
    const ControlEnvelope& envelope) const {
  const ActiveAuthorization& active = *active_;
  if (envelope.session_id.size() != 16 ||
      !std::equal(envelope.session_id.begin(), envelope.session_id.end(),
                  active.session_id.begin())) {
    return ValidationError::binding_mismatch("session_id");
  }
  if (envelope.sequence == 0) return ValidationError::invalid_field("sequence");
  if (envelope.permission_epoch != active.permission_epoch) {
    return ValidationError::binding_mismatch("permission_epoch");
  }
  if (auto needed = required_permission(event_kind(envelope.event))) {
    if (!contains(active.granted, *needed)) {
      return ValidationError::permission(PermissionError::denied(*needed));
    }
  }
  return check_event_content(envelope.event);
}

Result<Outcome, SessionError> AuthorizationState::apply(const ControlEnvelope& envelope,
                                                        uint64_t now, InputBackend& backend) {
  if (phase_ != Phase::kActive || !active_) return SessionError::invalid_state();
  if (now >= active_->expires_at_s) {
    end(EndReason::kLeaseExpired);
    return SessionError::expired();
  }
  auto valid = check_envelope(envelope);
  if (!valid.ok()) return SessionError::protocol(valid.take_error());
  const ReplayResult verdict = replay_check(replay_, envelope.sequence);
  if (verdict != ReplayResult::kAccept) return SessionError::replay(verdict);

  if (const auto* pause = std::get_if<PauseAction>(&envelope.event)) {
    input_paused_ = pause->paused;
    return pause->paused ? Outcome::kPaused : Outcome::kResumed;
  }
  if (std::holds_alternative<StopAction>(envelope.event)) {
    end(EndReason::kPeerStopped);
    return Outcome::kStopped;
  }
  if (input_paused_) return SessionError::input_paused();
  auto executed = backend.execute(envelope.event);
  if (!executed.ok()) return SessionError::adapter(executed.error().message());
  return Outcome::kInjected;
}

Result<AuthorizationState, SessionError> establish(const VerifiedAuthorization& authorization,
                                                   PermissionSet permissions, uint64_t now) {
  AuthorizationState state;
  VK_RETURN_IF_ERROR(state.request(authorization));
  VK_RETURN_IF_ERROR(state.approve(permissions, now));
  return state;
}

std::optional<uint64_t> carried_lease_end(uint64_t current_end_s, uint64_t carried_end_s,
                                          uint64_t now) {
  // The lease is checked only at the top of a pass; a carry read in the wait after it ran out
  // must not bring the ended session back.
  if (now >= current_end_s) return std::nullopt;
  const uint64_t latest = now > UINT64_MAX - 30 ? UINT64_MAX : now + 30;
  if (!(now < carried_end_s && carried_end_s <= latest)) return std::nullopt;
  return std::max(current_end_s, carried_end_s);
}

Result<AuthorizationState, SessionError> rebuild_after_carry(const AuthorizationState& previous,
                                                             const VerifiedAuthorization& updated,
                                                             uint64_t now) {
  auto rebuilt = establish(updated, updated.permissions, now);
  if (!rebuilt.ok()) return rebuilt.take_error();
  AuthorizationState& state = rebuilt.value();
  if (state.phase() == Phase::kActive) state.keep_pause_flag_of(previous);
  return rebuilt;
}

}  // namespace vornakel::native_protocol
