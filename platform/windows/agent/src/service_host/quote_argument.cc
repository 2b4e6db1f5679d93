#include "service_host/quote_argument.h"

#include <cstddef>

#include "service_host/path_text.h"

namespace vornakel {

std::u16string quote_argument(std::u16string_view argument) {
  const std::u16string text = path_text(argument);
  std::u16string quoted;
  quoted.reserve(text.size() + 2);
  quoted.push_back(u'"');
  size_t backslashes = 0;
  for (const char16_t c : text) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    if (c == u'"') {
      quoted.append(2 * backslashes + 1, u'\\');
    } else {
      quoted.append(backslashes, u'\\');
    }
    quoted.push_back(c);
    backslashes = 0;
  }
  quoted.append(2 * backslashes, u'\\');
  quoted.push_back(u'"');
  return quoted;
}

}  // namespace vornakel
