// Existence tests that do not follow links, for the files that are checked only when present.
#ifndef VORNAKEL_SERVICE_HOST_WIN32_FILE_METADATA_WIN32_H_
#define VORNAKEL_SERVICE_HOST_WIN32_FILE_METADATA_WIN32_H_

#include <string>

namespace vornakel::win32 {

// Whether anything is at `path` itself: a link counts, whether or not its target exists. Only a
// missing file or directory on the way counts as absent; any other failure to look counts as
// present, so that the protection check that follows reports it.
bool path_exists(const std::u16string& path);

}  // namespace vornakel::win32

#endif  // VORNAKEL_SERVICE_HOST_WIN32_FILE_METADATA_WIN32_H_
