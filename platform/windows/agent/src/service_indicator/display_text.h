// Rules for text that the indicator shows to the local user.
#ifndef VORNAKEL_SERVICE_INDICATOR_DISPLAY_TEXT_H_
#define VORNAKEL_SERVICE_INDICATOR_DISPLAY_TEXT_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vornakel::service_indicator {

// The number of Unicode scalar values in `text`, or nullopt when it is not well-formed UTF-8 or
// holds a C0 control, DEL or a C1 control (U+0000-U+001F, U+007F-U+009F).
std::optional<size_t> count_displayable_scalars(std::string_view text);

// Shown in place of a character the person could not see.
inline constexpr char32_t kHiddenCharacterMark = U'\uFFFD';

// Whether `c` changes how the text around it reads without being seen itself: a bidirectional
// control, any other format character (category Cf) except the two joiners, or a line or
// paragraph separator.
bool is_hidden_character(char32_t c);

// `text` (well-formed UTF-8) with every hidden character replaced by kHiddenCharacterMark, so the
// person reads the characters the signer wrote, in the order they wrote them. Bytes that are not
// well-formed UTF-8 are left as they are: the session line's checks refuse them before this.
std::string mark_hidden_characters(std::string_view text);

}  // namespace vornakel::service_indicator

#endif  // VORNAKEL_SERVICE_INDICATOR_DISPLAY_TEXT_H_
