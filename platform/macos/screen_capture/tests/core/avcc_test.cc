#include "h264/avcc.h"

#include <gtest/gtest.h>

#include <vector>

namespace vornakel::capture {
namespace {

using Bytes = std::vector<uint8_t>;

std::vector<Bytes> walk(const Bytes& block, int lengthFieldSize) {
  std::vector<Bytes> result;
  for (auto unit : nalUnits(block, lengthFieldSize)) {
    // Every unit must lie inside the block it was cut from.
    EXPECT_GE(unit.data(), block.data());
    EXPECT_LE(unit.data() + unit.size(), block.data() + block.size());
    result.emplace_back(unit.begin(), unit.end());
  }
  return result;
}

TEST(NalUnitsTest, SplitsFourByteLengthPrefixedUnits) {
  const Bytes block = {0, 0, 0, 5, 0x65, 1, 2, 3, 4, 0, 0, 0, 3, 0x41, 5, 6};
  EXPECT_EQ(walk(block, 4), (std::vector<Bytes>{{0x65, 1, 2, 3, 4}, {0x41, 5, 6}}));
}

TEST(NalUnitsTest, UnitRunningPastTheBlockEndsTheWalkWithoutIt) {
  const Bytes block = {0, 0, 0, 5, 0x65, 1, 2, 3, 4, 0, 0, 0, 9, 0x41, 5, 6};
  EXPECT_EQ(walk(block, 4), (std::vector<Bytes>{{0x65, 1, 2, 3, 4}}));
}

TEST(NalUnitsTest, ZeroLengthEndsTheWalk) {
  const Bytes block = {0, 0, 0, 2, 0x65, 1, 0, 0, 0, 0, 0, 0, 0, 2, 0x41, 5};
  EXPECT_EQ(walk(block, 4), (std::vector<Bytes>{{0x65, 1}}));
  EXPECT_TRUE(walk({0, 0, 0, 0, 0x65}, 4).empty());
}

TEST(NalUnitsTest, ShortLengthFields) {
  EXPECT_EQ(walk({2, 0x65, 1, 1, 0x41}, 1), (std::vector<Bytes>{{0x65, 1}, {0x41}}));
  EXPECT_EQ(walk({0, 3, 0x65, 1, 2, 0x01, 0x00, 9}, 2), (std::vector<Bytes>{{0x65, 1, 2}}));
  // A 2-byte field is big-endian: 0x0102 = 258 bytes, more than the block holds.
  EXPECT_TRUE(walk({1, 2, 0x65, 1}, 2).empty());
}

TEST(NalUnitsTest, TrailingBytesShorterThanALengthFieldAreIgnored) {
  EXPECT_EQ(walk({0, 0, 0, 1, 0x65, 0, 0, 0}, 4), (std::vector<Bytes>{{0x65}}));
}

TEST(NalUnitsTest, BlocksAndFieldSizesThatGiveNothing) {
  EXPECT_TRUE(walk({}, 4).empty());
  EXPECT_TRUE(walk({0, 0, 1}, 4).empty());
  EXPECT_TRUE(walk({1, 0x65}, 0).empty());
  EXPECT_TRUE(walk({1, 0x65}, -1).empty());
  // Wider fields than 32 bits are refused rather than read into an overflowing length.
  EXPECT_TRUE(walk({0, 0, 0, 0, 0, 0, 0, 0, 1, 0x65}, 9).empty());
}

TEST(NalUnitsTest, LargestLengthDoesNotWrapTheBound) {
  EXPECT_TRUE(walk({0xFF, 0xFF, 0xFF, 0xFF, 0x65, 1, 2}, 4).empty());
  EXPECT_EQ(walk({1, 0x65, 0xFF, 1}, 1), (std::vector<Bytes>{{0x65}}));
}

TEST(NalUnitsTest, ThreeByteLengthField) {
  EXPECT_EQ(walk({0, 0, 2, 0x65, 7}, 3), (std::vector<Bytes>{{0x65, 7}}));
}

}  // namespace
}  // namespace vornakel::capture
