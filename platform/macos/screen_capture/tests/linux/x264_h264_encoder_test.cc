#include "linux/x264_h264_encoder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "h264/avcc.h"
#include "linux/picture_linux.h"

namespace vornakel::capture {
namespace {

using namespace std::chrono_literals;

class ManualClock final : public Clock {
 public:
  Instant now() const override { return Instant(elapsed); }
  MediaTime hostTime() const override { return {}; }
  std::chrono::nanoseconds elapsed{1h};
};

// Collects the stream in a pipe-free way: a temporary file as the descriptor.
class StreamCapture {
 public:
  StreamCapture() : file_(std::tmpfile()) {}
  ~StreamCapture() { std::fclose(file_); }
  int descriptor() const { return fileno(file_); }
  std::vector<uint8_t> bytes() const {
    std::vector<uint8_t> all;
    std::rewind(file_);
    int c;
    while ((c = std::fgetc(file_)) != EOF) all.push_back(static_cast<uint8_t>(c));
    return all;
  }

 private:
  std::FILE* file_;
};

struct AccessUnit {
  std::vector<std::vector<uint8_t>> nals;
  std::vector<int> types() const {
    std::vector<int> result;
    for (const auto& nal : nals) result.push_back(nal.empty() ? -1 : nal[0] & 0x1F);
    return result;
  }
};

// Splits an Annex B stream at its four-byte start codes and groups it at the delimiters.
std::vector<AccessUnit> accessUnits(const std::vector<uint8_t>& stream) {
  std::vector<size_t> starts;
  for (size_t i = 0; i + 4 <= stream.size(); ++i) {
    if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 0 && stream[i + 3] == 1) {
      starts.push_back(i + 4);
      i += 3;
    }
  }
  std::vector<AccessUnit> units;
  for (size_t k = 0; k < starts.size(); ++k) {
    const size_t end = k + 1 < starts.size() ? starts[k + 1] - 4 : stream.size();
    std::vector<uint8_t> nal(stream.begin() + static_cast<std::ptrdiff_t>(starts[k]),
                             stream.begin() + static_cast<std::ptrdiff_t>(end));
    if (!nal.empty() && (nal[0] & 0x1F) == 9) units.emplace_back();
    if (!units.empty()) units.back().nals.push_back(std::move(nal));
  }
  return units;
}

std::shared_ptr<Picture> pattern(int32_t width, int32_t height, int frame) {
  auto picture = std::make_shared<Picture>(width, height);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      picture->luma()[y * width + x] = static_cast<uint8_t>((x + y + frame * 7) & 0xFF);
    }
  }
  for (size_t i = 0; i < picture->lumaSize() / 2; ++i) picture->chroma()[i] = 128;
  return picture;
}

class X264H264EncoderTest : public ::testing::Test {
 protected:
  std::unique_ptr<H264Encoder> open(int32_t fps, int32_t bitrateKbps = 500) {
    auto created = X264H264Encoder::create(
        64, 48, fps, bitrateKbps, AnnexBWriter(stream.descriptor()),
        [this](const std::string& text) { errors.push_back(text); }, clock);
    EXPECT_TRUE(std::holds_alternative<std::unique_ptr<H264Encoder>>(created));
    return std::move(std::get<std::unique_ptr<H264Encoder>>(created));
  }

  StreamCapture stream;
  ManualClock clock;
  std::vector<std::string> errors;
};

TEST_F(X264H264EncoderTest, FirstAccessUnitIsABaselineKeyFrameWithParameterSets) {
  auto encoder = open(30);
  for (int i = 0; i < 3; ++i) {
    encoder->encode(pattern(64, 48, i), {i, 30}, {1, 30});
    clock.elapsed += 33ms;
  }
  const auto units = accessUnits(stream.bytes());
  ASSERT_EQ(units.size(), 3u);
  EXPECT_EQ(units[0].types(), (std::vector<int>{9, 7, 8, 5}));
  EXPECT_EQ(units[0].nals[0], (std::vector<uint8_t>{0x09, 0xF0}));
  EXPECT_EQ(units[0].nals[1][1], 66);  // profile_idc: Baseline
  EXPECT_EQ(units[1].types(), (std::vector<int>{9, 1}));
  EXPECT_EQ(units[2].types(), (std::vector<int>{9, 1}));
  EXPECT_TRUE(errors.empty());
}

TEST_F(X264H264EncoderTest, ZeroBitRateAndHighFrameRatesOpenAndEncode) {
  // x264 refuses an average of 0 outright; the stand-in must then choose the rate itself.
  auto encoder = open(1000, 0);
  ASSERT_TRUE(encoder);
  for (int i = 0; i < 3; ++i) encoder->encode(pattern(64, 48, i), {i, 1000}, {1, 1000});
  const auto units = accessUnits(stream.bytes());
  ASSERT_EQ(units.size(), 3u);
  EXPECT_EQ(units[0].types(), (std::vector<int>{9, 7, 8, 5}));
  EXPECT_EQ(units[2].types(), (std::vector<int>{9, 1}));
  EXPECT_TRUE(errors.empty());
}

TEST_F(X264H264EncoderTest, KeyFrameAtLeastEveryFpsFrames) {
  auto encoder = open(10);
  for (int i = 0; i < 25; ++i) {
    encoder->encode(pattern(64, 48, i), {i, 10}, {1, 10});
    clock.elapsed += 10ms;  // faster than real time: only the frame count forces key frames
  }
  const auto units = accessUnits(stream.bytes());
  ASSERT_EQ(units.size(), 25u);
  int sinceKey = 0;
  for (const auto& unit : units) {
    const bool key = unit.types().back() == 5;
    if (key) {
      EXPECT_EQ(unit.types(), (std::vector<int>{9, 7, 8, 5}));
      sinceKey = 0;
    } else {
      ++sinceKey;
      EXPECT_LT(sinceKey, 10);
    }
  }
}

TEST_F(X264H264EncoderTest, KeyFrameOnceASecondIsAlmostOver) {
  auto encoder = open(30);
  encoder->encode(pattern(64, 48, 0), {}, {});
  clock.elapsed += 983ms;  // more than half a frame interval (16.7 ms) of the second left
  encoder->encode(pattern(64, 48, 1), {}, {});
  clock.elapsed += 1ms;  // less than that left: the next frame could come after the second
  encoder->encode(pattern(64, 48, 1), {}, {});
  const auto units = accessUnits(stream.bytes());
  ASSERT_EQ(units.size(), 3u);
  EXPECT_EQ(units[1].types(), (std::vector<int>{9, 1}));
  EXPECT_EQ(units[2].types(), (std::vector<int>{9, 7, 8, 5}));
}

TEST_F(X264H264EncoderTest, KeyFrameSecondIsCountedInPresentationTime) {
  auto encoder = open(30);
  // Pictures taken 0, 500 and 990 ms apart that reach the encoder within 2 ms of each other, as
  // after a wait in the frame queue: the third is due for a key frame all the same.
  for (const int64_t takenMs : {0, 500, 990}) {
    encoder->encode(pattern(64, 48, static_cast<int>(takenMs)), {takenMs, 1000}, {1, 30});
    clock.elapsed += 1ms;
  }
  const auto units = accessUnits(stream.bytes());
  ASSERT_EQ(units.size(), 3u);
  EXPECT_EQ(units[1].types(), (std::vector<int>{9, 1}));
  EXPECT_EQ(units[2].types(), (std::vector<int>{9, 7, 8, 5}));
}

TEST_F(X264H264EncoderTest, StoppedSessionTakesNoMorePictures) {
  auto encoder = open(30);
  encoder->encode(pattern(64, 48, 0), {}, {});
  encoder->stopSession();
  const size_t before = stream.bytes().size();
  encoder->encode(pattern(64, 48, 1), {}, {});
  encoder->stopSession();
  EXPECT_EQ(stream.bytes().size(), before);
  EXPECT_TRUE(errors.empty());
}

TEST_F(X264H264EncoderTest, PictureOfTheWrongSizeIsRejected) {
  auto encoder = open(30);
  encoder->encode(pattern(32, 48, 0), {}, {});
  EXPECT_EQ(errors, std::vector<std::string>{
                        "the H.264 encoder rejected a frame (VideoToolbox status -6)"});
  EXPECT_TRUE(stream.bytes().empty());
}

}  // namespace
}  // namespace vornakel::capture
