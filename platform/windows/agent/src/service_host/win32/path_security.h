// A path's owner and DACL, read through a link seam: the shipped program asks the file system,
// the Wine end-to-end test program supplies descriptors of its own (Wine has no real ACLs).
#ifndef VORNAKEL_SERVICE_HOST_WIN32_PATH_SECURITY_H_
#define VORNAKEL_SERVICE_HOST_WIN32_PATH_SECURITY_H_

#include <windows.h>

#include <string>

#include "common/result.h"
#include "common/win32/unique_handle.h"

namespace vornakel::win32 {

// Owner and DACL point into `descriptor`, which owns them.
struct PathSecurity {
  UniqueLocal<PSECURITY_DESCRIPTOR> descriptor;
  PSID owner = nullptr;
  PACL dacl = nullptr;  // null for a null DACL
};

// GetNamedSecurityInfoW(path, SE_FILE_OBJECT, OWNER | DACL); a failing status becomes an
// operating-system error.
Result<PathSecurity> read_path_security(const std::wstring& path);

}  // namespace vornakel::win32

#endif  // VORNAKEL_SERVICE_HOST_WIN32_PATH_SECURITY_H_
