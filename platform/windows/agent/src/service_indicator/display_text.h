// Rules for text that the indicator shows to the local user.
#ifndef VORNAKEL_SERVICE_INDICATOR_DISPLAY_TEXT_H_
#define VORNAKEL_SERVICE_INDICATOR_DISPLAY_TEXT_H_

#include <cstddef>
#include <optional>
#include <string_view>

namespace vornakel::service_indicator {

// The number of Unicode scalar values in `text`, or nullopt when it is not well-formed UTF-8 or
// holds a C0 control, DEL or a C1 control (U+0000-U+001F, U+007F-U+009F).
std::optional<size_t> count_displayable_scalars(std::string_view text);

}  // namespace vornakel::service_indicator

#endif  // VORNAKEL_SERVICE_INDICATOR_DISPLAY_TEXT_H_
