#pragma once

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "h264/annex_b_writer.h"
#include "h264/encoded_sample.h"
#include "h264/h264_encoder.h"
#include "screen_source/capture_stream.h"
#include "screen_source/clock.h"
#include "screen_source/display_list.h"
#include "screen_source/frame_queue.h"

namespace vornakel::capture {

// In these tests a picture is only a tag that tells which capture it came from.
class Picture {
 public:
  explicit Picture(int tagValue) : tag(tagValue) {}
  int tag;
};

namespace testing_support {

// A shared, ordered record of what the fakes were asked to do.
using EventLog = std::vector<std::string>;

class FakeClock final : public Clock {
 public:
  Instant now() const override { return Instant(elapsed); }
  MediaTime hostTime() const override {
    return MediaTime{std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count(),
                     1000000000};
  }
  void advance(std::chrono::milliseconds step) { elapsed += step; }

  std::chrono::nanoseconds elapsed{std::chrono::hours(1)};
};

// Writes are answered from a script; without a script entry every byte is accepted. Everything
// accepted is kept, so tests can compare the stream byte for byte.
class ScriptedWriteCalls final : public WriteSystemCalls {
 public:
  struct Step {
    ssize_t result;  // bytes accepted (capped at what was offered), or -1
    int error = 0;   // errno for -1
  };

  ssize_t write(int, const void* bytes, size_t count) override {
    ++writeCalls;
    return accept({{const_cast<void*>(bytes), count}});
  }
  ssize_t writev(int, const iovec* pieces, int count) override {
    ++writevCalls;
    return accept(std::vector<iovec>(pieces, pieces + count));
  }

  std::deque<Step> script;
  std::vector<uint8_t> accepted;
  int writeCalls = 0;
  int writevCalls = 0;

 private:
  ssize_t accept(const std::vector<iovec>& pieces) {
    size_t offered = 0;
    for (const auto& piece : pieces) offered += piece.iov_len;
    size_t take = offered;
    if (!script.empty()) {
      const Step step = script.front();
      script.pop_front();
      if (step.result < 0) {
        errno = step.error;
        return -1;
      }
      take = std::min(offered, static_cast<size_t>(step.result));
    }
    size_t left = take;
    for (const auto& piece : pieces) {
      const size_t part = std::min(left, piece.iov_len);
      const auto* begin = static_cast<const uint8_t*>(piece.iov_base);
      accepted.insert(accepted.end(), begin, begin + part);
      left -= part;
    }
    return static_cast<ssize_t>(take);
  }
};

class FakeSample final : public EncodedSample {
 public:
  SyncAttachments sync;
  std::optional<int> lengthFieldSize;
  std::vector<std::vector<uint8_t>> sets;
  std::optional<std::vector<uint8_t>> data;
  mutable int parameterSetQueries = 0;

  SyncAttachments syncAttachments() const override { return sync; }
  std::optional<int> nalUnitLengthFieldSize() const override { return lengthFieldSize; }
  std::vector<std::span<const uint8_t>> parameterSets() const override {
    ++parameterSetQueries;
    return {sets.begin(), sets.end()};
  }
  std::optional<std::span<const uint8_t>> dataBlock() const override {
    if (!data) return std::nullopt;
    return std::span<const uint8_t>(*data);
  }
};

// An encoder whose session records what it is given; outputs are fed in by the test.
class RecordingEncoder final : public H264Encoder {
 public:
  struct Submission {
    int pictureTag;
    MediaTime presentationTime;
    MediaTime duration;
  };

  RecordingEncoder(WriteSystemCalls& calls, EventLog* log = nullptr)
      : H264Encoder(AnnexBWriter(1, calls),
                    [this](const std::string& text) { errors.push_back(text); }),
        log_(log) {}

  using H264Encoder::handleOutput;

  std::vector<Submission> submissions;
  std::vector<std::string> errors;
  int32_t submitStatus = 0;
  bool sessionOpen = true;

 protected:
  bool hasSession() const override { return sessionOpen; }
  int32_t submit(const PictureRef& pixelBuffer, MediaTime presentationTime,
                 MediaTime duration) override {
    submissions.push_back({pixelBuffer ? pixelBuffer->tag : -1, presentationTime, duration});
    return submitStatus;
  }
  void completeAndInvalidateSession() override {
    if (log_) log_->push_back("encoder complete+invalidate");
    sessionOpen = false;
  }

 private:
  EventLog* log_;
};

class ManualFrameQueue final : public FrameQueue {
 public:
  struct TimerState {
    std::chrono::milliseconds first{0};
    std::chrono::milliseconds interval{0};
    std::function<void()> handler;
    bool cancelled = false;
  };

  class ManualTimer final : public QueueTimer {
   public:
    ManualTimer(std::shared_ptr<TimerState> state, EventLog* log)
        : state_(std::move(state)), log_(log) {}
    ~ManualTimer() override {
      state_->cancelled = true;
      if (log_) log_->push_back("timer cancelled");
    }

   private:
    std::shared_ptr<TimerState> state_;
    EventLog* log_;
  };

  explicit ManualFrameQueue(EventLog* log = nullptr) : log_(log) {}

  void post(std::function<void()> task) override { task(); }

  std::unique_ptr<QueueTimer> startTimer(std::chrono::milliseconds first,
                                         std::chrono::milliseconds interval,
                                         std::function<void()> handler) override {
    timer = std::make_shared<TimerState>(TimerState{first, interval, std::move(handler), false});
    return std::make_unique<ManualTimer>(timer, log_);
  }

  void fire() {
    if (timer && !timer->cancelled) timer->handler();
  }

  std::shared_ptr<TimerState> timer;

 private:
  EventLog* log_;
};

class FakeStream final : public CaptureStream {
 public:
  explicit FakeStream(EventLog* log) : log_(log) {}
  std::optional<std::string> addOutput(std::weak_ptr<CaptureStreamClient> outputClient,
                                       FrameQueue&) override {
    client = std::move(outputClient);
    return addOutputFailure;
  }
  void startCapture() override {
    if (log_) log_->push_back("stream start");
  }
  void stopCapture() override {
    if (log_) log_->push_back("stream stop");
  }

  std::weak_ptr<CaptureStreamClient> client;
  std::optional<std::string> addOutputFailure;

 private:
  EventLog* log_;
};

class FakeStreamFactory final : public CaptureStreamFactory {
 public:
  explicit FakeStreamFactory(EventLog* log = nullptr) : log_(log) {}
  std::unique_ptr<CaptureStream> makeStream(const StreamConfiguration& configuration,
                                            std::weak_ptr<CaptureStreamClient>) override {
    configurations.push_back(configuration);
    auto stream = std::make_unique<FakeStream>(log_);
    stream->addOutputFailure = addOutputFailure;
    last = stream.get();
    return stream;
  }

  std::vector<StreamConfiguration> configurations;
  std::optional<std::string> addOutputFailure;
  FakeStream* last = nullptr;

 private:
  EventLog* log_;
};

class FakeDisplayList final : public DisplayList {
 public:
  std::variant<ShareableContent, std::string> queryShareableContent() override { return answer; }
  std::variant<ShareableContent, std::string> answer = std::string("not granted");
};

}  // namespace testing_support
}  // namespace vornakel::capture
