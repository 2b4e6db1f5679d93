// The look of the indicator's windows: the product name and five colours. The program carries one
// built-in brand text and parses and validates it at every start, by the same strict rules as the
// records it is sent, so that a faulty build never shows a half-branded window.
#ifndef VORNAKEL_SERVICE_INDICATOR_BRAND_H_
#define VORNAKEL_SERVICE_INDICATOR_BRAND_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "common/result.h"

namespace vornakel::service_indicator {

inline constexpr char kInvalidBrand[] = "Invalid shared brand configuration";

// Two-space indentation, one member per line, a final line feed: 149 bytes.
inline constexpr std::string_view kBuiltinBrandText =
    "{\n"
    "  \"productName\": \"Vornakel Connect\",\n"
    "  \"ink\": \"#132238\",\n"
    "  \"paper\": \"#f5f8fc\",\n"
    "  \"mint\": \"#73c8c2\",\n"
    "  \"accent\": \"#1f6f8b\",\n"
    "  \"danger\": \"#b42318\"\n"
    "}\n";

struct Brand {
  std::string product_name;  // productName
  std::string ink;
  std::string paper;
  std::string mint;
  std::string accent;  // validated; no element of the window uses it
  std::string danger;  // validated; no element of the window uses it
};

// Strict: the six members, all strings, nothing else. A failure is the parser's error.
Result<Brand> parse_brand(std::string_view text);

// productName by its rule, then the five colours; the first broken rule gives kInvalidBrand.
Status validate_brand(const Brand& brand);

// parse_brand, then validate_brand.
Result<Brand> load_brand(std::string_view text = kBuiltinBrandText);

// "#" and six hexadecimal digits of either case, read as RRGGBB.
bool is_colour(std::string_view text);

// The Windows colour value 0x00BBGGRR of a colour that is_colour accepts.
uint32_t colour_value(std::string_view colour);

}  // namespace vornakel::service_indicator

#endif  // VORNAKEL_SERVICE_INDICATOR_BRAND_H_
