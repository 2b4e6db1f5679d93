// Errors of the input backend and of display enumeration. Their messages never leave the process:
// the command loop reports only a stage word.
#ifndef VORNAKEL_NATIVE_PROTOCOL_ADAPTER_ERROR_H_
#define VORNAKEL_NATIVE_PROTOCOL_ADAPTER_ERROR_H_

#include <string>
#include <string_view>

namespace vornakel::native_protocol {

class AdapterError {
 public:
  enum class Kind {
    kDisplayNotFound,
    kDisplayTooLarge,
    kFrameTooLarge,
    kCaptureBusy,
    kInvalidQuality,
    kUnsupportedInput,
    kPlatform,
    kUnsupportedPlatform,
  };

  static AdapterError platform(std::string text) {
    return AdapterError(Kind::kPlatform, std::move(text));
  }
  // A Platform error over a literal: making it takes no memory, so an injection refused while
  // memory has run out (the release of held input) still fails with a value, not an exception.
  static AdapterError platform_fixed(const char* text) {
    AdapterError error(Kind::kPlatform, {});
    error.fixed_text_ = text;
    return error;
  }
  static AdapterError of(Kind kind) { return AdapterError(kind, {}); }

  Kind kind() const { return kind_; }
  std::string_view platform_text() const {
    return fixed_text_ != nullptr ? std::string_view(fixed_text_) : std::string_view(text_);
  }

  std::string message() const {
    switch (kind_) {
      case Kind::kDisplayNotFound:
        return "display was not found";
      case Kind::kDisplayTooLarge:
        return "display exceeds the capture allocation safety limit";
      case Kind::kFrameTooLarge:
        return "encoded frame exceeds the safety limit";
      case Kind::kCaptureBusy:
        return "another capture is already in progress";
      case Kind::kInvalidQuality:
        return "JPEG quality must be between 1 and 100";
      case Kind::kUnsupportedInput:
        return "input event is unsupported by the Windows adapter";
      case Kind::kPlatform:
        return "Windows adapter operation failed: " + std::string(platform_text());
      case Kind::kUnsupportedPlatform:
        return "Windows adapter is unavailable on this operating system";
    }
    return {};
  }

  bool operator==(const AdapterError& other) const {
    return kind_ == other.kind_ && platform_text() == other.platform_text();
  }

 private:
  AdapterError(Kind kind, std::string text) : kind_(kind), text_(std::move(text)) {}
  Kind kind_;
  std::string text_;
  const char* fixed_text_ = nullptr;
};

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_ADAPTER_ERROR_H_
