// Which input desktops the media engine may be started on, decided from the name Windows reports.
#ifndef VORNAKEL_SERVICE_HOST_CAPTURE_INPUT_DESKTOP_NAME_H_
#define VORNAKEL_SERVICE_HOST_CAPTURE_INPUT_DESKTOP_NAME_H_

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "common/result.h"

namespace vornakel {

// The zero-filled 512-byte buffer that the desktop's UOI_NAME is read into.
inline constexpr size_t kDesktopNameBufferUnits = 256;
using DesktopNameBuffer = std::array<char16_t, kDesktopNameBufferUnits>;

inline constexpr char kUnsupportedInputDesktop[] = "Unsupported input desktop";

// The name in `buffer`: its units up to the first zero, or all of them when the name filled the
// buffer without a terminator, as UTF-8 with every unpaired surrogate replaced by U+FFFD.
std::string desktop_name_in(const DesktopNameBuffer& buffer);

// "WinSta0\Default" or "WinSta0\Winlogon" for exactly those names (case matters); any other
// desktop, such as one an application created, is refused with "Unsupported input desktop".
Result<std::u16string> engine_desktop_for(std::string_view name);

}  // namespace vornakel

#endif  // VORNAKEL_SERVICE_HOST_CAPTURE_INPUT_DESKTOP_NAME_H_
