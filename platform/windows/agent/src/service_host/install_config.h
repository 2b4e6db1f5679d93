// The installed service configuration ("service.json" in the private directory) and the rule for
// the version text that names the installed version's directory.
#ifndef VORNAKEL_SERVICE_HOST_INSTALL_CONFIG_H_
#define VORNAKEL_SERVICE_HOST_INSTALL_CONFIG_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/result.h"

namespace vornakel {

struct InstallConfig {
  uint32_t schema_version = 0;
  std::string version;
};

inline constexpr size_t kInstallConfigMaxBytes = 1024;
inline constexpr char kInstallConfigTooLarge[] = "Service configuration exceeds its bound";
inline constexpr char kInvalidInstalledVersion[] = "Invalid installed service version";

inline constexpr bool install_config_size_within_bound(uint64_t size) {
  return size <= kInstallConfigMaxBytes;
}

// Parses one document: an object with exactly `schemaVersion` (unsigned 32-bit) and `version`
// (string), or the array [schemaVersion, version]. Anything else, including extra, repeated or
// missing members and text other than whitespace around the document, is a JSON error.
Result<InstallConfig> parse_install_config(std::string_view text);

// Three dot-separated runs of 1 to 6 ASCII digits, optionally followed by "-development".
bool is_valid_version_text(std::string_view version);

// The checks after parsing: schema 1 and a valid version text.
Status check_install_config(const InstallConfig& config);

}  // namespace vornakel

#endif  // VORNAKEL_SERVICE_HOST_INSTALL_CONFIG_H_
