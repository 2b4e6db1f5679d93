#include "linux/nv12_converter.h"

#include <algorithm>

namespace vornakel::capture {
namespace {

inline uint8_t lumaOf(int r, int g, int b) {
  return static_cast<uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
}

}  // namespace

void Nv12Converter::prepareMaps(const BgrxImage& source, const Picture& target) {
  if (source.width == mappedSourceWidth_ && source.height == mappedSourceHeight_ &&
      target.width == mappedTargetWidth_ && target.height == mappedTargetHeight_) {
    return;
  }
  columnOffsets_.resize(static_cast<size_t>(target.width));
  for (int32_t x = 0; x < target.width; ++x) {
    const int64_t sourceX = (static_cast<int64_t>(x) * source.width) / target.width;
    columnOffsets_[static_cast<size_t>(x)] = static_cast<int32_t>(sourceX * 4);
  }
  sourceRows_.resize(static_cast<size_t>(target.height));
  for (int32_t y = 0; y < target.height; ++y) {
    sourceRows_[static_cast<size_t>(y)] =
        static_cast<int32_t>((static_cast<int64_t>(y) * source.height) / target.height);
  }
  mappedSourceWidth_ = source.width;
  mappedSourceHeight_ = source.height;
  mappedTargetWidth_ = target.width;
  mappedTargetHeight_ = target.height;
}

namespace {

// The common case of a screen no wider than the encoded size: straight runs the compiler can
// vectorise, no index maps.
void convertSameSize(const BgrxImage& source, Picture& target) {
  for (int32_t y = 0; y < target.height; y += 2) {
    const uint8_t* row0 =
        source.pixels + static_cast<size_t>(y) * static_cast<size_t>(source.stride);
    const uint8_t* row1 = row0 + source.stride;
    uint8_t* luma0 = target.luma() + static_cast<size_t>(y) * static_cast<size_t>(target.width);
    uint8_t* luma1 = luma0 + target.width;
    for (int32_t x = 0; x < target.width; ++x) {
      const uint8_t* a = row0 + 4 * x;
      const uint8_t* c = row1 + 4 * x;
      luma0[x] = lumaOf(a[2], a[1], a[0]);
      luma1[x] = lumaOf(c[2], c[1], c[0]);
    }
    uint8_t* chroma =
        target.chroma() + static_cast<size_t>(y / 2) * static_cast<size_t>(target.width);
    for (int32_t x = 0; x < target.width; x += 2) {
      const uint8_t* a = row0 + 4 * x;
      const uint8_t* c = row1 + 4 * x;
      const int r = (a[2] + a[6] + c[2] + c[6] + 2) >> 2;
      const int g = (a[1] + a[5] + c[1] + c[5] + 2) >> 2;
      const int bl = (a[0] + a[4] + c[0] + c[4] + 2) >> 2;
      chroma[x] = static_cast<uint8_t>(((-38 * r - 74 * g + 112 * bl + 128) >> 8) + 128);
      chroma[x + 1] = static_cast<uint8_t>(((112 * r - 94 * g - 18 * bl + 128) >> 8) + 128);
    }
  }
}

}  // namespace

void Nv12Converter::convert(const BgrxImage& source, Picture& target) {
  if (source.width == target.width && source.height == target.height) {
    convertSameSize(source, target);
    return;
  }
  prepareMaps(source, target);
  const int32_t* columns = columnOffsets_.data();
  for (int32_t y = 0; y < target.height; y += 2) {
    const uint8_t* row0 = source.pixels + static_cast<size_t>(sourceRows_[static_cast<size_t>(y)]) *
                                              static_cast<size_t>(source.stride);
    const uint8_t* row1 =
        source.pixels + static_cast<size_t>(sourceRows_[static_cast<size_t>(y) + 1]) *
                            static_cast<size_t>(source.stride);
    uint8_t* luma0 = target.luma() + static_cast<size_t>(y) * static_cast<size_t>(target.width);
    uint8_t* luma1 = luma0 + target.width;
    uint8_t* chroma =
        target.chroma() + static_cast<size_t>(y / 2) * static_cast<size_t>(target.width);
    for (int32_t x = 0; x < target.width; x += 2) {
      const uint8_t* a = row0 + columns[x];
      const uint8_t* b = row0 + columns[x + 1];
      const uint8_t* c = row1 + columns[x];
      const uint8_t* d = row1 + columns[x + 1];
      luma0[x] = lumaOf(a[2], a[1], a[0]);
      luma0[x + 1] = lumaOf(b[2], b[1], b[0]);
      luma1[x] = lumaOf(c[2], c[1], c[0]);
      luma1[x + 1] = lumaOf(d[2], d[1], d[0]);
      const int r = (a[2] + b[2] + c[2] + d[2] + 2) >> 2;
      const int g = (a[1] + b[1] + c[1] + d[1] + 2) >> 2;
      const int bl = (a[0] + b[0] + c[0] + d[0] + 2) >> 2;
      chroma[x] = static_cast<uint8_t>(((-38 * r - 74 * g + 112 * bl + 128) >> 8) + 128);
      chroma[x + 1] = static_cast<uint8_t>(((112 * r - 94 * g - 18 * bl + 128) >> 8) + 128);
    }
  }
}

void compositeCursor(BgrxImage& screen, const uint32_t* argb, int32_t width, int32_t height,
                     int32_t left, int32_t top) {
  const int32_t firstRow = std::max(0, -top);
  const int32_t lastRow = std::min(height, screen.height - top);
  const int32_t firstColumn = std::max(0, -left);
  const int32_t lastColumn = std::min(width, screen.width - left);
  // A cursor wholly off to one side would otherwise set its row pointers past the end of the
  // image it came in.
  if (firstRow >= lastRow || firstColumn >= lastColumn) return;
  for (int32_t row = firstRow; row < lastRow; ++row) {
    uint8_t* target = screen.pixels +
                      static_cast<size_t>(top + row) * static_cast<size_t>(screen.stride) +
                      static_cast<size_t>(left + firstColumn) * 4;
    const uint32_t* pixel =
        argb + static_cast<size_t>(row) * static_cast<size_t>(width) + firstColumn;
    for (int32_t column = firstColumn; column < lastColumn; ++column, ++pixel, target += 4) {
      const uint32_t value = *pixel;
      const uint32_t alpha = value >> 24;
      if (alpha == 0) continue;
      const uint32_t keep = 255 - alpha;
      // Premultiplied: colour + background × (1 − alpha).
      target[0] = static_cast<uint8_t>(
          std::min<uint32_t>(255, (value & 0xFF) + (target[0] * keep + 127) / 255));
      target[1] = static_cast<uint8_t>(
          std::min<uint32_t>(255, ((value >> 8) & 0xFF) + (target[1] * keep + 127) / 255));
      target[2] = static_cast<uint8_t>(
          std::min<uint32_t>(255, ((value >> 16) & 0xFF) + (target[2] * keep + 127) / 255));
    }
  }
}

}  // namespace vornakel::capture
