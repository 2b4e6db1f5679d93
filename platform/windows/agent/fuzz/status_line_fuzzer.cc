// Every number the Windows program prints: the codes of the status lines (input host and
// indicator) and the codes in an error's display. Run under a decimal-comma locale as well, since
// none of them may follow the locale. Oracles: each status line is one JSON object on one line,
// type first, no blanks, whose code reads back exactly; a display ends with the code in its fixed
// form ("0x" and eight upper-case hex digits, or "(os error N)"), written out here independently.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "common/error.h"
#include "common/error_display.h"
#include "native_protocol/framing.h"
#include "support/fuzz_oracles.h"

namespace {

using namespace vornakel::native_protocol;
using vornakel::fuzz::require;

nlohmann::json read_line(const StatusLine& line) {
  const std::string& bytes = line.bytes();
  require(!bytes.empty() && bytes.back() == '\n' && bytes.find('\n') == bytes.size() - 1,
          "a status line is one line ending in a line feed");
  require(bytes.find(' ') == std::string::npos, "a status line has no blanks");
  require(bytes.rfind("{\"type\":", 0) == 0, "type comes first");
  const auto document = nlohmann::json::parse(bytes, nullptr, /*allow_exceptions=*/false);
  require(document.is_object(), "a status line is a JSON object");
  return document;
}

class ScriptedMessages final : public vornakel::SystemMessages {
 public:
  std::optional<std::string> text;
  uint32_t format_error = 0;
  Lookup find(uint32_t, bool) const override { return {text, format_error}; }
};

std::string hex_code(uint32_t code) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) out += kDigits[(code >> shift) & 0xF];
  return out;
}

std::string decimal(uint32_t value) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + value % 10));
    value /= 10;
  } while (value != 0);
  return digits;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vornakel::fuzz::adopt_environment_locale();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const uint32_t code = in.ConsumeIntegral<uint32_t>();
  const auto loop_stage = static_cast<LoopStage>(in.ConsumeIntegralInRange(0, 13));
  const auto error_line = read_line(StatusLine::error(loop_stage, code));
  require(error_line["type"] == "error" && error_line["stage"] == loop_stage_word(loop_stage) &&
              error_line["win32"].is_number_unsigned() && error_line["win32"] == code,
          "the loop's error line carries the code in decimal");

  const int32_t signed_code = in.ConsumeIntegral<int32_t>();
  const auto window_stage = static_cast<WindowStage>(in.ConsumeIntegralInRange(0, 5));
  const auto desktop = in.ConsumeBool() ? DesktopName::kDefault : DesktopName::kWinlogon;
  const auto window_line = read_line(StatusLine::window_error(window_stage, desktop, signed_code));
  require(window_line["stage"] == window_stage_word(window_stage) &&
              window_line["desktop"] == desktop_name_word(desktop) &&
              window_line["win32"].is_number_integer() &&
              window_line["win32"].get<int64_t>() == signed_code,
          "the window's error line carries the signed code");
  const auto failure = static_cast<AuthorizationFailure>(in.ConsumeIntegral<uint8_t>());
  (void)read_line(StatusLine::authorization_error(failure));

  ScriptedMessages messages;
  if (in.ConsumeBool()) messages.text = in.ConsumeRandomLengthString(40);
  messages.format_error = in.ConsumeIntegral<uint32_t>();
  const std::string os = vornakel::display(vornakel::Error::os(code), messages);
  const std::string hex = hex_code(code);
  const std::string os_tail = messages.text ? " (" + hex + ")" : hex;
  require(os.size() >= os_tail.size() && os.substr(os.size() - os_tail.size()) == os_tail &&
              (messages.text || os == hex),
          "an operating-system error ends with its code as 0x and eight upper-case digits");
  const std::string file = vornakel::display(vornakel::Error::file_system(code), messages);
  const std::string tail =
      messages.text ? " (os error " + decimal(code) + ")"
                    : " (FormatMessageW() returned error " + decimal(messages.format_error) + ")";
  require(file.size() >= tail.size() && file.substr(file.size() - tail.size()) == tail,
          "a file-system error ends with its code in decimal");
  if (!messages.text) {
    require(file == "OS Error " + decimal(code) + tail, "without text the code stands alone");
  }
  return 0;
}
