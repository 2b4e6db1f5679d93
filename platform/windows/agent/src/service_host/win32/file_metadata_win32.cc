#include "service_host/win32/file_metadata_win32.h"

#include <windows.h>

#include "common/win32/wide.h"

namespace vornakel::win32 {

bool path_exists(const std::u16string& path) {
  // GetFileAttributesW reports a link's own attributes: a dangling link exists, and the protection
  // check then refuses it as a reparse point before anything is written through it.
  if (::GetFileAttributesW(to_wide(path).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  const DWORD error = ::GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

}  // namespace vornakel::win32
