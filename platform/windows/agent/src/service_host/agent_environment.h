// The environment the agent runtime starts with. It is built from an allow-list and never
// inherited: the agent runs with the service's LocalSystem token, so nothing else of the service's
// environment (user profile paths, proxies, debugging switches) may steer it.
#ifndef VORNAKEL_SERVICE_HOST_AGENT_ENVIRONMENT_H_
#define VORNAKEL_SERVICE_HOST_AGENT_ENVIRONMENT_H_

#include <map>
#include <string>
#include <string_view>

#include "service_host/environment_reader.h"

namespace vornakel {

class AgentEnvironment {
 public:
  // Keys are ASCII; std::string orders them by their bytes (unsigned), the order of the block.
  using Entries = std::map<std::string, std::u16string>;

  // Inserting an existing key replaces its value.
  void insert(std::string key, std::u16string value);
  const Entries& entries() const { return entries_; }

  // "KEY=value" followed by one zero for each entry in key order, then one more zero: the form
  // CreateProcess takes with CREATE_UNICODE_ENVIRONMENT.
  std::u16string serialise() const;

 private:
  Entries entries_;
};

// The allow-listed entries for an agent of the installation at `version_dir` / `private_dir`.
AgentEnvironment collect_agent_environment(const EnvironmentReader& service_environment,
                                           std::u16string_view version_dir,
                                           std::u16string_view private_dir);

// The serialised block of collect_agent_environment.
std::u16string build_agent_environment(const EnvironmentReader& service_environment,
                                       std::u16string_view version_dir,
                                       std::u16string_view private_dir);

}  // namespace vornakel

#endif  // VORNAKEL_SERVICE_HOST_AGENT_ENVIRONMENT_H_
