#include "native_protocol/win32/std_handles_win32.h"

#include <algorithm>
#include <limits>

namespace vornakel::native_protocol {

StdInputSource::StdInputSource() : handle_(GetStdHandle(STD_INPUT_HANDLE)) {}

Result<size_t> StdInputSource::read_raw(std::span<uint8_t> buffer) {
  if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) return size_t{0};
  DWORD read = 0;
  const DWORD wanted =
      static_cast<DWORD>(std::min<size_t>(buffer.size(), std::numeric_limits<DWORD>::max()));
  if (!ReadFile(handle_, buffer.data(), wanted, &read, nullptr)) {
    const DWORD code = GetLastError();
    // The writer closing its end of the pipe is the end of input, not a failure.
    if (code == ERROR_BROKEN_PIPE || code == ERROR_HANDLE_EOF) return size_t{0};
    return Error::os_from_win32(code);
  }
  return static_cast<size_t>(read);
}

StdOutputSink::StdOutputSink() : handle_(GetStdHandle(STD_OUTPUT_HANDLE)) {}

Status StdOutputSink::write(std::string_view bytes) {
  pending_.append(bytes);
  return Ok();
}

Status StdOutputSink::flush() {
  if (!pending_.empty() && (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE)) {
    return Error::os_from_win32(ERROR_INVALID_HANDLE);
  }
  return drain_pending(
      pending_,
      [this](std::string_view bytes) -> Result<size_t> {
        DWORD written = 0;
        const DWORD chunk =
            static_cast<DWORD>(std::min<size_t>(bytes.size(), std::numeric_limits<DWORD>::max()));
        if (!WriteFile(handle_, bytes.data(), chunk, &written, nullptr)) {
          return Error::os_from_win32(GetLastError());  // ERROR_BROKEN_PIPE / ERROR_NO_DATA
        }
        return static_cast<size_t>(written);
      },
      Error::os_from_win32(ERROR_WRITE_FAULT));
}

}  // namespace vornakel::native_protocol
