#include "common/utf16.h"

#include <cstdint>

namespace vornakel {
namespace {

bool is_high(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void append_code_point(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Walks `text`, calling `on_unpaired` for each lone surrogate; returns false as soon as the
// callback does.
template <typename OnUnpaired>
bool convert(std::u16string_view text, std::string& out, OnUnpaired on_unpaired) {
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (is_high(c) && i + 1 < text.size() && is_low(text[i + 1])) {
      const uint32_t cp = 0x10000u + ((static_cast<uint32_t>(c) - 0xD800u) << 10) +
                          (static_cast<uint32_t>(text[i + 1]) - 0xDC00u);
      append_code_point(out, cp);
      ++i;
    } else if (is_high(c) || is_low(c)) {
      if (!on_unpaired(out)) return false;
    } else {
      append_code_point(out, c);
    }
  }
  return true;
}

}  // namespace

std::optional<std::string> utf16_to_utf8(std::u16string_view text) {
  std::string out;
  if (!convert(text, out, [](std::string&) { return false; })) return std::nullopt;
  return out;
}

std::string utf16_to_utf8_lossy(std::u16string_view text) {
  std::string out;
  convert(text, out, [](std::string& o) {
    append_code_point(o, 0xFFFD);
    return true;
  });
  return out;
}

std::optional<std::u16string> utf8_to_utf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    uint32_t cp;
    size_t extra;
    uint32_t min;
    if (b0 < 0x80) {
      cp = b0, extra = 0, min = 0;
    } else if ((b0 & 0xE0) == 0xC0) {
      cp = b0 & 0x1F, extra = 1, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
      cp = b0 & 0x0F, extra = 2, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
      cp = b0 & 0x07, extra = 3, min = 0x10000;
    } else {
      return std::nullopt;
    }
    if (i + extra >= text.size()) return std::nullopt;
    for (size_t k = 1; k <= extra; ++k) {
      const auto b = static_cast<unsigned char>(text[i + k]);
      if ((b & 0xC0) != 0x80) return std::nullopt;
      cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += extra + 1;
  }
  return out;
}

size_t utf8_length_of(std::u16string_view text) {
  size_t length = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (is_high(c) && i + 1 < text.size() && is_low(text[i + 1])) {
      length += 4;
      ++i;
    } else if (c < 0x80) {
      length += 1;
    } else if (c < 0x800) {
      length += 2;
    } else {
      length += 3;
    }
  }
  return length;
}

}  // namespace vornakel
