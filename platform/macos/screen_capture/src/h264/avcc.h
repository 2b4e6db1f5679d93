#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vornakel::capture {

// The length-field size used when the format description does not report one.
constexpr int kDefaultNalLengthFieldSize = 4;

// Splits length-prefixed (AVCC) sample data into its NAL units. The units are views into `block`:
// nothing is copied, and no byte outside `block` is ever read. Length-field sizes other than 1 to 4
// (including 0) give no units. The walk ends at a zero length, at a unit that would run past the
// block, or where no whole length field is left.
std::vector<std::span<const uint8_t>> nalUnits(std::span<const uint8_t> block, int lengthFieldSize);

}  // namespace vornakel::capture
