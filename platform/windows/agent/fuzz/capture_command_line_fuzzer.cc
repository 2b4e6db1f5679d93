// The capture host's argument bounds and the media engine's command line. Oracles: the bounds are
// recounted here scalar by scalar; the command line is split again by the rules Windows programs
// use to read theirs (CommandLineToArgvW and the C runtime), and must give back the engine path
// and every argument exactly, unpaired surrogates as U+FFFD.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/utf16.h"
#include "service_host/capture/capture_arguments.h"
#include "service_host/quote_argument.h"
#include "support/fuzz_oracles.h"

namespace {

using vornakel::fuzz::require;

constexpr std::u16string_view kEnginePath =
    u"C:\\Program Files\\Vornakel Connect\\versions\\0.1.0\\runtime\\ffmpeg.exe";

// The splitting rules: the program name runs to the next quote when it starts with one, else to
// the next blank. After it, blanks and tabs separate arguments; 2n backslashes before a quote give
// n backslashes and the quote toggles quoting, 2n + 1 give n backslashes and a literal quote;
// backslashes elsewhere are literal; inside quotes a doubled quote is one literal quote.
std::vector<std::u16string> split_command_line(std::u16string_view line) {
  std::vector<std::u16string> out;
  size_t i = 0;
  std::u16string program;
  if (i < line.size() && line[i] == u'"') {
    ++i;
    while (i < line.size() && line[i] != u'"') program.push_back(line[i++]);
    if (i < line.size()) ++i;
  } else {
    while (i < line.size() && line[i] != u' ' && line[i] != u'\t') program.push_back(line[i++]);
  }
  out.push_back(program);
  for (;;) {
    while (i < line.size() && (line[i] == u' ' || line[i] == u'\t')) ++i;
    if (i >= line.size()) break;
    std::u16string arg;
    bool quoted = false;
    while (i < line.size()) {
      const char16_t c = line[i];
      if (!quoted && (c == u' ' || c == u'\t')) break;
      if (c == u'\\') {
        size_t run = 0;
        while (i < line.size() && line[i] == u'\\') ++run, ++i;
        if (i < line.size() && line[i] == u'"') {
          arg.append(run / 2, u'\\');
          if (run % 2 == 1) {
            arg.push_back(u'"');
            ++i;
          }
        } else {
          arg.append(run, u'\\');
        }
        continue;
      }
      if (c == u'"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
          arg.push_back(u'"');
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      arg.push_back(c);
      ++i;
    }
    out.push_back(arg);
  }
  return out;
}

size_t generalised_utf8_length(std::u16string_view text) {
  size_t bytes = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    const bool pair = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() &&
                      text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    if (pair) {
      bytes += 4;
      ++i;
    } else {
      bytes += unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3;
    }
  }
  return bytes;
}

std::u16string take_argument(FuzzedDataProvider& input, size_t max_units) {
  // The characters that matter to quoting come often; any unit now and then.
  static constexpr char16_t kInteresting[] = {u'\\', u'"', u' ', u'\t', u'a', u'\xD800', u'\xDC00'};
  std::u16string arg;
  const size_t length = input.ConsumeIntegralInRange<size_t>(0, max_units);
  for (size_t i = 0; i < length && input.remaining_bytes() > 0; ++i) {
    arg.push_back(input.ConsumeBool() ? input.PickValueInArray(kInteresting)
                                      : input.ConsumeIntegral<char16_t>());
  }
  return arg;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  std::vector<std::u16string> args;
  // Near the count bound now and then: long runs of empty arguments cost nothing to build.
  const size_t padding = input.ConsumeBool() ? input.ConsumeIntegralInRange<size_t>(120, 130) : 0;
  args.resize(padding);
  const size_t count = input.ConsumeIntegralInRange<size_t>(0, 8);
  for (size_t i = 0; i < count; ++i) args.push_back(take_argument(input, 48));
  size_t total = 0;
  for (const std::u16string& arg : args) total += generalised_utf8_length(arg);
  // At the byte bound: one long argument of a character of 1 to 3 UTF-8 bytes (an unpaired
  // surrogate counting 3) that brings the total to within a few bytes of 16384, either side.
  if (input.ConsumeBool()) {
    static constexpr struct {
      char16_t unit;
      size_t bytes;
    } kWidths[] = {{u'x', 1}, {u'\x00E9', 2}, {u'\x20AC', 3}, {u'\xDBFF', 3}};
    const auto width = input.PickValueInArray(kWidths);
    const size_t target =
        vornakel::kMaxCaptureArgumentBytes - 3 + input.ConsumeIntegralInRange(0, 6);
    if (target > total) {
      args.emplace_back((target - total) / width.bytes, width.unit);
      total += generalised_utf8_length(args.back());
    }
  }
  require(vornakel::capture_arguments_in_bound(args) ==
              (args.size() <= vornakel::kMaxCaptureArguments &&
               total <= vornakel::kMaxCaptureArgumentBytes),
          "at most 128 arguments and 16384 bytes in all, both inclusive");

  const std::u16string line = vornakel::engine_command_line(kEnginePath, args);
  std::vector<std::u16string> expected = {std::u16string(kEnginePath)};
  for (const std::u16string& arg : args) {
    expected.push_back(*vornakel::utf8_to_utf16(vornakel::utf16_to_utf8_lossy(arg)));
  }
  require(split_command_line(line) == expected,
          "the engine reads back exactly the path and the arguments");
  if (!args.empty()) {
    require(split_command_line(u"p " + vornakel::quote_argument(args.back()))[1] == expected.back(),
            "one quoted argument reads back alone");
  }
  return 0;
}
