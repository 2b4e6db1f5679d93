#include "entry/options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace vornakel::capture {
namespace {

// A decimal integer as its sign and magnitude: an optional sign, then digits only (from_chars
// alone would accept a prefix). Nothing when the text is not that or the magnitude needs more
// than 64 bits.
struct SignedMagnitude {
  bool negative = false;
  uint64_t magnitude = 0;
};

std::optional<SignedMagnitude> parseSignedMagnitude(std::string_view text) {
  SignedMagnitude parsed;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    parsed.negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), parsed.magnitude);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return parsed;
}

}  // namespace

std::optional<int64_t> parseInt64(std::string_view text) {
  const std::optional<SignedMagnitude> parsed = parseSignedMagnitude(text);
  if (!parsed) return std::nullopt;
  const uint64_t magnitude = parsed->magnitude;
  constexpr uint64_t kMaxPositive = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  if (!parsed->negative) {
    if (magnitude > kMaxPositive) return std::nullopt;
    return static_cast<int64_t>(magnitude);
  }
  if (magnitude > kMaxPositive + 1) return std::nullopt;
  if (magnitude == kMaxPositive + 1) return std::numeric_limits<int64_t>::min();
  return -static_cast<int64_t>(magnitude);
}

std::optional<uint32_t> parseUInt32(std::string_view text) {
  const std::optional<SignedMagnitude> parsed = parseSignedMagnitude(text);
  if (!parsed) return std::nullopt;
  if (parsed->magnitude > std::numeric_limits<uint32_t>::max()) return std::nullopt;
  // "-0" is zero; any other negative number does not fit.
  if (parsed->negative && parsed->magnitude != 0) return std::nullopt;
  return static_cast<uint32_t>(parsed->magnitude);
}

std::variant<Options, OptionsError> parseOptions(std::span<const std::string_view> arguments) {
  Options options;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (argument == "--probe") {
      options.probe = true;
      continue;
    }
    if (argument == "--no-cursor") {
      options.showsCursor = false;
      continue;
    }
    const bool takesValue = argument == "--display" || argument == "--fps" ||
                            argument == "--bitrate-kbps" || argument == "--max-width";
    if (!takesValue) return OptionsError{"unknown option " + std::string(argument)};
    if (i + 1 >= arguments.size()) return OptionsError{std::string(argument) + " needs a value"};
    const std::string_view value = arguments[++i];
    if (argument == "--display") {
      options.display = parseUInt32(value);
    } else {
      int64_t& field = argument == "--fps"            ? options.fps
                       : argument == "--bitrate-kbps" ? options.bitrateKbps
                                                      : options.maxWidth;
      if (const auto parsed = parseInt64(value)) field = *parsed;
    }
  }
  return options;
}

EncodedSize scaledSize(int64_t width, int64_t height, int64_t maxWidth) {
  if (width < 1 || height < 1) return {2, 2};
  const double scale = std::min(static_cast<double>(maxWidth) / static_cast<double>(width), 1.0);
  // std::round rounds halves away from zero.
  auto fit = [scale](int64_t side) {
    const double rounded = std::round(static_cast<double>(side) * scale);
    // A bound far below zero gives a value no int64_t holds; it ends as 2 like any value below 2,
    // decided before the conversion so that it is never converted.
    if (rounded < 2.0) return int64_t{2};
    const auto scaled = static_cast<int64_t>(rounded);
    return scaled - scaled % 2;
  };
  return {fit(width), fit(height)};
}

}  // namespace vornakel::capture
