#include "service_indicator/display_text.h"

#include "common/utf16.h"

namespace vornakel::service_indicator {

std::optional<size_t> count_displayable_scalars(std::string_view text) {
  const std::optional<std::u16string> wide = utf8_to_utf16(text);
  if (!wide) return std::nullopt;
  size_t scalars = 0;
  for (char16_t c : *wide) {
    if (c <= 0x1F || (c >= 0x7F && c <= 0x9F)) return std::nullopt;
    // The second half of a surrogate pair belongs to the scalar its first half started.
    if (c < 0xDC00 || c > 0xDFFF) ++scalars;
  }
  return scalars;
}

}  // namespace vornakel::service_indicator
