// A supervisor platform with a fake clock: sleeping advances time and fires the events a test
// scheduled (controls arriving, the agent exiting, the console session switching), and every
// observable action is recorded with the time it happened.
#ifndef VORNAKEL_TESTS_SERVICE_HOST_SUPPORT_SUPERVISOR_FAKE_PLATFORM_H_
#define VORNAKEL_TESTS_SERVICE_HOST_SUPPORT_SUPERVISOR_FAKE_PLATFORM_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "service_host/service_requests.h"
#include "service_host/supervisor_platform.h"

namespace vornakel::testing {

// What the test can see of one launched agent after the supervisor let go of it.
struct FakeAgentRecord {
  int number = 0;
  uint32_t session_id = 0;
  std::u16string version_dir;
  uint64_t launched_at = 0;
  std::optional<uint64_t> closed_at;
  uint32_t exit_code = 259;
  bool query_fails = false;
};

class FakeSupervisorPlatform : public SupervisorPlatform {
 public:
  static constexpr char16_t kPrivateDir[] = u"C:\\ProgramData\\Vornakel Connect\\private";
  static constexpr char16_t kVersionDir[] = u"C:\\Program Files\\Vornakel Connect\\versions\\1.0.0";

  FakeSupervisorPlatform();

  // Runs `action` when the fake clock reaches `at_ms` (during a sleep).
  void at(uint64_t at_ms, std::function<void()> action);

  uint64_t now() const { return now_ms_; }
  const std::vector<std::string>& log() const { return log_; }
  std::vector<std::string> log_matching(const std::string& prefix) const;
  std::vector<FakeAgentRecord*> agents();
  FakeAgentRecord* agent(int number);
  // The latest agent that has not been closed, or null.
  FakeAgentRecord* running_agent();

  // Files of the private directory by their path relative to it.
  std::map<std::string, std::string> files;
  // Directories that exist below the private directory ("state" by default).
  std::set<std::string> directories{"state"};
  // Relative paths whose protection check fails.
  std::set<std::string> unprotected;
  // Relative paths that are links (dangling or not): they exist, and their check refuses them.
  std::set<std::string> links;
  // The version directory the next validations report.
  std::u16string version_dir = kVersionDir;
  uint32_t console_session = 1;
  int64_t unix_ticks_at_zero = 17'000'000'000'000'000;  // 2023-11-14, 1.7e12 ms
  std::optional<Error> local_system_error;
  std::optional<Error> validation_error;
  std::optional<Error> launch_error;
  std::optional<Error> write_error;   // for every write
  std::optional<Error> remove_error;  // for every removal of an existing file
  // Ends a run that would never stop on its own: the test fails if it is reached.
  uint64_t time_limit_ms = 120'000;
  bool time_limit_hit = false;
  ServiceRequests* requests = nullptr;

  // SupervisorPlatform
  uint64_t monotonic_ms() override { return now_ms_; }
  int64_t unix_time_ticks() override;
  void sleep_ms(uint32_t milliseconds) override;
  uint32_t active_console_session() override { return console_session; }
  Status require_local_system() override;
  Result<InstallLayout> validate_install() override;
  Result<std::unique_ptr<AgentProcess>> launch_agent(const InstallLayout& layout,
                                                     uint32_t session_id) override;
  Status write_file(const std::u16string& path, std::string_view bytes) override;
  Status remove_file(const std::u16string& path) override;
  bool path_exists(const std::u16string& path) override;
  Status check_protected_path(const std::u16string& path, bool private_mode) override;
  Status replace_file(const std::u16string& from, const std::u16string& to) override;

 private:
  std::string relative(const std::u16string& path) const;
  void record(const std::string& what);

  uint64_t now_ms_ = 0;
  std::multimap<uint64_t, std::function<void()>> events_;
  std::vector<std::string> log_;
  std::vector<std::unique_ptr<FakeAgentRecord>> agents_;
  std::optional<InstallLayout> last_validated_;
};

}  // namespace vornakel::testing

#endif  // VORNAKEL_TESTS_SERVICE_HOST_SUPPORT_SUPERVISOR_FAKE_PLATFORM_H_
