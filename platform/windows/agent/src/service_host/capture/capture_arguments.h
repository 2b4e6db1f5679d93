// The arguments after "--capture": opaque to the capture host, which only bounds them and quotes
// each one for the media engine's command line.
#ifndef VORNAKEL_SERVICE_HOST_CAPTURE_CAPTURE_ARGUMENTS_H_
#define VORNAKEL_SERVICE_HOST_CAPTURE_CAPTURE_ARGUMENTS_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vornakel {

inline constexpr size_t kMaxCaptureArguments = 128;
inline constexpr size_t kMaxCaptureArgumentBytes = 16384;
inline constexpr char kCaptureArgumentBoundExceeded[] = "Capture argument bound exceeded";

// Both bounds are inclusive. Each argument counts its UTF-8 length, an unpaired surrogate as the
// 3 bytes of its generalised UTF-8 form.
bool capture_arguments_in_bound(const std::vector<std::u16string>& args);

// The quoted engine path, then for each argument one blank and its quoted form.
std::u16string engine_command_line(std::u16string_view engine_path,
                                   const std::vector<std::u16string>& args);

}  // namespace vornakel

#endif  // VORNAKEL_SERVICE_HOST_CAPTURE_CAPTURE_ARGUMENTS_H_
