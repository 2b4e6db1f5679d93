// Quoting of one argument for a Windows command line, in the form that CommandLineToArgvW and the
// Microsoft C runtime split back into exactly the original argument.
#ifndef VORNAKEL_SERVICE_HOST_QUOTE_ARGUMENT_H_
#define VORNAKEL_SERVICE_HOST_QUOTE_ARGUMENT_H_

#include <string>
#include <string_view>

namespace vornakel {

// Always encloses the argument in double quotes. A run of n backslashes becomes 2n + 1 backslashes
// before an embedded quote and 2n before the closing quote; elsewhere it is copied. Unpaired
// surrogates are replaced with U+FFFD first, so the result is always valid Unicode.
std::u16string quote_argument(std::u16string_view argument);

}  // namespace vornakel

#endif  // VORNAKEL_SERVICE_HOST_QUOTE_ARGUMENT_H_
