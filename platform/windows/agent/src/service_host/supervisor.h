// The body of the running service: keeps exactly one agent runtime alive in the active console
// session and passes the custom service controls on to it through files in the private directory.
#ifndef VORNAKEL_SERVICE_HOST_SUPERVISOR_H_
#define VORNAKEL_SERVICE_HOST_SUPERVISOR_H_

#include <cstdint>
#include <optional>
#include <string>

#include "common/result.h"
#include "service_host/service_requests.h"
#include "service_host/supervisor_platform.h"

namespace vornakel {

inline constexpr uint32_t kPollIntervalMs = 250;
// After "stop-host", when the agent exited or the session changed.
inline constexpr uint32_t kAgentStopGraceMs = 2000;
inline constexpr uint64_t kRelaunchDelayMs = 2000;
inline constexpr uint64_t kRetryDelayMs = 5000;
inline constexpr uint32_t kServiceStopGraceMs = 5000;

inline constexpr uint32_t kStillActive = 259;

// Runs until a stop request has been carried out (success) or a start step, a control's file
// write or a "stop-host" write failed (that error, after the agent was killed).
Status supervise_agent(SupervisorPlatform& platform, ServiceRequests& requests);

// The supervisor of the running service against the real machine and the process-wide requests
// (Windows only).
Status run_supervisor();

// Milliseconds since 1970 of a tick count, or nullopt before 1970.
std::optional<uint64_t> unix_ms_from_ticks(int64_t ticks);

// {"enabled":<bool>,"updatedAt":<ms>}
std::string agent_state_record(bool enabled, uint64_t updated_at_ms);

}  // namespace vornakel

#endif  // VORNAKEL_SERVICE_HOST_SUPERVISOR_H_
