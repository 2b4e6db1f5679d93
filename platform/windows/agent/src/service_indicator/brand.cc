#include "service_indicator/brand.h"

#include <array>

#include "service_indicator/display_text.h"
#include "service_indicator/strict_record.h"

namespace vornakel::service_indicator {
namespace {

constexpr std::array<MemberSpec, 6> kBrandMembers = {{
    {"productName", MemberShape::kString},
    {"ink", MemberShape::kString},
    {"paper", MemberShape::kString},
    {"mint", MemberShape::kString},
    {"accent", MemberShape::kString},
    {"danger", MemberShape::kString},
}};

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

uint32_t hex_byte(std::string_view colour, size_t at) {
  return static_cast<uint32_t>(hex_digit(colour[at]) * 16 + hex_digit(colour[at + 1]));
}

}  // namespace

Result<Brand> parse_brand(std::string_view text) {
  auto values = parse_strict_record(text, kBrandMembers, "invalid brand");
  if (!values.ok()) return values.take_error();
  std::vector<MemberValue>& v = values.value();
  return Brand{std::move(v[0].text), std::move(v[1].text), std::move(v[2].text),
               std::move(v[3].text), std::move(v[4].text), std::move(v[5].text)};
}

Status validate_brand(const Brand& brand) {
  const size_t bytes = brand.product_name.size();
  if (bytes < 1 || bytes > 60 || !count_displayable_scalars(brand.product_name)) {
    return Error::message(kInvalidBrand);
  }
  for (const std::string* colour :
       {&brand.ink, &brand.paper, &brand.mint, &brand.accent, &brand.danger}) {
    if (!is_colour(*colour)) return Error::message(kInvalidBrand);
  }
  return Ok();
}

Result<Brand> load_brand(std::string_view text) {
  Result<Brand> brand = parse_brand(text);
  if (!brand.ok()) return brand;
  VK_RETURN_IF_ERROR(validate_brand(brand.value()));
  return brand;
}

bool is_colour(std::string_view text) {
  if (text.size() != 7 || text[0] != '#') return false;
  for (char c : text.substr(1)) {
    if (hex_digit(c) < 0) return false;
  }
  return true;
}

uint32_t colour_value(std::string_view colour) {
  return hex_byte(colour, 1) | (hex_byte(colour, 3) << 8) | (hex_byte(colour, 5) << 16);
}

}  // namespace vornakel::service_indicator
