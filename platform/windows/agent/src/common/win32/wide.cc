#include "common/win32/wide.h"

#include <windows.h>

#include <algorithm>

#include "common/utf16.h"

namespace vornakel::win32 {

// Unit by unit: reading wchar_t data through a char16_t pointer (or back) is undefined behaviour,
// even though both are UTF-16 code units here.
std::u16string to_u16(std::wstring_view text) {
  std::u16string out(text.size(), u'\0');
  std::transform(text.begin(), text.end(), out.begin(),
                 [](wchar_t unit) { return static_cast<char16_t>(unit); });
  return out;
}

std::wstring to_wide(std::u16string_view text) {
  std::wstring out(text.size(), L'\0');
  std::transform(text.begin(), text.end(), out.begin(),
                 [](char16_t unit) { return static_cast<wchar_t>(unit); });
  return out;
}

std::string wide_to_utf8_lossy(std::wstring_view text) { return utf16_to_utf8_lossy(to_u16(text)); }

std::optional<std::wstring> utf8_to_wide(std::string_view text) {
  std::optional<std::u16string> converted = utf8_to_utf16(text);
  if (!converted) return std::nullopt;
  return to_wide(*converted);
}

std::optional<std::u16string> read_environment(const wchar_t* name) {
  std::wstring buffer(256, L'\0');
  for (;;) {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD length =
        ::GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      // Zero means either "not set" or "set to the empty string"; only the error tells them apart.
      if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::u16string();
    }
    if (length < buffer.size()) {
      buffer.resize(length);
      return to_u16(buffer);
    }
    // Too small: `length` is the size needed, terminator included. The variable may grow between
    // the two calls, hence the loop.
    buffer.assign(length, L'\0');
  }
}

}  // namespace vornakel::win32
