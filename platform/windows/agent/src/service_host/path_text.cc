#include "service_host/path_text.h"

#include <cstddef>

namespace vornakel {
namespace {

bool is_high_surrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low_surrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

std::u16string path_text(std::u16string_view path) {
  std::u16string text;
  text.reserve(path.size());
  for (size_t i = 0; i < path.size(); ++i) {
    const char16_t c = path[i];
    if (is_high_surrogate(c) && i + 1 < path.size() && is_low_surrogate(path[i + 1])) {
      text.push_back(c);
      text.push_back(path[++i]);
    } else if (is_high_surrogate(c) || is_low_surrogate(c)) {
      text.push_back(u'\uFFFD');
    } else {
      text.push_back(c);
    }
  }
  return text;
}

}  // namespace vornakel
