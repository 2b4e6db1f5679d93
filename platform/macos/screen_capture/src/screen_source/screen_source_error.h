#pragma once

#include <cstdint>
#include <string>

namespace vornakel::capture {

enum class ScreenSourceErrorCase { displayNotFound, streamFailed, permissionDenied, noDisplays };

struct ScreenSourceError {
  ScreenSourceErrorCase errorCase;
  uint32_t displayId = 0;   // displayNotFound
  std::string description;  // streamFailed

  static ScreenSourceError displayNotFound(uint32_t id) {
    return {ScreenSourceErrorCase::displayNotFound, id, {}};
  }
  static ScreenSourceError streamFailed(std::string text) {
    return {ScreenSourceErrorCase::streamFailed, 0, std::move(text)};
  }
  static ScreenSourceError permissionDenied() {
    return {ScreenSourceErrorCase::permissionDenied, 0, {}};
  }
  static ScreenSourceError noDisplays() { return {ScreenSourceErrorCase::noDisplays, 0, {}}; }

  std::string message() const;
};

}  // namespace vornakel::capture
