// Writes to the process's standard error handle. The program is built for the GUI subsystem and
// has no console; its standard error is whatever handle the starting process passed, if any, so
// the C runtime's streams cannot be relied on.
#ifndef VORNAKEL_COMMON_WIN32_STANDARD_ERROR_H_
#define VORNAKEL_COMMON_WIN32_STANDARD_ERROR_H_

#include <string_view>

#include "common/error.h"

namespace vornakel::win32 {

// Writes all of `bytes` to GetStdHandle(STD_ERROR_HANDLE) with WriteFile. Returns false when
// there is no such handle or a write fails; callers have nowhere else to report that.
bool write_standard_error(std::string_view bytes);

// The process entry's report of an error that ends a mode: "Windows host service: ", the error's
// display and a line feed.
void write_entry_error(const Error& error);

}  // namespace vornakel::win32

#endif  // VORNAKEL_COMMON_WIN32_STANDARD_ERROR_H_
