#include <windows.h>
// After windows.h, which it depends on.
#include <aclapi.h>

#include "service_host/win32/path_security.h"

namespace vornakel::win32 {

Result<PathSecurity> read_path_security(HANDLE file, const std::wstring& /*path*/) {
  PathSecurity security;
  const DWORD status = ::GetSecurityInfo(
      file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &security.owner,
      nullptr, &security.dacl, nullptr, security.descriptor.receive());
  if (status != ERROR_SUCCESS) return Error::os_from_win32(status);
  return security;
}

}  // namespace vornakel::win32
