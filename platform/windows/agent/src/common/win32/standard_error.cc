#include "common/win32/standard_error.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "common/win32/system_messages_win32.h"
#include "common/win32/unique_handle.h"

namespace vornakel::win32 {

bool write_standard_error(std::string_view bytes) {
  // Not owned: the standard handle belongs to the process and must stay open.
  HANDLE handle = ::GetStdHandle(STD_ERROR_HANDLE);
  if (!UniqueHandle::is_valid(handle)) return false;
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 20));
    DWORD written = 0;
    if (!::WriteFile(handle, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

void write_entry_error(const Error& error) {
  (void)write_standard_error("Windows host service: " + display_for_stderr(error) + "\n");
}

}  // namespace vornakel::win32
