// What the agent supervisor needs from the operating system, behind one small interface so that
// its timing and file rules run against a fake clock in tests.
#ifndef VORNAKEL_SERVICE_HOST_SUPERVISOR_PLATFORM_H_
#define VORNAKEL_SERVICE_HOST_SUPERVISOR_PLATFORM_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"
#include "service_host/install_layout.h"

namespace vornakel {

// A started agent. Destroying it closes the process handle and then the job, which ends whatever
// of the agent's process tree still runs.
class AgentProcess {
 public:
  virtual ~AgentProcess() = default;
  // The console session the agent was started in.
  virtual uint32_t session_id() const = 0;
  // The process's exit code (259 while it runs), or nullopt when it cannot be queried.
  virtual std::optional<uint32_t> exit_code() const = 0;
};

class SupervisorPlatform {
 public:
  virtual ~SupervisorPlatform() = default;

  // Monotonic milliseconds from an arbitrary origin.
  virtual uint64_t monotonic_ms() = 0;
  // System time as 100-nanosecond ticks since 1970-01-01 00:00:00 UTC; negative before 1970.
  virtual int64_t unix_time_ticks() = 0;
  virtual void sleep_ms(uint32_t milliseconds) = 0;
  // The active console session id (0xFFFFFFFF when there is none).
  virtual uint32_t active_console_session() = 0;

  virtual Status require_local_system() = 0;
  virtual Result<InstallLayout> validate_install() = 0;
  virtual Result<std::unique_ptr<AgentProcess>> launch_agent(const InstallLayout& layout,
                                                             uint32_t session_id) = 0;

  // Creates or truncates `path` and writes `bytes`.
  virtual Status write_file(const std::u16string& path, std::string_view bytes) = 0;
  // Deletes `path`; a missing file is a file-system error with its Win32 code.
  virtual Status remove_file(const std::u16string& path) = 0;
  // Whether anything is at `path` itself, without following links: a dangling link exists.
  virtual bool path_exists(const std::u16string& path) = 0;
  virtual Status check_protected_path(const std::u16string& path, bool private_mode) = 0;
  // Moves `from` over `to`, replacing it in one step.
  virtual Status replace_file(const std::u16string& from, const std::u16string& to) = 0;
};

}  // namespace vornakel

#endif  // VORNAKEL_SERVICE_HOST_SUPERVISOR_PLATFORM_H_
