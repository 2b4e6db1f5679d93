// The UTF-8 and UTF-16 conversions, and the input desktop's name as Windows hands it back. The
// bytes are read both as UTF-8 and as little-endian UTF-16 units. Oracles: strict UTF-8 accepts
// exactly the well-formed sequences and yields their scalar values; strict UTF-16 refuses exactly
// the texts with an unpaired surrogate; the lossy form always yields well-formed UTF-8 and differs
// from the strict one only where a surrogate was unpaired.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/utf16.h"
#include "service_host/capture/input_desktop_name.h"
#include "support/fuzz_oracles.h"

namespace {

using vornakel::fuzz::require;

// Scalar values of UTF-16 units, an unpaired surrogate becoming U+FFFD; `unpaired` counts them.
std::vector<char32_t> utf16_scalars(std::u16string_view units, size_t& unpaired) {
  std::vector<char32_t> out;
  unpaired = 0;
  for (size_t i = 0; i < units.size(); ++i) {
    const char32_t unit = units[i];
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      out.push_back(0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else if (high || low) {
      out.push_back(0xFFFD);
      ++unpaired;
    } else {
      out.push_back(unit);
    }
  }
  return out;
}

void check_utf8_side(std::string_view bytes) {
  const auto expected = vornakel::fuzz::decode_well_formed_utf8(bytes);
  const auto utf16 = vornakel::utf8_to_utf16(bytes);
  require(utf16.has_value() == expected.has_value(),
          "strict UTF-8 accepts exactly the well-formed sequences");
  if (!utf16) return;
  size_t unpaired = 0;
  require(utf16_scalars(*utf16, unpaired) == *expected && unpaired == 0,
          "UTF-8 to UTF-16 keeps every scalar value");
  const auto back = vornakel::utf16_to_utf8(*utf16);
  require(back.has_value() && *back == bytes, "well-formed UTF-8 survives the round trip");
}

void check_utf16_side(std::u16string_view units) {
  size_t unpaired = 0;
  const std::vector<char32_t> scalars = utf16_scalars(units, unpaired);
  const auto strict = vornakel::utf16_to_utf8(units);
  require(strict.has_value() == (unpaired == 0), "strict UTF-16 refuses unpaired surrogates only");
  const std::string lossy = vornakel::utf16_to_utf8_lossy(units);
  const auto decoded = vornakel::fuzz::decode_well_formed_utf8(lossy);
  require(decoded.has_value() && *decoded == scalars,
          "lossy UTF-16 gives well-formed UTF-8 with U+FFFD for each unpaired surrogate");
  if (strict) require(*strict == lossy, "strict and lossy agree on valid text");
  require(vornakel::utf8_length_of(units) == lossy.size(),
          "UTF-8 length counts an unpaired surrogate as three bytes");
}

void check_desktop_name(std::u16string_view units) {
  vornakel::DesktopNameBuffer buffer{};
  const size_t copied = std::min(units.size(), buffer.size());
  std::copy_n(units.begin(), copied, buffer.begin());
  const std::u16string_view filled(buffer.data(), buffer.size());
  const std::u16string_view name = filled.substr(0, std::min(filled.find(u'\0'), filled.size()));
  const std::string text = vornakel::desktop_name_in(buffer);
  require(text == vornakel::utf16_to_utf8_lossy(name),
          "the desktop name ends at the first zero or at the buffer's end");

  const auto desktop = vornakel::engine_desktop_for(text);
  const bool known = text == "Default" || text == "Winlogon";
  require(desktop.ok() == known, "only the Default and Winlogon desktops are accepted");
  if (known) {
    require(desktop.value() == u"WinSta0\\" + std::u16string(name.begin(), name.end()),
            "the engine runs on the named desktop of WinSta0");
  } else {
    require(desktop.error().text() == vornakel::kUnsupportedInputDesktop,
            "another desktop is refused by name");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  check_utf8_side(bytes);

  std::u16string units(size / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  check_utf16_side(units);
  check_desktop_name(units);
  // The names themselves are rarely hit by chance: the UTF-8 bytes widened unit by unit reach them.
  if (const auto widened = vornakel::utf8_to_utf16(bytes)) check_desktop_name(*widened);
  return 0;
}
