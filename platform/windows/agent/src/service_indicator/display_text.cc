#include "service_indicator/display_text.h"

#include "common/utf16.h"

namespace vornakel::service_indicator {
namespace {

struct CodeRange {
  char32_t first;
  char32_t last;
};

// The format characters (category Cf) as of Unicode 15.1, without U+200C and U+200D, which
// shape joined scripts and hide nothing; then the line and paragraph separators, which Windows'
// edit control breaks lines on.
constexpr CodeRange kHiddenRanges[] = {
    {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},
    {0x070F, 0x070F},   {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},
    {0x200B, 0x200B},   {0x200E, 0x200F},   {0x2028, 0x2029},   {0x202A, 0x202E},
    {0x2060, 0x2064},   {0x2066, 0x206F},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},
    {0x110BD, 0x110BD}, {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3},
    {0x1D173, 0x1D17A}, {0xE0001, 0xE0001}, {0xE0020, 0xE007F},
};

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

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

bool is_hidden_character(char32_t c) {
  for (const CodeRange& range : kHiddenRanges) {
    if (c >= range.first && c <= range.last) return true;
  }
  return false;
}

std::string mark_hidden_characters(std::string_view text) {
  const std::optional<std::u16string> wide = utf8_to_utf16(text);
  if (!wide) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < wide->size(); ++i) {
    char32_t c = (*wide)[i];
    // Well-formed input pairs every high surrogate with a low one.
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide->size()) {
      c = 0x10000 + ((c - 0xD800) << 10) + ((*wide)[++i] - 0xDC00);
    }
    append_utf8(out, is_hidden_character(c) ? kHiddenCharacterMark : c);
  }
  return out;
}

}  // namespace vornakel::service_indicator
