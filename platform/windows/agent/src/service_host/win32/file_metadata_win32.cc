#include "service_host/win32/file_metadata_win32.h"

#include <windows.h>

#include "common/win32/unique_handle.h"
#include "common/win32/wide.h"

namespace vornakel::win32 {

bool has_metadata(const std::u16string& path) {
  // No FILE_FLAG_OPEN_REPARSE_POINT: a link is followed, so a dangling one counts as missing.
  UniqueHandle file(::CreateFileW(to_wide(path).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  return ::GetFileInformationByHandle(file.get(), &info) != 0;
}

}  // namespace vornakel::win32
