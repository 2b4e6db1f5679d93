#pragma once

#include <string>
#include <string_view>

namespace vornakel::capture {

inline constexpr std::string_view kNotePrefix = "vornakel-screen-capture: ";

// The whole line a note writes: prefix, text with its control bytes written as \xNN, line feed.
std::string noteLine(std::string_view text);

// Writes one message line to standard error in a single write (so that lines from several queues
// never interleave).
void note(std::string_view text);
void note(int descriptor, std::string_view text);

}  // namespace vornakel::capture
