// The Windows message tables behind common/error_display.h, and the helpers that turn the calling
// thread's last error into the program's Error value.
#ifndef VORNAKEL_COMMON_WIN32_SYSTEM_MESSAGES_WIN32_H_
#define VORNAKEL_COMMON_WIN32_SYSTEM_MESSAGES_WIN32_H_

#include <cstdint>
#include <string>

#include "common/error.h"
#include "common/error_display.h"

namespace vornakel::win32 {

// Looks codes up with FormatMessageW in the system table (language 0), or in ntdll.dll's table
// for NT status codes.
class Win32SystemMessages : public SystemMessages {
 public:
  Lookup find(uint32_t code, bool nt_status) const override;
};

// The process-wide instance (stateless).
const SystemMessages& system_messages();

// The display of `error` as the process entry writes it to standard error (UTF-8, no prefix and
// no line feed).
std::string display_for_stderr(const Error& error);

// GetLastError as an operating-system error (HRESULT) or as a file-system error (Win32 code).
// Call them right after the failing call, before anything else can overwrite the last error.
Error last_os_error();
Error last_file_system_error();

}  // namespace vornakel::win32

#endif  // VORNAKEL_COMMON_WIN32_SYSTEM_MESSAGES_WIN32_H_
