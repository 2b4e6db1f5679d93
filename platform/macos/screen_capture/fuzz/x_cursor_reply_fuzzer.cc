// The stand-in draws the pointer image the X server's XFIXES cursor reply describes (its size, its
// position less its hot spot, premultiplied ARGB pixels) onto the grabbed screen. Oracle: a
// pixel-by-pixel model of the blend with the clipping done per pixel; pixels outside the cursor,
// the row padding and the guard bytes around the screen stay untouched, and the cursor pixels are
// held in a buffer of their exact size so that any read past them is caught.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "linux/nv12_converter.h"
#include "support/capture_fuzz_oracles.h"

namespace {

using vornakel::capture::fuzz::require;

constexpr size_t kGuard = 64;

uint8_t blend(uint8_t colour, uint8_t background, uint32_t alpha) {
  const uint32_t value = colour + (background * (255 - alpha) + 127) / 255;
  return static_cast<uint8_t>(value > 255 ? 255 : value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int32_t screenWidth = in.ConsumeIntegralInRange(1, 40);
  const int32_t screenHeight = in.ConsumeIntegralInRange(1, 40);
  const int32_t stride = screenWidth * 4 + in.ConsumeIntegralInRange(0, 3) * 4;
  // The reply's fields: 16-bit sizes, a signed 16-bit position less an unsigned 16-bit hot spot.
  const uint16_t width = in.ConsumeBool() ? in.ConsumeIntegralInRange<uint16_t>(0, 48)
                                          : in.ConsumeIntegral<uint16_t>() % 300;
  const uint16_t height = in.ConsumeBool() ? in.ConsumeIntegralInRange<uint16_t>(0, 48)
                                           : in.ConsumeIntegral<uint16_t>() % 300;
  const int16_t x = in.ConsumeBool() ? in.ConsumeIntegralInRange<int16_t>(-60, 60)
                                     : in.ConsumeIntegral<int16_t>();
  const int16_t y = in.ConsumeBool() ? in.ConsumeIntegralInRange<int16_t>(-60, 60)
                                     : in.ConsumeIntegral<int16_t>();
  const uint16_t xhot = in.ConsumeBool() ? in.ConsumeIntegralInRange<uint16_t>(0, 48)
                                         : in.ConsumeIntegral<uint16_t>();
  const uint16_t yhot = in.ConsumeBool() ? in.ConsumeIntegralInRange<uint16_t>(0, 48)
                                         : in.ConsumeIntegral<uint16_t>();
  const int32_t left = x - xhot;
  const int32_t top = y - yhot;

  // Like the reply's pixel pointer, never null, even for an empty image.
  const size_t count = static_cast<size_t>(width) * height;
  const std::unique_ptr<uint32_t[]> pixels(new uint32_t[count]);
  const std::span<uint32_t> argb(pixels.get(), count);
  for (uint32_t& pixel : argb) {
    const uint32_t alpha =
        in.ConsumeBool() ? (in.ConsumeBool() ? 0u : 255u) : in.ConsumeIntegral<uint8_t>();
    pixel = alpha << 24 | in.ConsumeIntegralInRange<uint32_t>(0, 0xFFFFFF);
  }
  std::vector<uint8_t> memory(kGuard + static_cast<size_t>(stride) * screenHeight + kGuard);
  for (size_t i = 0; i < memory.size(); ++i) memory[i] = static_cast<uint8_t>(i * 131 + 7);
  const std::vector<uint8_t> before = memory;

  vornakel::capture::BgrxImage screen{memory.data() + kGuard, screenWidth, screenHeight, stride};
  vornakel::capture::compositeCursor(screen, argb.data(), width, height, left, top);

  std::vector<uint8_t> expected = before;
  for (int32_t row = 0; row < screenHeight; ++row) {
    for (int32_t column = 0; column < screenWidth; ++column) {
      const int32_t cursorRow = row - top;
      const int32_t cursorColumn = column - left;
      if (cursorRow < 0 || cursorRow >= height || cursorColumn < 0 || cursorColumn >= width)
        continue;
      const uint32_t pixel =
          argb[static_cast<size_t>(cursorRow) * width + static_cast<size_t>(cursorColumn)];
      const uint32_t alpha = pixel >> 24;
      if (alpha == 0) continue;
      uint8_t* target = expected.data() + kGuard + static_cast<size_t>(row) * stride +
                        static_cast<size_t>(column) * 4;
      target[0] = blend(pixel & 0xFF, target[0], alpha);
      target[1] = blend((pixel >> 8) & 0xFF, target[1], alpha);
      target[2] = blend((pixel >> 16) & 0xFF, target[2], alpha);
    }
  }
  require(memory == expected, "the pointer is blended where it lies on the screen, nowhere else");
  return 0;
}
