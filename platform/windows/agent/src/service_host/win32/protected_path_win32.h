// The protection rules applied to a real security descriptor's owner and DACL.
#ifndef VORNAKEL_SERVICE_HOST_WIN32_PROTECTED_PATH_WIN32_H_
#define VORNAKEL_SERVICE_HOST_WIN32_PROTECTED_PATH_WIN32_H_

#include <windows.h>

#include "common/result.h"

namespace vornakel::win32 {

// `dacl` null means a null DACL. Reads the entries with GetAce and classifies SIDs with
// IsWellKnownSid (LocalSystem and BUILTIN\Administrators are the privileged ones).
Status evaluate_owner_and_dacl(PSID owner, PACL dacl, bool private_mode);

}  // namespace vornakel::win32

#endif  // VORNAKEL_SERVICE_HOST_WIN32_PROTECTED_PATH_WIN32_H_
