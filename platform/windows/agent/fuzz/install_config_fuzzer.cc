// Feeds arbitrary bytes to the service configuration parser and the version rule. Beyond not
// crashing, a configuration that passes both must name a version directory that cannot leave the
// "versions" folder, and the text it accepted is well-formed UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "service_host/install_config.h"
#include "support/fuzz_oracles.h"

namespace {

bool is_safe_directory_name(std::string_view version) {
  if (version.empty() || version.size() > 6 * 3 + 2 + 12) return false;
  if (version.find("..") != std::string_view::npos) return false;
  for (char c : version) {
    const bool allowed = (c >= '0' && c <= '9') || c == '.' || c == '-' || (c >= 'a' && c <= 'z');
    if (!allowed) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vornakel::fuzz::adopt_environment_locale();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (vornakel::is_valid_version_text(text) && !is_safe_directory_name(text)) std::abort();

  vornakel::Result<vornakel::InstallConfig> config = vornakel::parse_install_config(text);
  if (!config.ok()) {
    // Every refusal is a JSON error with some text to show.
    if (config.error().kind() != vornakel::ErrorKind::kJson || config.error().text().empty()) {
      std::abort();
    }
    return 0;
  }
  vornakel::fuzz::require(vornakel::fuzz::is_well_formed_utf8(text),
                          "an accepted configuration is well-formed UTF-8");
  if (vornakel::check_install_config(config.value()).ok() &&
      !is_safe_directory_name(config.value().version)) {
    std::abort();
  }
  return 0;
}
