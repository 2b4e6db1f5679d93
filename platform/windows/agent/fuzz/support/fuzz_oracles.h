// Oracles shared by the fuzz targets. Each is written from the rule it checks, in a different
// shape from the production code, so that the two cannot share a mistake.
#ifndef VORNAKEL_FUZZ_SUPPORT_FUZZ_ORACLES_H_
#define VORNAKEL_FUZZ_SUPPORT_FUZZ_ORACLES_H_

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vornakel::fuzz {

// Stops the run with a message naming the broken property; libFuzzer keeps the input.
[[noreturn]] inline void fail(const char* property) {
  std::fprintf(stderr, "fuzz oracle: %s\n", property);
  std::abort();
}

inline void require(bool holds, const char* property) {
  if (!holds) fail(property);
}

// The scalar values of well-formed UTF-8, or nullopt. Built from the table of well-formed byte
// sequences: the allowed range of every byte is looked up by the lead byte, which excludes
// overlong forms, surrogates and values above U+10FFFF without arithmetic on the decoded value.
inline std::optional<std::vector<char32_t>> decode_well_formed_utf8(std::string_view text) {
  struct Row {
    uint8_t lead_low, lead_high;
    uint8_t second_low, second_high;
    int trailing;  // continuation bytes after the second one
  };
  static constexpr Row kRows[] = {
      {0xC2, 0xDF, 0x80, 0xBF, 0}, {0xE0, 0xE0, 0xA0, 0xBF, 1}, {0xE1, 0xEC, 0x80, 0xBF, 1},
      {0xED, 0xED, 0x80, 0x9F, 1}, {0xEE, 0xEF, 0x80, 0xBF, 1}, {0xF0, 0xF0, 0x90, 0xBF, 2},
      {0xF1, 0xF3, 0x80, 0xBF, 2}, {0xF4, 0xF4, 0x80, 0x8F, 2},
  };
  std::vector<char32_t> out;
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<uint8_t>(text[i]);
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    }
    const Row* row = nullptr;
    for (const Row& candidate : kRows) {
      if (lead >= candidate.lead_low && lead <= candidate.lead_high) row = &candidate;
    }
    if (row == nullptr) return std::nullopt;
    const size_t length = 2 + static_cast<size_t>(row->trailing);
    if (text.size() - i < length) return std::nullopt;
    const auto second = static_cast<uint8_t>(text[i + 1]);
    if (second < row->second_low || second > row->second_high) return std::nullopt;
    // The lead byte keeps 7 - length bits; every continuation byte 6.
    char32_t value = lead & (0x7F >> length);
    value = (value << 6) | (second & 0x3F);
    for (size_t k = 2; k < length; ++k) {
      const auto next = static_cast<uint8_t>(text[i + k]);
      if (next < 0x80 || next > 0xBF) return std::nullopt;
      value = (value << 6) | (next & 0x3F);
    }
    out.push_back(value);
    i += length;
  }
  return out;
}

inline bool is_well_formed_utf8(std::string_view text) {
  return decode_well_formed_utf8(text).has_value();
}

// Takes the locale named by the environment (LC_ALL and friends), so that the same target can be
// run under a locale with a decimal comma. A locale that is asked for but cannot be set fails the
// run at once rather than fuzzing under "C" unnoticed.
inline void adopt_environment_locale() {
  const char* asked = std::getenv("LC_ALL");
  const bool wants_locale = asked != nullptr && *asked != '\0' && std::strcmp(asked, "C") != 0;
  if (std::setlocale(LC_ALL, "") == nullptr && wants_locale)
    fail("the requested locale is missing");
  if (wants_locale) {
    std::fprintf(stderr, "fuzz locale: %s, decimal point '%s'\n", std::setlocale(LC_ALL, nullptr),
                 std::localeconv()->decimal_point);
  }
}

}  // namespace vornakel::fuzz

#endif  // VORNAKEL_FUZZ_SUPPORT_FUZZ_ORACLES_H_
