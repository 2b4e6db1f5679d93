// The owner and DACL of an opened file or directory, read through a link seam: the shipped program
// asks the file system about the handle, the Wine end-to-end test program supplies descriptors of
// its own (Wine has no real ACLs).
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

// GetSecurityInfo(file, SE_FILE_OBJECT, OWNER | DACL) on a handle opened with READ_CONTROL; a
// failing status becomes an operating-system error. `path` is the name `file` was opened by: the
// shipped read ignores it (a name could lead to another object by now), the test double chooses
// its descriptor by it.
Result<PathSecurity> read_path_security(HANDLE file, const std::wstring& path);

}  // namespace vornakel::win32

#endif  // VORNAKEL_SERVICE_HOST_WIN32_PATH_SECURITY_H_
