#include "service_host/agent_environment.h"

#include <optional>
#include <utility>

#include "common/utf16.h"
#include "service_host/install_layout.h"
#include "service_host/path_text.h"

namespace vornakel {
namespace {

constexpr std::u16string_view kDefaultSystemRoot = u"C:\\Windows";

// The copied variables, in insertion order, as the service looks them up.
constexpr std::u16string_view kCopiedVariables[] = {u"SystemRoot",  u"WINDIR",  u"ProgramFiles",
                                                    u"ProgramData", u"COMSPEC", u"SystemDrive",
                                                    u"COMPUTERNAME"};

std::string ascii_upper(std::u16string_view name) {
  std::string upper;
  upper.reserve(name.size());
  for (const char16_t c : name) {
    const char ascii = static_cast<char>(c);
    upper.push_back(ascii >= 'a' && ascii <= 'z' ? static_cast<char>(ascii - 'a' + 'A') : ascii);
  }
  return upper;
}

// A value that is not valid Unicode is treated as absent: replacing its unpaired surrogates would
// hand the agent a path that names something else.
std::optional<std::u16string> valid_value(const EnvironmentReader& environment,
                                          std::u16string_view name) {
  std::optional<std::u16string> value = environment.get(name);
  if (!value || !utf16_to_utf8(*value)) return std::nullopt;
  return value;
}

}  // namespace

void AgentEnvironment::insert(std::string key, std::u16string value) {
  entries_.insert_or_assign(std::move(key), std::move(value));
}

std::u16string AgentEnvironment::serialise() const {
  std::u16string block;
  for (const auto& [key, value] : entries_) {
    block.append(key.begin(), key.end());
    block.push_back(u'=');
    block.append(value);
    block.push_back(u'\0');
  }
  block.push_back(u'\0');
  return block;
}

AgentEnvironment collect_agent_environment(const EnvironmentReader& service_environment,
                                           std::u16string_view version_dir,
                                           std::u16string_view private_dir) {
  AgentEnvironment environment;
  for (const std::u16string_view name : kCopiedVariables) {
    if (std::optional<std::u16string> value = valid_value(service_environment, name)) {
      environment.insert(ascii_upper(name), std::move(*value));
    }
  }

  const std::optional<std::u16string> system_root = valid_value(service_environment, u"SystemRoot");
  const std::u16string root = system_root ? *system_root : std::u16string(kDefaultSystemRoot);
  std::u16string path = path_text(join_path(version_dir, u"runtime"));
  path += u";" + root + u"\\System32;" + root + u"\\System32\\WindowsPowerShell\\v1.0";
  environment.insert("PATH", std::move(path));

  const std::u16string tmp = path_text(join_path(private_dir, u"tmp"));
  environment.insert("TEMP", tmp);
  environment.insert("TMP", tmp);
  environment.insert("VORNAKEL_SERVICE_STATE_DIR", path_text(join_path(private_dir, u"state")));
  environment.insert("VORNAKEL_WINDOWS_SERVICE", u"1");
  environment.insert("VORNAKEL_MEDIA_ENGINE", u"werift");
  return environment;
}

std::u16string build_agent_environment(const EnvironmentReader& service_environment,
                                       std::u16string_view version_dir,
                                       std::u16string_view private_dir) {
  return collect_agent_environment(service_environment, version_dir, private_dir).serialise();
}

}  // namespace vornakel
