// Cases for the printable-token rule of key identifiers and entitlements.
#ifndef VORNAKEL_TESTS_NATIVE_PROTOCOL_SUPPORT_PRINTABLE_TOKEN_CASES_H_
#define VORNAKEL_TESTS_NATIVE_PROTOCOL_SUPPORT_PRINTABLE_TOKEN_CASES_H_

#include <string>
#include <utility>
#include <vector>

namespace vornakel::native_protocol::testing {

// Identifiers the signing service names itself by (key identifiers, entitlements) are 1 to 64
// visible ASCII characters. Each end of that range and each byte just outside it is placed first,
// inside and last, since a check can skip either end of the text as easily as the middle.
inline std::vector<std::pair<std::string, bool>> printable_token_cases() {
  std::vector<std::pair<std::string, bool>> cases;
  const auto placed = [](char c, size_t at) {
    std::string token = "k-1.z";
    token[at] = c;
    return token;
  };
  for (size_t at : {size_t{0}, size_t{2}, size_t{4}}) {
    for (char c : {'\x21', '\x7E'}) cases.emplace_back(placed(c, at), true);
    for (char c : {'\x00', '\x09', '\x1F', '\x20', '\x7F', '\x80', '\xC3', '\xFF'}) {
      cases.emplace_back(placed(c, at), false);
    }
  }
  cases.emplace_back(std::string(1, '!'), true);
  cases.emplace_back(std::string(64, '~'), true);
  cases.emplace_back(std::string(), false);
  cases.emplace_back(std::string(65, 'k'), false);
  return cases;
}

}  // namespace vornakel::native_protocol::testing

#endif  // VORNAKEL_TESTS_NATIVE_PROTOCOL_SUPPORT_PRINTABLE_TOKEN_CASES_H_
