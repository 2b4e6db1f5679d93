#include "service_host/support/supervisor_fake_platform.h"

#include <algorithm>
#include <utility>

#include "common/utf16.h"
#include "service_host/supervisor.h"

namespace vornakel::testing {
namespace {

class FakeAgent : public AgentProcess {
 public:
  FakeAgent(FakeAgentRecord* record, std::function<uint64_t()> clock,
            std::function<void(std::string)> log)
      : record_(record), clock_(std::move(clock)), log_(std::move(log)) {}
  ~FakeAgent() override {
    record_->closed_at = clock_();
    log_("close agent " + std::to_string(record_->number));
  }
  uint32_t session_id() const override { return record_->session_id; }
  std::optional<uint32_t> exit_code() const override {
    if (record_->query_fails) return std::nullopt;
    return record_->exit_code;
  }

 private:
  FakeAgentRecord* record_;
  std::function<uint64_t()> clock_;
  std::function<void(std::string)> log_;
};

}  // namespace

FakeSupervisorPlatform::FakeSupervisorPlatform() = default;

void FakeSupervisorPlatform::at(uint64_t at_ms, std::function<void()> action) {
  events_.emplace(at_ms, std::move(action));
}

std::vector<std::string> FakeSupervisorPlatform::log_matching(const std::string& prefix) const {
  std::vector<std::string> matching;
  for (const std::string& line : log_) {
    const size_t text = line.find(' ') + 1;
    if (line.compare(text, prefix.size(), prefix) == 0) matching.push_back(line);
  }
  return matching;
}

std::vector<FakeAgentRecord*> FakeSupervisorPlatform::agents() {
  std::vector<FakeAgentRecord*> all;
  for (auto& agent : agents_) all.push_back(agent.get());
  return all;
}

FakeAgentRecord* FakeSupervisorPlatform::agent(int number) {
  return number >= 1 && static_cast<size_t>(number) <= agents_.size() ? agents_[number - 1].get()
                                                                      : nullptr;
}

FakeAgentRecord* FakeSupervisorPlatform::running_agent() {
  if (agents_.empty() || agents_.back()->closed_at) return nullptr;
  return agents_.back().get();
}

int64_t FakeSupervisorPlatform::unix_time_ticks() {
  return unix_ticks_at_zero + static_cast<int64_t>(now_ms_) * 10000 + 1234;
}

void FakeSupervisorPlatform::sleep_ms(uint32_t milliseconds) {
  const uint64_t until = now_ms_ + milliseconds;
  while (!events_.empty() && events_.begin()->first <= until) {
    auto event = events_.extract(events_.begin());
    now_ms_ = std::max(now_ms_, event.key());
    event.mapped()();
  }
  now_ms_ = until;
  if (now_ms_ >= time_limit_ms && !time_limit_hit && requests != nullptr) {
    time_limit_hit = true;
    requests->stop_requested.store(1);
  }
}

Status FakeSupervisorPlatform::require_local_system() {
  if (local_system_error) return *local_system_error;
  return Ok();
}

Result<InstallLayout> FakeSupervisorPlatform::validate_install() {
  record("validate");
  if (validation_error) return *validation_error;
  last_validated_ = InstallLayout{version_dir, kPrivateDir};
  return *last_validated_;
}

Result<std::unique_ptr<AgentProcess>> FakeSupervisorPlatform::launch_agent(
    const InstallLayout& layout, uint32_t session_id) {
  if (!last_validated_ || layout.version_dir != last_validated_->version_dir ||
      layout.private_dir != last_validated_->private_dir) {
    return Error::message("launch with a layout that was not validated");
  }
  if (launch_error) {
    record("launch failed");
    return *launch_error;
  }
  auto record_entry = std::make_unique<FakeAgentRecord>();
  record_entry->number = static_cast<int>(agents_.size()) + 1;
  record_entry->session_id = session_id;
  record_entry->version_dir = layout.version_dir;
  record_entry->launched_at = now_ms_;
  FakeAgentRecord* raw = record_entry.get();
  agents_.push_back(std::move(record_entry));
  record("launch agent " + std::to_string(raw->number) + " session " + std::to_string(session_id));
  return std::unique_ptr<AgentProcess>(std::make_unique<FakeAgent>(
      raw, [this] { return now_ms_; }, [this](std::string what) { record(what); }));
}

Status FakeSupervisorPlatform::write_file(const std::u16string& path, std::string_view bytes) {
  const std::string name = relative(path);
  if (write_error) return *write_error;
  const size_t slash = name.find('/');
  if (slash != std::string::npos && directories.count(name.substr(0, slash)) == 0) {
    return Error::file_system(3);
  }
  files[name] = std::string(bytes);
  record("write " + name + "=" + std::string(bytes));
  return Ok();
}

Status FakeSupervisorPlatform::remove_file(const std::u16string& path) {
  const std::string name = relative(path);
  if (files.count(name) == 0) return Error::file_system(2);
  if (remove_error) return *remove_error;
  files.erase(name);
  record("remove " + name);
  return Ok();
}

bool FakeSupervisorPlatform::path_exists(const std::u16string& path) {
  const std::string name = relative(path);
  return files.count(name) != 0 || links.count(name) != 0;
}

Status FakeSupervisorPlatform::check_protected_path(const std::u16string& path, bool private_mode) {
  const std::string name = relative(path);
  record(std::string("check ") + (private_mode ? "private " : "shared ") + name);
  if (links.count(name) != 0) {
    return Error::message("A protected installation path is a reparse point");
  }
  if (unprotected.count(name) != 0) {
    return Error::message("An unprivileged account can access protected host state");
  }
  return Ok();
}

Status FakeSupervisorPlatform::replace_file(const std::u16string& from, const std::u16string& to) {
  const std::string source = relative(from);
  const std::string target = relative(to);
  auto found = files.find(source);
  if (found == files.end()) return Error::file_system(2);
  files[target] = found->second;
  files.erase(source);
  record("move " + source + " -> " + target);
  return Ok();
}

std::string FakeSupervisorPlatform::relative(const std::u16string& path) const {
  const std::u16string prefix = std::u16string(kPrivateDir) + u"\\";
  if (path.compare(0, prefix.size(), prefix) != 0) return "<outside> " + utf16_to_utf8_lossy(path);
  return utf16_to_utf8_lossy(path.substr(prefix.size()));
}

void FakeSupervisorPlatform::record(const std::string& what) {
  log_.push_back(std::to_string(now_ms_) + " " + what);
}

}  // namespace vornakel::testing
