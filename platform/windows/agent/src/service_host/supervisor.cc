#include "service_host/supervisor.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "service_host/install_layout.h"

namespace vornakel {
namespace {

constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kNoConsoleSession = 0xFFFFFFFF;

bool is_missing_file(const Error& error) {
  return error.kind() == ErrorKind::kFileSystem &&
         (error.code() == kErrorFileNotFound || error.code() == kErrorPathNotFound);
}

class Supervisor {
 public:
  Supervisor(SupervisorPlatform& platform, ServiceRequests& requests)
      : platform_(platform), requests_(requests) {}

  Status run() {
    VK_RETURN_IF_ERROR(platform_.require_local_system());
    Result<InstallLayout> layout = platform_.validate_install();
    if (!layout.ok()) return layout.take_error();
    // Only the private directory is kept: every launch validates the installation again and
    // takes the version directory from that validation.
    private_dir_ = std::move(layout.value().private_dir);
    stop_host_ = join_path(private_dir_, u"stop-host");
    stop_session_ = join_path(private_dir_, u"stop-session");
    agent_state_ = join_path(private_dir_, u"state/agent-state.json");
    agent_state_next_ = join_path(private_dir_, u"state/agent-state.service-next.json");
    VK_RETURN_IF_ERROR(remove_if_present(stop_host_));
    VK_RETURN_IF_ERROR(remove_if_present(stop_session_));
    next_launch_ = platform_.monotonic_ms();

    for (;;) {
      if (std::optional<Status> finished = pass()) return std::move(*finished);
      platform_.sleep_ms(kPollIntervalMs);
    }
  }

 private:
  // One loop pass up to its sleep; a value when the supervisor is done.
  std::optional<Status> pass() {
    if (requests_.stop_requested.load() != 0) return stop_service();

    const uint8_t state_request = requests_.agent_state_request.exchange(kAgentStateNone);
    if (state_request == kAgentStateDisable || state_request == kAgentStateEnable) {
      if (Status written = write_agent_state(state_request == kAgentStateEnable); !written.ok()) {
        return fail(written.take_error());
      }
    }
    if (requests_.stop_session_request.exchange(0) != 0) {
      if (Status written = write_stop_session(); !written.ok()) return fail(written.take_error());
    }

    const uint32_t session = platform_.active_console_session();
    if (child_) {
      const std::optional<uint32_t> code = child_->exit_code();
      if (code && *code == kStillActive && child_->session_id() == session) return std::nullopt;
      if (Status stopped = stop_agent(); !stopped.ok()) return fail(stopped.take_error());
    }
    if (session == 0 || session == kNoConsoleSession) return std::nullopt;
    if (platform_.monotonic_ms() < next_launch_) return std::nullopt;

    // Errors of validation and launch only delay the next attempt; the service has nowhere to
    // report them and a repaired installation is picked up by the next attempt.
    Result<InstallLayout> layout = platform_.validate_install();
    if (layout.ok()) {
      Result<std::unique_ptr<AgentProcess>> launched =
          platform_.launch_agent(layout.value(), session);
      if (launched.ok()) {
        child_ = std::move(launched.value());
        return std::nullopt;
      }
    }
    next_launch_ = platform_.monotonic_ms() + kRetryDelayMs;
    return std::nullopt;
  }

  // The agent exited, could not be queried, or its session is no longer the console session.
  Status stop_agent() {
    VK_RETURN_IF_ERROR(platform_.write_file(stop_host_, "stop"));
    platform_.sleep_ms(kAgentStopGraceMs);
    child_.reset();
    // A leftover file would only make the next agent stop at once; the next stop rewrites it.
    (void)platform_.remove_file(stop_host_);
    next_launch_ = platform_.monotonic_ms() + kRelaunchDelayMs;
    return Ok();
  }

  Status stop_service() {
    if (Status written = platform_.write_file(stop_host_, "stop"); !written.ok()) {
      child_.reset();
      return written;
    }
    // Always waited, with or without an agent: the agent may be between our polls and must get
    // its grace period. "stop-host" stays for the next start to remove.
    platform_.sleep_ms(kServiceStopGraceMs);
    child_.reset();
    return Ok();
  }

  Status fail(Error error) {
    child_.reset();
    return error;
  }

  Status remove_if_present(const std::u16string& path) {
    Status removed = platform_.remove_file(path);
    if (removed.ok() || is_missing_file(removed.error())) return Ok();
    return removed;
  }

  Status check_if_present(const std::u16string& path) {
    if (!platform_.path_exists(path)) return Ok();
    return platform_.check_protected_path(path, /*private_mode=*/true);
  }

  Result<uint64_t> now_unix_ms() {
    const std::optional<uint64_t> now = unix_ms_from_ticks(platform_.unix_time_ticks());
    if (!now) return Error::message("System time is before the Unix epoch");
    return *now;
  }

  Status write_agent_state(bool enabled) {
    VK_RETURN_IF_ERROR(check_if_present(agent_state_));
    VK_RETURN_IF_ERROR(check_if_present(agent_state_next_));
    Result<uint64_t> now = now_unix_ms();
    if (!now.ok()) return now.take_error();
    VK_RETURN_IF_ERROR(
        platform_.write_file(agent_state_next_, agent_state_record(enabled, now.value())));
    return platform_.replace_file(agent_state_next_, agent_state_);
  }

  Status write_stop_session() {
    Result<uint64_t> now = now_unix_ms();
    if (!now.ok()) return now.take_error();
    return platform_.write_file(stop_session_, std::to_string(now.value()));
  }

  SupervisorPlatform& platform_;
  ServiceRequests& requests_;
  std::u16string private_dir_;
  std::u16string stop_host_;
  std::u16string stop_session_;
  std::u16string agent_state_;
  std::u16string agent_state_next_;
  std::unique_ptr<AgentProcess> child_;
  uint64_t next_launch_ = 0;
};

}  // namespace

std::optional<uint64_t> unix_ms_from_ticks(int64_t ticks) {
  if (ticks < 0) return std::nullopt;
  return static_cast<uint64_t>(ticks) / 10000u;
}

std::string agent_state_record(bool enabled, uint64_t updated_at_ms) {
  return std::string("{\"enabled\":") + (enabled ? "true" : "false") +
         ",\"updatedAt\":" + std::to_string(updated_at_ms) + "}";
}

Status supervise_agent(SupervisorPlatform& platform, ServiceRequests& requests) {
  return Supervisor(platform, requests).run();
}

}  // namespace vornakel
