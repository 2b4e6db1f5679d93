#include "linux/nv12_converter.h"

#include <gtest/gtest.h>

#include <vector>

#include "linux/picture_pool.h"

namespace vornakel::capture {
namespace {

struct Screen {
  Screen(int32_t w, int32_t h) : width(w), height(h), pixels(static_cast<size_t>(w) * h * 4, 0) {}
  void set(int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b) {
    uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
    p[0] = b;
    p[1] = g;
    p[2] = r;
  }
  void fill(uint8_t r, uint8_t g, uint8_t b) {
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) set(x, y, r, g, b);
  }
  const uint8_t* at(int32_t x, int32_t y) const {
    return &pixels[(static_cast<size_t>(y) * width + x) * 4];
  }
  BgrxImage image() { return BgrxImage{pixels.data(), width, height, width * 4}; }
  int32_t width, height;
  std::vector<uint8_t> pixels;
};

TEST(Nv12ConverterTest, VideoRangeBt601Colours) {
  struct Case {
    uint8_t r, g, b, y, u, v;
  };
  for (const Case& c : {Case{255, 255, 255, 235, 128, 128}, Case{0, 0, 0, 16, 128, 128},
                        Case{255, 0, 0, 82, 90, 240}, Case{0, 0, 255, 41, 240, 110}}) {
    Screen screen(4, 2);
    screen.fill(c.r, c.g, c.b);
    Picture picture(4, 2);
    Nv12Converter().convert(screen.image(), picture);
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(picture.luma()[i], c.y) << int(c.r) << "," << int(c.b);
    for (size_t i = 0; i < 4; i += 2) {
      EXPECT_EQ(picture.chroma()[i], c.u);
      EXPECT_EQ(picture.chroma()[i + 1], c.v);
    }
  }
}

TEST(Nv12ConverterTest, ChromaAveragesTheTwoByTwoBlock) {
  Screen screen(2, 2);
  screen.fill(255, 255, 255);
  screen.set(0, 0, 0, 0, 0);
  screen.set(1, 1, 0, 0, 0);  // half black, half white: grey 128
  Picture picture(2, 2);
  Nv12Converter().convert(screen.image(), picture);
  EXPECT_EQ(picture.luma()[0], 16);
  EXPECT_EQ(picture.luma()[1], 235);
  EXPECT_EQ(picture.chroma()[0], 128);
  EXPECT_EQ(picture.chroma()[1], 128);
}

TEST(Nv12ConverterTest, ScalesDownByPickingSourcePixels) {
  Screen screen(8, 4);
  screen.fill(0, 0, 0);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 4; x < 8; ++x) screen.set(x, y, 255, 255, 255);
  Picture picture(4, 2);
  Nv12Converter converter;
  converter.convert(screen.image(), picture);
  EXPECT_EQ(std::vector<uint8_t>(picture.luma(), picture.luma() + 8),
            (std::vector<uint8_t>{16, 16, 235, 235, 16, 16, 235, 235}));
  // The maps follow a change of size.
  Picture same(8, 4);
  converter.convert(screen.image(), same);
  EXPECT_EQ(same.luma()[3], 16);
  EXPECT_EQ(same.luma()[4], 235);
}

TEST(CompositeCursorTest, BlendsPremultipliedPixels) {
  Screen screen(4, 4);
  screen.fill(200, 200, 200);
  const uint32_t cursor[] = {0xFF102030, 0x00000000, 0x80404040, 0xFF000000};
  BgrxImage image = screen.image();
  compositeCursor(image, cursor, 2, 2, 1, 1);
  EXPECT_EQ(screen.at(1, 1)[2], 0x10);  // opaque: the cursor's colour
  EXPECT_EQ(screen.at(1, 1)[1], 0x20);
  EXPECT_EQ(screen.at(1, 1)[0], 0x30);
  EXPECT_EQ(screen.at(2, 1)[0], 200);                             // transparent: unchanged
  EXPECT_EQ(screen.at(1, 2)[0], 0x40 + (200 * 127 + 127) / 255);  // half: colour + half background
  EXPECT_EQ(screen.at(2, 2)[0], 0);
  EXPECT_EQ(screen.at(0, 0)[0], 200);
}

TEST(CompositeCursorTest, ClipsAtEveryEdge) {
  Screen screen(3, 3);
  screen.fill(100, 100, 100);
  std::vector<uint32_t> cursor(5 * 5, 0xFF000000);
  BgrxImage image = screen.image();
  compositeCursor(image, cursor.data(), 5, 5, -4, -4);  // only its bottom-right pixel shows
  EXPECT_EQ(screen.at(0, 0)[0], 0);
  EXPECT_EQ(screen.at(1, 0)[0], 100);
  EXPECT_EQ(screen.at(0, 1)[0], 100);
  compositeCursor(image, cursor.data(), 5, 5, 2, 2);  // only its top-left pixel shows
  EXPECT_EQ(screen.at(2, 2)[0], 0);
  EXPECT_EQ(screen.at(1, 2)[0], 100);
  compositeCursor(image, cursor.data(), 5, 5, 3, -10);  // entirely outside
  compositeCursor(image, cursor.data(), 5, 5, -5, 0);
  compositeCursor(image, cursor.data(), 5, 5, -20, 2);  // far to the left, on the last row
  EXPECT_EQ(screen.at(2, 0)[0], 100);
  EXPECT_EQ(screen.at(0, 2)[0], 100);
}

TEST(PicturePoolTest, PicturesComeBackWhenTheLastHolderLetsGo) {
  auto pool = PicturePool::create(4, 2, 2);
  auto first = pool->take();
  auto second = pool->take();
  ASSERT_TRUE(first && second);
  EXPECT_FALSE(pool->take());  // all out: the frame is skipped
  const Picture* reused = first.get();
  PictureRef held = first;  // e.g. kept for re-sending
  first.reset();
  EXPECT_FALSE(pool->take());
  held.reset();
  auto third = pool->take();
  EXPECT_EQ(third.get(), reused);
  EXPECT_EQ(third->width, 4);
}

}  // namespace
}  // namespace vornakel::capture
