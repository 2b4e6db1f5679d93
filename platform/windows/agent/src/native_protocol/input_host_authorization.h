// The input host's authorization phase: read the start record, check the host identity, verify the
// ticket, and build the session's authorization state.
#ifndef VORNAKEL_NATIVE_PROTOCOL_INPUT_HOST_AUTHORIZATION_H_
#define VORNAKEL_NATIVE_PROTOCOL_INPUT_HOST_AUTHORIZATION_H_

#include "common/result.h"
#include "native_protocol/authorization/authorization_state.h"
#include "native_protocol/authorization/start_record.h"
#include "native_protocol/authorization/ticket_verification.h"
#include "native_protocol/authorization/unix_clock.h"
#include "native_protocol/framing.h"

namespace vornakel::native_protocol {

struct AuthorizedSession {
  Start start;
  HostBinding binding;
  VerifiedAuthorization authorization;
  AuthorizationState state;
};

// Writes the stage lines up to and including "open-input-desktop" (and the authorization error line
// on a verification failure). Errors: the generic rejection, a read or status-line error, or the
// SessionError of establish as a message.
Result<AuthorizedSession> authorize_input_host(ByteSource& input, StatusSink& output,
                                               UnixClock& clock);

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_INPUT_HOST_AUTHORIZATION_H_
