#include "native_protocol/authorization/session_error.h"

namespace vornakel::native_protocol {

SessionError SessionError::protocol(ValidationError error) {
  SessionError session_error(Kind::kProtocol);
  session_error.validation_ = std::move(error);
  return session_error;
}

SessionError SessionError::replay(ReplayResult verdict) {
  SessionError session_error(Kind::kReplay);
  session_error.replay_ = verdict;
  return session_error;
}

SessionError SessionError::adapter(std::string message) {
  SessionError session_error(Kind::kAdapter);
  session_error.adapter_message_ = std::move(message);
  return session_error;
}

std::string SessionError::text() const {
  switch (kind_) {
    case Kind::kInvalidState:
      return "operation is invalid for the current session state";
    case Kind::kInvalidRequest:
      return "incoming request metadata is invalid";
    case Kind::kPermissionExpansion:
      return "approved permissions are not a subset of requested permissions";
    case Kind::kExpired:
      return "session authorization expired";
    case Kind::kProtocol:
      return validation_ ? validation_->text() : std::string();
    case Kind::kReplay:
      return "control replay rejected: " + std::string(replay_result_name(replay_));
    case Kind::kInputPaused:
      return "remote input is locally paused";
    case Kind::kAdapter:
      return "native adapter rejected event: " + adapter_message_;
  }
  return {};
}

}  // namespace vornakel::native_protocol
