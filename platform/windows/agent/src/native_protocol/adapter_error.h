// Errors of the input backend and of display enumeration. Their messages never leave the process:
// the command loop reports only a stage word.
#ifndef VORNAKEL_NATIVE_PROTOCOL_ADAPTER_ERROR_H_
#define VORNAKEL_NATIVE_PROTOCOL_ADAPTER_ERROR_H_

#include <string>

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
  static AdapterError of(Kind kind) { return AdapterError(kind, {}); }

  Kind kind() const { return kind_; }
  const std::string& platform_text() const { return text_; }

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
        return "Windows adapter operation failed: " + text_;
      case Kind::kUnsupportedPlatform:
        return "Windows adapter is unavailable on this operating system";
    }
    return {};
  }

  bool operator==(const AdapterError&) const = default;

 private:
  AdapterError(Kind kind, std::string text) : kind_(kind), text_(std::move(text)) {}
  Kind kind_;
  std::string text_;
};

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_ADAPTER_ERROR_H_
