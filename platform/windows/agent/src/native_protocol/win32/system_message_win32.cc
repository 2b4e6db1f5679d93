#include "native_protocol/win32/system_message_win32.h"

#include <windows.h>

#include <cstdio>

#include "common/utf16.h"
#include "common/win32/wide.h"

namespace vornakel::native_protocol::win32 {

std::string system_message(uint32_t code) {
  // FormatMessageW sets an error of its own when it has no text for the code.
  const DWORD last_error = GetLastError();
  wchar_t buffer[512];
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                     buffer, static_cast<DWORD>(sizeof(buffer) / sizeof(buffer[0])), nullptr);
  SetLastError(last_error);
  std::u16string text = vornakel::win32::to_u16(std::wstring_view(buffer, length));
  while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' ')) {
    text.pop_back();
  }
  if (text.empty()) {
    char fallback[32];
    std::snprintf(fallback, sizeof(fallback), "error 0x%08lX", static_cast<unsigned long>(code));
    return fallback;
  }
  return utf16_to_utf8_lossy(text);
}

}  // namespace vornakel::native_protocol::win32
