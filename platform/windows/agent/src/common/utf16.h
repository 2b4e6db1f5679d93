// Conversions between the UTF-16 text Windows hands out and the UTF-8 text the program works in.
// Portable code keeps Windows strings as std::u16string; the Win32 adapters convert from wchar_t.
#ifndef VORNAKEL_COMMON_UTF16_H_
#define VORNAKEL_COMMON_UTF16_H_

#include <optional>
#include <string>
#include <string_view>

namespace vornakel {

// Strict: nullopt when the text holds an unpaired surrogate.
std::optional<std::string> utf16_to_utf8(std::u16string_view text);

// Lossy: every unpaired surrogate becomes U+FFFD.
std::string utf16_to_utf8_lossy(std::u16string_view text);

// Strict: nullopt when the bytes are not well-formed UTF-8 (overlong forms, surrogates and values
// above U+10FFFF included).
std::optional<std::u16string> utf8_to_utf16(std::string_view text);

// Length of `text` in UTF-8 bytes, counting each unpaired surrogate as 3 bytes (the width of its
// generalised UTF-8 form).
size_t utf8_length_of(std::u16string_view text);

}  // namespace vornakel

#endif  // VORNAKEL_COMMON_UTF16_H_
