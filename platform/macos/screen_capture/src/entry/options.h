#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace vornakel::capture {

struct Options {
  bool probe = false;
  std::optional<uint32_t> display;
  int64_t fps = 30;
  int64_t bitrateKbps = 6000;
  int64_t maxWidth = 1920;
  bool showsCursor = true;
};

// A command line the program refuses; it ends with the message and status 1.
struct OptionsError {
  std::string message;
};

// Reads the arguments after the program name, left to right; the last repeat of an option wins.
std::variant<Options, OptionsError> parseOptions(std::span<const std::string_view> arguments);

// Decimal conversions as the platform's standard integer parsing does them: an optional sign, then
// one or more digits and nothing else, without overflow.
std::optional<int64_t> parseInt64(std::string_view text);
std::optional<uint32_t> parseUInt32(std::string_view text);

struct EncodedSize {
  int64_t width = 0;
  int64_t height = 0;
};

// Fits a display's pixel size into `maxWidth` without enlarging it; both sides end even and >= 2.
EncodedSize scaledSize(int64_t width, int64_t height, int64_t maxWidth);

}  // namespace vornakel::capture
