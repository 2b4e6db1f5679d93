// Latency of the stand-in pipeline per picture: from a picture's arrival on the frame queue until
// its access unit is completely written to a drained pipe (encode + Annex B write), and the same
// with the BGRX -> NV12 conversion that precedes the arrival. The desktop is synthetic: a fixed
// background of text-like blocks with a window whose content scrolls every frame.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <vector>

#include "drained_pipe.h"
#include "linux/nv12_converter.h"
#include "linux/picture_linux.h"
#include "linux/picture_pool.h"
#include "linux/steady_clock_linux.h"
#include "linux/x264_h264_encoder.h"
#include "screen_source/screen_source.h"

namespace vc = vornakel::capture;
using Clock = std::chrono::steady_clock;

namespace {

class InertQueue final : public vc::FrameQueue {
 public:
  void post(std::function<void()> task) override { task(); }
  std::unique_ptr<vc::QueueTimer> startTimer(std::chrono::milliseconds, std::chrono::milliseconds,
                                             std::function<void()>) override {
    return std::make_unique<vc::QueueTimer>();
  }
};

class NoStream final : public vc::CaptureStream {
 public:
  std::optional<std::string> addOutput(std::weak_ptr<vc::CaptureStreamClient>,
                                       vc::FrameQueue&) override {
    return std::nullopt;
  }
  void startCapture() override {}
  void stopCapture() override {}
};

class NoStreams final : public vc::CaptureStreamFactory {
 public:
  std::unique_ptr<vc::CaptureStream> makeStream(const vc::StreamConfiguration&,
                                                std::weak_ptr<vc::CaptureStreamClient>) override {
    return std::make_unique<NoStream>();
  }
};

class SyntheticDesktop {
 public:
  SyntheticDesktop(int32_t width, int32_t height)
      : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height * 4) {
    std::mt19937 random(7);
    for (size_t i = 0; i < pixels_.size(); i += 4) {
      const uint8_t shade = static_cast<uint8_t>(220 + random() % 8);
      pixels_[i] = pixels_[i + 1] = pixels_[i + 2] = shade;
    }
    // Rows of dark "words" over the whole screen.
    for (int32_t y = 10; y + 8 < height; y += 18) {
      for (int32_t x = 10; x + 40 < width; x += 10 + static_cast<int32_t>(random() % 50)) {
        fill(x, y, 4 + static_cast<int32_t>(random() % 36), 8, 40);
      }
    }
  }

  // Scrolls the content of a window that covers about a fifth of the screen.
  vc::BgrxImage frame(int step) {
    const int32_t left = width_ / 5, top = height_ / 5, w = width_ * 2 / 5, h = height_ / 2;
    fill(left, top, w, h, 250);
    for (int32_t line = 0; line < h / 18; ++line) {
      const int32_t y = top + ((line * 18 - step * 3) % h + h) % h;
      if (y + 8 < top + h) fill(left + 12, y, (w - 24) * ((line * 7 + step) % 10 + 1) / 11, 8, 30);
    }
    return vc::BgrxImage{pixels_.data(), width_, height_, width_ * 4};
  }

 private:
  void fill(int32_t x, int32_t y, int32_t w, int32_t h, uint8_t shade) {
    for (int32_t row = y; row < std::min(y + h, height_); ++row) {
      uint8_t* p = pixels_.data() + (static_cast<size_t>(row) * width_ + x) * 4;
      for (int32_t column = 0; column < w && x + column < width_; ++column, p += 4) {
        p[0] = p[1] = p[2] = shade;
      }
    }
  }

  int32_t width_, height_;
  std::vector<uint8_t> pixels_;
};

double percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  const auto index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

void BM_ArrivalToWritten(benchmark::State& state) {
  const auto width = static_cast<int32_t>(state.range(0));
  const auto height = static_cast<int32_t>(state.range(1));
  const int32_t fps = 30;
  DrainedPipe pipe;
  vc::SteadyClock clock;
  auto created = vc::X264H264Encoder::create(
      width, height, fps, 6000, vc::AnnexBWriter(pipe.writeEnd), [](const std::string&) {}, clock);
  auto encoder = std::move(std::get<std::unique_ptr<vc::H264Encoder>>(created));
  InertQueue queue;
  NoStreams streams;
  auto source = vc::ScreenSource::create(
      *encoder, [](const std::optional<std::string>&) {}, queue, streams, clock);
  (void)source->start(0, width, height, fps, true);

  SyntheticDesktop desktop(width, height);
  vc::Nv12Converter converter;
  std::vector<double> arrivalToWritten, withConversion, conversion;
  // Recycled pictures, as the capture stream uses them (fresh ones would add page faults).
  const auto pool = vc::PicturePool::create(width, height, 4);
  int step = 0;
  for (auto _ : state) {
    const vc::BgrxImage image = desktop.frame(step++);
    auto picture = pool->take();
    const auto grabbed = Clock::now();
    converter.convert(image, *picture);
    vc::CapturedFrame frame;
    frame.picture = picture;
    frame.presentationTime = clock.hostTime();
    frame.duration = {1, fps};
    const auto arrived = Clock::now();
    source->didOutputFrame(frame);
    const auto written = Clock::now();
    const auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count(); };
    arrivalToWritten.push_back(ms(written - arrived));
    withConversion.push_back(ms(written - grabbed));
    conversion.push_back(ms(arrived - grabbed));
    state.SetIterationTime(std::chrono::duration<double>(written - arrived).count());
  }
  state.counters["p50_ms"] = percentile(arrivalToWritten, 0.50);
  state.counters["p99_ms"] = percentile(arrivalToWritten, 0.99);
  state.counters["max_ms"] = percentile(arrivalToWritten, 1.0);
  state.counters["conv_p50_ms"] = percentile(conversion, 0.50);
  state.counters["with_conv_p99_ms"] = percentile(withConversion, 0.99);
  state.counters["frame_interval_ms"] = 1000.0 / fps;
  source->stop();
}

BENCHMARK(BM_ArrivalToWritten)
    ->Args({1920, 1080})
    ->Args({1280, 720})
    ->Iterations(300)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
