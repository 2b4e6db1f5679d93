#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "fakes.h"
#include "h264/h264_encoder.h"
#include "screen_source/capture_stream.h"

namespace vornakel::capture::testing_support {

// An encoder with the threads of a VideoToolbox session: pictures are encoded on a thread of its
// own, which writes each sample through the output rule while the caller goes on; completing the
// session waits until every submitted picture has come out, and a closed session takes nothing.
class ThreadedEncoder final : public H264Encoder {
 public:
  ThreadedEncoder(WriteSystemCalls& calls, ErrorHandler errorHandler)
      : H264Encoder(AnnexBWriter(1, calls), std::move(errorHandler)), worker_([this] { run(); }) {
    sample_.sync = {true, false, false};
    sample_.sets = {{0x67, 0x42, 0xC0, 0x28}, {0x68, 0xCE, 0x3C, 0x80}};
    sample_.data = std::vector<uint8_t>{0, 0, 0, 3, 0x65, 0xAA, 0xBB};
  }
  ~ThreadedEncoder() override {
    {
      std::lock_guard<std::mutex> hold(lock_);
      closing_ = true;
    }
    changed_.notify_all();
    worker_.join();
  }

  // Bytes of one access unit: delimiter, SPS, PPS and the slice, each behind a start code.
  static constexpr size_t kAccessUnitSize = 6 + 8 + 8 + 7;

  int submitted() const {
    std::lock_guard<std::mutex> hold(lock_);
    return submitted_;
  }
  int emitted() const {
    std::lock_guard<std::mutex> hold(lock_);
    return emitted_;
  }
  bool waitForEmitted(int count) {
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, std::chrono::seconds(10), [&] { return emitted_ >= count; });
  }

 protected:
  bool hasSession() const override {
    std::lock_guard<std::mutex> hold(lock_);
    return open_;
  }
  int32_t submit(const PictureRef&, MediaTime, MediaTime) override {
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (!open_) return 0;
      ++pending_;
      ++submitted_;
    }
    changed_.notify_all();
    return 0;
  }
  void completeAndInvalidateSession() override {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait(hold, [&] { return pending_ == 0 && !emitting_; });
    open_ = false;
  }

 private:
  void run() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
      changed_.wait(hold, [&] { return pending_ > 0 || closing_; });
      if (pending_ == 0) return;
      --pending_;
      emitting_ = true;
      hold.unlock();
      handleOutput(0, &sample_);
      hold.lock();
      emitting_ = false;
      ++emitted_;
      changed_.notify_all();
    }
  }

  FakeSample sample_;
  mutable std::mutex lock_;
  std::condition_variable changed_;
  bool open_ = true;
  bool closing_ = false;
  bool emitting_ = false;
  int pending_ = 0;
  int submitted_ = 0;
  int emitted_ = 0;
  std::thread worker_;  // last: started once everything above exists
};

// Streams whose frames come from a thread of their own, about one a millisecond, for as long as
// the factory delivers: like a platform stream, frames already on their way still arrive after
// the stream was asked to stop.
class DeliveringStreamFactory final : public CaptureStreamFactory {
 public:
  ~DeliveringStreamFactory() override { stopDelivering(); }

  std::unique_ptr<CaptureStream> makeStream(const StreamConfiguration&,
                                            std::weak_ptr<CaptureStreamClient>) override {
    return std::make_unique<Stream>(*this);
  }

  // Ends the delivery thread; no frame arrives once this has returned.
  void stopDelivering() {
    stopping_ = true;
    if (worker_.joinable()) worker_.join();
  }

  // Waits until `count` more frames have arrived.
  bool waitForFrames(int count) {
    const int target = delivered + count;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (delivered < target) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  std::atomic<int> delivered{0};

 private:
  class Stream final : public CaptureStream {
   public:
    explicit Stream(DeliveringStreamFactory& factory) : factory_(factory) {}
    std::optional<std::string> addOutput(std::weak_ptr<CaptureStreamClient> client,
                                         FrameQueue&) override {
      factory_.client_ = std::move(client);
      return std::nullopt;
    }
    void startCapture() override { factory_.startDelivering(); }
    void stopCapture() override {}

   private:
    DeliveringStreamFactory& factory_;
  };

  void startDelivering() {
    worker_ = std::thread([this] {
      for (int tag = 0; !stopping_; ++tag) {
        if (auto target = client_.lock()) {
          CapturedFrame frame;
          frame.picture = std::make_shared<const Picture>(tag);
          frame.presentationTime = {tag, 1000};
          frame.duration = {1, 1000};
          target->didOutputFrame(frame);
        }
        ++delivered;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
  }

  std::weak_ptr<CaptureStreamClient> client_;  // set before the thread starts
  std::atomic<bool> stopping_{false};
  std::thread worker_;
};

}  // namespace vornakel::capture::testing_support
