#include "service_host/win32/environment_reader_win32.h"

#include "common/win32/wide.h"

namespace vornakel::win32 {

std::optional<std::u16string> ProcessEnvironmentReader::get(std::u16string_view name) const {
  return read_environment(to_wide(name).c_str());
}

}  // namespace vornakel::win32
