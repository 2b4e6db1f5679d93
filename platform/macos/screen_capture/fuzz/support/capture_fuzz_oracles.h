// What every capture helper fuzz target needs: a failing oracle that names the broken property,
// and the locale of the environment, so that a run under a decimal-comma locale is possible.
#pragma once

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vornakel::capture::fuzz {

[[noreturn]] inline void fail(const char* property) {
  std::fprintf(stderr, "fuzz oracle: %s\n", property);
  std::abort();
}

inline void require(bool holds, const char* property) {
  if (!holds) fail(property);
}

// A locale that is asked for but cannot be set fails the run rather than fuzzing under "C".
inline void adoptEnvironmentLocale() {
  const char* asked = std::getenv("LC_ALL");
  const bool wantsLocale = asked != nullptr && *asked != '\0' && std::strcmp(asked, "C") != 0;
  if (std::setlocale(LC_ALL, "") == nullptr && wantsLocale) fail("the requested locale is missing");
  if (wantsLocale) {
    std::fprintf(stderr, "fuzz locale: %s, decimal point '%s'\n", std::setlocale(LC_ALL, nullptr),
                 std::localeconv()->decimal_point);
  }
}

}  // namespace vornakel::capture::fuzz
