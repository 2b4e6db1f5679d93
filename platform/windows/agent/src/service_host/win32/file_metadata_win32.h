// Existence tests that follow links, as the log and state-file checks require.
#ifndef VORNAKEL_SERVICE_HOST_WIN32_FILE_METADATA_WIN32_H_
#define VORNAKEL_SERVICE_HOST_WIN32_FILE_METADATA_WIN32_H_

#include <string>

namespace vornakel::win32 {

// Whether the metadata of `path` (of its target, for a link) can be read.
bool has_metadata(const std::u16string& path);

}  // namespace vornakel::win32

#endif  // VORNAKEL_SERVICE_HOST_WIN32_FILE_METADATA_WIN32_H_
