// Refusals of the session authorization state.
#ifndef VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_SESSION_ERROR_H_
#define VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_SESSION_ERROR_H_

#include <optional>
#include <string>

#include "native_protocol/authorization/replay_window.h"
#include "native_protocol/authorization/validation_error.h"

namespace vornakel::native_protocol {

class SessionError {
 public:
  enum class Kind {
    kInvalidState,
    kInvalidRequest,
    kPermissionExpansion,
    kExpired,
    kProtocol,
    kReplay,
    kInputPaused,
    kAdapter,
  };

  static SessionError invalid_state() { return SessionError(Kind::kInvalidState); }
  static SessionError invalid_request() { return SessionError(Kind::kInvalidRequest); }
  static SessionError permission_expansion() { return SessionError(Kind::kPermissionExpansion); }
  static SessionError expired() { return SessionError(Kind::kExpired); }
  static SessionError protocol(ValidationError error);
  static SessionError replay(ReplayResult verdict);
  static SessionError input_paused() { return SessionError(Kind::kInputPaused); }
  static SessionError adapter(std::string message);

  Kind kind() const { return kind_; }
  // For kProtocol.
  const std::optional<ValidationError>& validation() const { return validation_; }
  // For kReplay.
  ReplayResult replay_verdict() const { return replay_; }
  std::string text() const;

  bool operator==(const SessionError&) const = default;

 private:
  explicit SessionError(Kind kind) : kind_(kind) {}
  Kind kind_;
  std::optional<ValidationError> validation_;
  ReplayResult replay_ = ReplayResult::kAccept;
  std::string adapter_message_;
};

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_SESSION_ERROR_H_
