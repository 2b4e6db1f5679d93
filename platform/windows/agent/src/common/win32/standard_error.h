// Writes to the process's standard error handle. The program is built for the GUI subsystem and
// has no console; its standard error is whatever handle the starting process passed, if any, so
// the C runtime's streams cannot be relied on.
#ifndef VORNAKEL_COMMON_WIN32_STANDARD_ERROR_H_
#define VORNAKEL_COMMON_WIN32_STANDARD_ERROR_H_

#include <string_view>

namespace vornakel::win32 {

// Writes all of `bytes` to GetStdHandle(STD_ERROR_HANDLE) with WriteFile. Returns false when
// there is no such handle or a write fails; callers have nowhere else to report that.
bool write_standard_error(std::string_view bytes);

}  // namespace vornakel::win32

#endif  // VORNAKEL_COMMON_WIN32_STANDARD_ERROR_H_
