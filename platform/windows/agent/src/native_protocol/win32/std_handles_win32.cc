#include "native_protocol/win32/std_handles_win32.h"

#include <algorithm>
#include <limits>
#include <memory>

namespace vornakel::native_protocol {
namespace {

static_assert(kErrorBrokenPipe == ERROR_BROKEN_PIPE && kErrorHandleEof == ERROR_HANDLE_EOF);

class Win32StreamReadApi final : public StreamReadApi {
 public:
  explicit Win32StreamReadApi(HANDLE handle)
      : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}

  // FILE_TYPE_UNKNOWN (also the failure value) counts as not a pipe.
  bool is_pipe() override { return handle_ != nullptr && GetFileType(handle_) == FILE_TYPE_PIPE; }

  RawRead read(std::span<uint8_t> buffer) override {
    if (handle_ == nullptr) return RawRead{true, 0, 0};
    DWORD read = 0;
    const DWORD wanted =
        static_cast<DWORD>(std::min<size_t>(buffer.size(), std::numeric_limits<DWORD>::max()));
    if (!ReadFile(handle_, buffer.data(), wanted, &read, nullptr)) {
      return RawRead{false, 0, static_cast<uint32_t>(GetLastError())};
    }
    return RawRead{true, static_cast<size_t>(read), 0};
  }

  bool writer_connected() override {
    return handle_ != nullptr && PeekNamedPipe(handle_, nullptr, 0, nullptr, nullptr, nullptr);
  }

 private:
  HANDLE handle_;  // not owned: the process's standard input
};

}  // namespace

StdInputSource::StdInputSource()
    : StreamByteSource(std::make_unique<Win32StreamReadApi>(GetStdHandle(STD_INPUT_HANDLE))) {}

StdOutputSink::StdOutputSink() : handle_(GetStdHandle(STD_OUTPUT_HANDLE)) {
  // Room for the start-up's lines and the error line at once, kept across flushes: the error line
  // may be written when memory has run out.
  pending_.reserve(512);
}

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
