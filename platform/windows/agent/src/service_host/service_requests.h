// The requests that service controls hand to the supervisor. The control handler runs on the
// dispatcher thread and the supervisor on the service thread; these bytes are all they share.
#ifndef VORNAKEL_SERVICE_HOST_SERVICE_REQUESTS_H_
#define VORNAKEL_SERVICE_HOST_SERVICE_REQUESTS_H_

#include <atomic>
#include <cstdint>

namespace vornakel {

enum AgentStateRequest : uint8_t {
  kAgentStateNone = 0,
  kAgentStateDisable = 1,
  kAgentStateEnable = 2,
};

struct ServiceRequests {
  // 1 once a stop or shutdown control arrived; never reset.
  std::atomic<uint8_t> stop_requested{0};
  // An AgentStateRequest; a later control overwrites one not yet consumed.
  std::atomic<uint8_t> agent_state_request{kAgentStateNone};
  // 1 when at least one stop-session control arrived since the last poll.
  std::atomic<uint8_t> stop_session_request{0};
};

// The process-wide instance shared by the control handler and the supervisor.
ServiceRequests& service_requests();

}  // namespace vornakel

#endif  // VORNAKEL_SERVICE_HOST_SERVICE_REQUESTS_H_
