// Bridges between the wchar_t strings of the Windows API and the program's own text types:
// std::u16string for Windows strings in portable code, UTF-8 std::string everywhere else.
// On Windows wchar_t is a UTF-16 code unit, so the u16 conversions are plain copies.
#ifndef VORNAKEL_COMMON_WIN32_WIDE_H_
#define VORNAKEL_COMMON_WIN32_WIDE_H_

#include <optional>
#include <string>
#include <string_view>

namespace vornakel::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide strings are UTF-16");

std::u16string to_u16(std::wstring_view text);
std::wstring to_wide(std::u16string_view text);

// UTF-8 for display; unpaired surrogates become U+FFFD.
std::string wide_to_utf8_lossy(std::wstring_view text);

// Strict UTF-8 -> wide; nullopt for malformed input.
std::optional<std::wstring> utf8_to_wide(std::string_view text);

// The value of an environment variable exactly as the OS holds it (any UTF-16, unpaired
// surrogates included); nullopt when it is not set. An empty but set variable is an empty string.
std::optional<std::u16string> read_environment(const wchar_t* name);

}  // namespace vornakel::win32

#endif  // VORNAKEL_COMMON_WIN32_WIDE_H_
