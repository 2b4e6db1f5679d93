#include "h264/avcc.h"

#include <cstddef>

namespace vornakel::capture {

std::vector<std::span<const uint8_t>> nalUnits(std::span<const uint8_t> block,
                                               int lengthFieldSize) {
  std::vector<std::span<const uint8_t>> units;
  // A length field wider than 4 bytes could not be held in 32 bits and no encoder produces one.
  if (lengthFieldSize < 1 || lengthFieldSize > 4) return units;
  const size_t fieldSize = static_cast<size_t>(lengthFieldSize);
  if (block.size() < fieldSize) return units;

  size_t offset = 0;
  while (true) {
    uint32_t length = 0;
    for (size_t i = 0; i < fieldSize; ++i) length = (length << 8) | block[offset + i];
    if (length == 0) break;
    const size_t unitStart = offset + fieldSize;
    // Compared by subtraction so that a huge length cannot wrap the sum.
    if (length > block.size() - unitStart) break;
    units.push_back(block.subspan(unitStart, length));
    offset = unitStart + length;
    if (block.size() - offset < fieldSize) break;
  }
  return units;
}

}  // namespace vornakel::capture
