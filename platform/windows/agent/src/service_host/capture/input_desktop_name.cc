#include "service_host/capture/input_desktop_name.h"

#include <algorithm>

#include "common/utf16.h"

namespace vornakel {

std::string desktop_name_in(const DesktopNameBuffer& buffer) {
  const auto end = std::find(buffer.begin(), buffer.end(), u'\0');
  return utf16_to_utf8_lossy(
      std::u16string_view(buffer.data(), static_cast<size_t>(end - buffer.begin())));
}

Result<std::u16string> engine_desktop_for(std::string_view name) {
  if (name == "Default") return std::u16string(u"WinSta0\\Default");
  if (name == "Winlogon") return std::u16string(u"WinSta0\\Winlogon");
  return Error::message(kUnsupportedInputDesktop);
}

}  // namespace vornakel
