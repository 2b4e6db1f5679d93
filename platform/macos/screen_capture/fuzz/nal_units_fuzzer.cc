// The splitter of the encoder's length-prefixed output into NAL units. Oracle: an independent walk
// over the same bytes (lengths read big-endian, field sizes 1 to 4 only) predicts every unit; each
// unit the splitter returns lies inside the block, and the block is handed over in a buffer of its
// exact size so that AddressSanitizer catches any read past it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "h264/avcc.h"
#include "support/capture_fuzz_oracles.h"

namespace {

using vornakel::capture::fuzz::require;

struct Piece {
  size_t offset;
  size_t length;
};

std::vector<Piece> expectUnits(const uint8_t* block, size_t size, int fieldSize) {
  std::vector<Piece> units;
  if (fieldSize < 1 || fieldSize > 4) return units;
  const auto field = static_cast<size_t>(fieldSize);
  size_t at = 0;
  while (size - at >= field) {
    uint64_t length = 0;
    for (size_t i = 0; i < field; ++i) length = length * 256 + block[at + i];
    if (length == 0 || length > size - at - field) break;
    units.push_back({at + field, static_cast<size_t>(length)});
    at += field + static_cast<size_t>(length);
  }
  return units;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // Mostly the sizes a format description gives; now and then any value, 0 and negatives included.
  const int fieldSize = (data[0] & 0x80) ? static_cast<int8_t>(data[0] << 1) / 2 : 1 + data[0] % 4;
  const size_t blockSize = size - 1;
  const std::unique_ptr<uint8_t[]> block(new uint8_t[blockSize == 0 ? 1 : blockSize]);
  if (blockSize > 0) std::memcpy(block.get(), data + 1, blockSize);
  const std::span<const uint8_t> view(block.get(), blockSize);

  const auto units = vornakel::capture::nalUnits(view, fieldSize);
  const auto expected = expectUnits(block.get(), blockSize, fieldSize);
  require(units.size() == expected.size(), "the same number of units");
  for (size_t i = 0; i < units.size(); ++i) {
    require(units[i].data() == block.get() + expected[i].offset &&
                units[i].size() == expected[i].length,
            "each unit is the same view into the block");
  }
  return 0;
}
