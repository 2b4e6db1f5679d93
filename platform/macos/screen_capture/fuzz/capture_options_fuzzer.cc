// The capture helper's command line: the option walk, its two integer conversions, the size rule
// fed by them, and the probe line that prints the numbers back. Oracles: a second walk over the
// same arguments, conversions recomputed digit by digit in 128 bits, the size rule's promises
// (even, at least 2, never enlarged, the width at the requested bound), and the probe line read
// back number by number (it must not follow the locale).
#include <fuzzer/FuzzedDataProvider.h>

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "entry/options.h"
#include "screen_source/capture_display.h"
#include "support/capture_fuzz_oracles.h"

namespace {

using namespace vornakel::capture;
using vornakel::capture::fuzz::require;

// Sign and magnitude of "[+-]digits", the magnitude capped just above every range checked here.
std::optional<__int128> decimal(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  __int128 value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > (static_cast<__int128>(1) << 64)) value = static_cast<__int128>(1) << 64;
  }
  return negative ? -value : value;
}

std::optional<int64_t> expectInt64(std::string_view text) {
  const auto value = decimal(text);
  if (!value || *value < std::numeric_limits<int64_t>::min() ||
      *value > std::numeric_limits<int64_t>::max()) {
    return std::nullopt;
  }
  return static_cast<int64_t>(*value);
}

std::optional<uint32_t> expectUInt32(std::string_view text) {
  const auto value = decimal(text);
  if (!value || *value < 0 || *value > std::numeric_limits<uint32_t>::max()) return std::nullopt;
  return static_cast<uint32_t>(*value);
}

std::variant<Options, OptionsError> expectOptions(const std::vector<std::string>& arguments) {
  Options options;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& name = arguments[i];
    if (name == "--probe") {
      options.probe = true;
    } else if (name == "--no-cursor") {
      options.showsCursor = false;
    } else if (name == "--display" || name == "--fps" || name == "--bitrate-kbps" ||
               name == "--max-width") {
      if (i + 1 == arguments.size()) return OptionsError{name + " needs a value"};
      const std::string& value = arguments[++i];
      if (name == "--display") {
        options.display = expectUInt32(value);
      } else if (const auto number = expectInt64(value)) {
        (name == "--fps"            ? options.fps
         : name == "--bitrate-kbps" ? options.bitrateKbps
                                    : options.maxWidth) = *number;
      }
    } else {
      return OptionsError{"unknown option " + name};
    }
  }
  return options;
}

bool sameOptions(const Options& a, const Options& b) {
  return a.probe == b.probe && a.display == b.display && a.fps == b.fps &&
         a.bitrateKbps == b.bitrateKbps && a.maxWidth == b.maxWidth &&
         a.showsCursor == b.showsCursor;
}

std::string takeArgument(FuzzedDataProvider& in) {
  static const char* const kNames[] = {"--probe",        "--display",   "--fps",
                                       "--bitrate-kbps", "--max-width", "--no-cursor",
                                       "--FPS",          "--fps=30",    "-"};
  static const char* const kNumbers[] = {"0",
                                         "-0",
                                         "+0",
                                         "4294967295",
                                         "4294967296",
                                         "-1",
                                         "+7",
                                         "9223372036854775807",
                                         "9223372036854775808",
                                         "-9223372036854775808",
                                         "-9223372036854775809",
                                         "1e3",
                                         " 5",
                                         "5 ",
                                         "",
                                         "+",
                                         "\xd9\xa3" /* Arabic-Indic three */,
                                         "00012"};
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
      return in.PickValueInArray(kNames);
    case 1:
      return in.PickValueInArray(kNumbers);
    case 2:
      return std::to_string(in.ConsumeIntegral<int64_t>());
    default:
      return in.ConsumeRandomLengthString(24);
  }
}

void checkSize(int64_t width, int64_t height, int64_t maxWidth) {
  const EncodedSize size = scaledSize(width, height, maxWidth);
  require(size.width >= 2 && size.height >= 2 && size.width % 2 == 0 && size.height % 2 == 0,
          "both sides end even and at least 2");
  if (width < 1 || height < 1) {
    require(size.width == 2 && size.height == 2, "an empty display gives 2 x 2");
    return;
  }
  const auto evenAtLeastTwo = [](int64_t side) { return side < 2 ? 2 : side - side % 2; };
  if (maxWidth >= width) {
    require(size.width == evenAtLeastTwo(width) && size.height == evenAtLeastTwo(height),
            "a display within the bound keeps its size");
    return;
  }
  require(size.width <= evenAtLeastTwo(width) && size.height <= evenAtLeastTwo(height),
          "a picture is never enlarged");
  if (maxWidth >= 2) {
    require(size.width <= maxWidth + 1 && size.width >= maxWidth - 2,
            "a wide display is scaled to the requested width");
  }
}

void checkProbeLine(FuzzedDataProvider& in) {
  std::vector<CaptureDisplay> displays(in.ConsumeIntegralInRange<size_t>(0, 4));
  for (CaptureDisplay& d : displays) {
    d.id = in.ConsumeIntegral<uint32_t>();
    d.width = in.ConsumeIntegral<int64_t>();
    d.height = in.ConsumeIntegralInRange<int64_t>(-1, 100000);
    d.primary = in.ConsumeBool();
  }
  const std::string line = probeLine(displays);
  // Read back: fixed punctuation around plain decimal numbers.
  std::string_view rest = line;
  const auto expect = [&rest](std::string_view text) {
    require(rest.substr(0, text.size()) == text, "the probe line's fixed text");
    rest.remove_prefix(text.size());
  };
  const auto number = [&rest]<typename T>(T& out) {
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), out);
    require(error == std::errc{}, "a probe number is plain decimal");
    rest.remove_prefix(static_cast<size_t>(end - rest.data()));
  };
  expect("{\"displays\":[");
  for (size_t i = 0; i < displays.size(); ++i) {
    if (i > 0) expect(",");
    CaptureDisplay read;
    expect("{\"id\":");
    number(read.id);
    expect(",\"width\":");
    number(read.width);
    expect(",\"height\":");
    number(read.height);
    expect(",\"primary\":");
    read.primary = rest.substr(0, 4) == "true";
    expect(read.primary ? "true}" : "false}");
    require(read == displays[i], "the probe line gives back every display");
  }
  expect("]}\n");
  require(rest.empty(), "nothing follows the probe line");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vornakel::capture::fuzz::adoptEnvironmentLocale();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  std::vector<std::string> arguments(in.ConsumeIntegralInRange<size_t>(0, 8));
  for (std::string& argument : arguments) argument = takeArgument(in);
  for (const std::string& argument : arguments) {
    require(parseInt64(argument) == expectInt64(argument), "signed 64-bit conversion");
    require(parseUInt32(argument) == expectUInt32(argument), "unsigned 32-bit conversion");
  }

  const std::vector<std::string_view> views(arguments.begin(), arguments.end());
  const auto parsed = parseOptions(views);
  const auto expected = expectOptions(arguments);
  require(parsed.index() == expected.index(), "the option walk accepts and refuses alike");
  if (const auto* refused = std::get_if<OptionsError>(&parsed)) {
    require(refused->message == std::get<OptionsError>(expected).message, "the refusal's message");
  } else {
    const Options& options = std::get<Options>(parsed);
    require(sameOptions(options, std::get<Options>(expected)), "the options taken");
    // Display sizes are what a platform reports: positive and far below 2^53.
    const int64_t width = in.ConsumeIntegralInRange<int64_t>(-2, int64_t{1} << 40);
    const int64_t height = in.ConsumeIntegralInRange<int64_t>(-2, int64_t{1} << 40);
    checkSize(width, height, options.maxWidth);
  }
  checkProbeLine(in);
  return 0;
}
