#include "common/win32/standard_error.h"

#include <windows.h>

#include <algorithm>

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

}  // namespace vornakel::win32
