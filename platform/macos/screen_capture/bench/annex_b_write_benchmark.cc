// One gathered write per access unit against one write per piece (start code, delimiter, each
// parameter set, each NAL unit): system calls and time per access unit, into a drained pipe.

#include <benchmark/benchmark.h>

#include <array>
#include <vector>

#include "drained_pipe.h"
#include "h264/annex_b_writer.h"
#include "h264/avcc.h"
#include "h264/encoded_sample.h"
#include "h264/h264_encoder.h"

namespace vc = vornakel::capture;

namespace {

class CountingCalls final : public vc::WriteSystemCalls {
 public:
  ssize_t write(int descriptor, const void* bytes, size_t count) override {
    ++calls;
    return vc::WriteSystemCalls::system().write(descriptor, bytes, count);
  }
  ssize_t writev(int descriptor, const iovec* pieces, int count) override {
    ++calls;
    return vc::WriteSystemCalls::system().writev(descriptor, pieces, count);
  }
  uint64_t calls = 0;
};

class SyntheticSample final : public vc::EncodedSample {
 public:
  SyntheticSample(bool keyframe, size_t slices, size_t sliceBytes) : keyframe_(keyframe) {
    for (size_t i = 0; i < slices; ++i) {
      const uint32_t length = static_cast<uint32_t>(sliceBytes);
      data_.insert(data_.end(),
                   {static_cast<uint8_t>(length >> 24), static_cast<uint8_t>(length >> 16),
                    static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
      data_.push_back(keyframe ? 0x65 : 0x41);
      data_.insert(data_.end(), sliceBytes - 1, static_cast<uint8_t>(i + 1));
    }
  }
  vc::SyncAttachments syncAttachments() const override { return {true, false, !keyframe_}; }
  std::optional<int> nalUnitLengthFieldSize() const override { return 4; }
  std::vector<std::span<const uint8_t>> parameterSets() const override { return {sps_, pps_}; }
  std::optional<std::span<const uint8_t>> dataBlock() const override { return data_; }

 private:
  bool keyframe_;
  std::vector<uint8_t> data_;
  std::vector<uint8_t> sps_ = {0x67, 0x42, 0xC0, 0x28, 0xDA, 0x01, 0xE0, 0x08, 0x9F, 0x96};
  std::vector<uint8_t> pps_ = {0x68, 0xCE, 0x3C, 0x80};
};

// Emits samples through the encoder's own path: one gathered write per access unit.
class EmitOnly final : public vc::H264Encoder {
 public:
  explicit EmitOnly(vc::AnnexBWriter output) : H264Encoder(output, [](const std::string&) {}) {}

 protected:
  bool hasSession() const override { return true; }
  int32_t submit(const vc::PictureRef&, vc::MediaTime, vc::MediaTime) override { return 0; }
  void completeAndInvalidateSession() override {}
};

// The same bytes written the plain way: every piece with its own writeAll.
void emitPerPiece(const vc::AnnexBWriter& writer, const vc::EncodedSample& sample) {
  static constexpr std::array<uint8_t, 4> kStartCode = {0, 0, 0, 1};
  static constexpr std::array<uint8_t, 2> kDelimiter = {0x09, 0xF0};
  if (writer.writeAll(kStartCode) || writer.writeAll(kDelimiter)) return;
  if (vc::isKeyframe(sample.syncAttachments())) {
    for (auto set : sample.parameterSets()) {
      if (writer.writeAll(kStartCode) || writer.writeAll(set)) return;
    }
  }
  for (auto unit : vc::nalUnits(*sample.dataBlock(), 4)) {
    if (writer.writeAll(kStartCode) || writer.writeAll(unit)) return;
  }
}

void run(benchmark::State& state, bool gathered) {
  const bool keyframe = state.range(0) != 0;
  const auto slices = static_cast<size_t>(state.range(1));
  const auto sliceBytes = static_cast<size_t>(state.range(2));
  const SyntheticSample sample(keyframe, slices, sliceBytes);
  DrainedPipe pipe;
  CountingCalls calls;
  const vc::AnnexBWriter writer(pipe.writeEnd, calls);
  EmitOnly encoder(writer);
  for (auto _ : state) {
    if (gathered) {
      encoder.emit(sample);
    } else {
      emitPerPiece(writer, sample);
    }
  }
  state.counters["syscalls_per_AU"] = benchmark::Counter(static_cast<double>(calls.calls) /
                                                         static_cast<double>(state.iterations()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(slices * (sliceBytes + 4) + 6));
}

void BM_OneWritevPerAccessUnit(benchmark::State& state) { run(state, true); }
void BM_OneWritePerPiece(benchmark::State& state) { run(state, false); }

// {key frame, slices, bytes per slice}: a typical P frame, a key frame, a 4-slice P frame.
#define ACCESS_UNITS ->Args({0, 1, 20000})->Args({1, 1, 150000})->Args({0, 4, 5000})

BENCHMARK(BM_OneWritevPerAccessUnit) ACCESS_UNITS;
BENCHMARK(BM_OneWritePerPiece) ACCESS_UNITS;

}  // namespace

BENCHMARK_MAIN();
