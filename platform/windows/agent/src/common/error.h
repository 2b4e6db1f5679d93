// The program's one error value. Every mode hands one of these back to the process entry, which
// prints its display as a single line on standard error.
#ifndef VORNAKEL_COMMON_ERROR_H_
#define VORNAKEL_COMMON_ERROR_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace vornakel {

enum class ErrorKind {
  kMessage,     // a fixed message of the program, displayed alone
  kOs,          // a Windows call failed; carries an HRESULT
  kFileSystem,  // a file operation failed; carries the Win32 code
  kJson,        // a JSON document did not parse; carries the parser's text
};

// GetLastError values become HRESULTs the way HRESULT_FROM_WIN32 does it, except that zero and
// negative values (already HRESULTs) are kept as they are.
constexpr uint32_t hresult_from_win32(uint32_t code) {
  return static_cast<int32_t>(code) <= 0 ? code : (0x80070000u | (code & 0xFFFFu));
}

class Error {
 public:
  static Error message(std::string text) { return Error(ErrorKind::kMessage, 0, std::move(text)); }
  // A fixed message kept as a pointer to its literal: making, moving and comparing it takes no
  // memory, so it can still be returned when memory has run out. `text` must be a literal.
  static Error fixed_message(const char* text) {
    Error error(ErrorKind::kMessage, 0, {});
    error.fixed_text_ = text;
    return error;
  }
  static Error os(uint32_t hresult) { return Error(ErrorKind::kOs, hresult, {}); }
  static Error os_from_win32(uint32_t code) { return os(hresult_from_win32(code)); }
  static Error file_system(uint32_t win32_code) {
    return Error(ErrorKind::kFileSystem, win32_code, {});
  }
  static Error json(std::string text) { return Error(ErrorKind::kJson, 0, std::move(text)); }

  ErrorKind kind() const { return kind_; }
  // The HRESULT of an operating-system error, or the Win32 code of a file-system error.
  uint32_t code() const { return code_; }
  // The fixed message, or the JSON parser's text.
  std::string_view text() const {
    return fixed_text_ != nullptr ? std::string_view(fixed_text_) : std::string_view(text_);
  }

  bool operator==(const Error& other) const {
    return kind_ == other.kind_ && code_ == other.code_ && text() == other.text();
  }

 private:
  Error(ErrorKind kind, uint32_t code, std::string text)
      : kind_(kind), code_(code), text_(std::move(text)) {}

  ErrorKind kind_;
  uint32_t code_;
  std::string text_;
  const char* fixed_text_ = nullptr;
};

}  // namespace vornakel

#endif  // VORNAKEL_COMMON_ERROR_H_
