// The gate every remote action passes before it reaches the desktop: the approved session, its
// lease, the local pause flag and the replay window.
#ifndef VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_AUTHORIZATION_STATE_H_
#define VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_AUTHORIZATION_STATE_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/result.h"
#include "native_protocol/authorization/permissions.h"
#include "native_protocol/authorization/replay_window.h"
#include "native_protocol/authorization/session_error.h"
#include "native_protocol/authorization/ticket_verification.h"
#include "native_protocol/injection/input_action.h"

namespace vornakel::native_protocol {

// One action offered to the gate. The event is the action itself: a MoveAction is a pointer
// position, a ButtonAction a pointer button, a ScrollAction a scroll, a KeyAction a keyboard event.
struct ControlEnvelope {
  std::vector<uint8_t> session_id;
  uint64_t sequence = 0;
  uint64_t permission_epoch = 0;
  InputAction event;
};

EventKind event_kind(const InputAction& action);

enum class Outcome : uint8_t { kInjected = 0, kPaused = 1, kResumed = 2, kStopped = 3 };

enum class Phase : uint8_t { kIdle = 0, kPending = 1, kActive = 2, kEnded = 3 };

enum class EndReason : uint8_t { kNotEnded = 255, kPeerStopped = 1, kLeaseExpired = 2 };

struct ActiveAuthorization {
  std::string requester_name;
  std::array<uint8_t, 16> session_id{};
  std::array<uint8_t, 16> requester_device_id{};
  std::array<uint8_t, 32> requester_fingerprint{};
  uint64_t permission_epoch = 1;
  uint64_t expires_at_s = 0;
  PermissionSet granted;
};

struct PendingRequest {
  std::string requester_name;
  std::array<uint8_t, 16> session_id{};
  std::array<uint8_t, 16> requester_device_id{};
  std::array<uint8_t, 32> requester_fingerprint{};
  uint64_t lease_end_s = 0;
  PermissionSet requested;
};

class AuthorizationState {
 public:
  AuthorizationState() = default;

  Result<void, SessionError> request(const VerifiedAuthorization& authorization);
  Result<void, SessionError> approve(PermissionSet approved, uint64_t now);
  void end(EndReason reason);
  // Weighs one action; only accepted input actions reach the backend.
  Result<Outcome, SessionError> apply(const ControlEnvelope& envelope, uint64_t now,
                                      InputBackend& backend);

  // A carry rebuilds the state, but a local pause must survive it.
  void keep_pause_flag_of(const AuthorizationState& previous) {
    input_paused_ = previous.input_paused_;
  }

  Phase phase() const { return phase_; }
  EndReason end_reason() const { return end_reason_; }
  bool input_paused() const { return input_paused_; }
  const std::optional<ActiveAuthorization>& active() const { return active_; }
  const std::optional<PendingRequest>& pending() const { return pending_; }
  const ReplayWindow& replay_window() const { return replay_; }

 private:
  Result<void, ValidationError> check_envelope(const ControlEnvelope& envelope) const;

  ReplayWindow replay_;
  std::optional<ActiveAuthorization> active_;
  std::optional<PendingRequest> pending_;
  bool input_paused_ = false;
  Phase phase_ = Phase::kIdle;
  EndReason end_reason_ = EndReason::kNotEnded;
};

// A fresh state that has requested and been approved for `permissions`.
Result<AuthorizationState, SessionError> establish(const VerifiedAuthorization& authorization,
                                                   PermissionSet permissions, uint64_t now);

// The new lease end a carry to `carried_end_s` yields, or nullopt when the carry must be refused
// (the current lease must still run, now < current_end_s, and the carry must lie in
// (now, now + 30]). A carry never shortens the lease.
std::optional<uint64_t> carried_lease_end(uint64_t current_end_s, uint64_t carried_end_s,
                                          uint64_t now);

// Rebuilds the state after a carry from the updated authorization: fresh replay window, epoch 1,
// and the old state's pause flag when the new state is active.
Result<AuthorizationState, SessionError> rebuild_after_carry(const AuthorizationState& previous,
                                                             const VerifiedAuthorization& updated,
                                                             uint64_t now);

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_AUTHORIZATION_STATE_H_
