#include "macos/vt_h264_encoder.h"

#import <Foundation/Foundation.h>

#include <CoreMedia/CoreMedia.h>

#include <algorithm>
#include <optional>
#include <span>
#include <vector>

#include "h264/session_settings.h"
#include "macos/media_time_macos.h"
#include "macos/picture_macos.h"

namespace vornakel::capture {
namespace {

// One encoded sample, read in place: the views point into the sample's format description and
// data block, which it retains.
class VTSample final : public EncodedSample {
 public:
  explicit VTSample(CMSampleBufferRef sample) : sample_(sample) { prepareData(); }
  ~VTSample() override {
    if (contiguous_ != nullptr) CFRelease(contiguous_);
  }
  VTSample(const VTSample&) = delete;
  VTSample& operator=(const VTSample&) = delete;

  SyncAttachments syncAttachments() const override {
    SyncAttachments result;
    CFArrayRef attachments = CMSampleBufferGetSampleAttachmentsArray(sample_, false);
    if (attachments == nullptr) return result;
    result.hasArray = true;
    result.arrayIsEmpty = CFArrayGetCount(attachments) == 0;
    if (result.arrayIsEmpty) return result;
    auto first = static_cast<CFDictionaryRef>(CFArrayGetValueAtIndex(attachments, 0));
    if (first == nullptr) return result;
    CFTypeRef notSync = CFDictionaryGetValue(first, kCMSampleAttachmentKey_NotSync);
    if (notSync != nullptr && CFGetTypeID(notSync) == CFBooleanGetTypeID()) {
      result.notSync = CFBooleanGetValue(static_cast<CFBooleanRef>(notSync)) != 0;
    }
    return result;
  }

  std::optional<int> nalUnitLengthFieldSize() const override {
    CMFormatDescriptionRef format = CMSampleBufferGetFormatDescription(sample_);
    if (format == nullptr) return std::nullopt;
    int headerLength = 0;
    if (CMVideoFormatDescriptionGetH264ParameterSetAtIndex(format, 0, nullptr, nullptr, nullptr,
                                                           &headerLength) != noErr) {
      return std::nullopt;
    }
    return headerLength;
  }

  std::vector<std::span<const uint8_t>> parameterSets() const override {
    std::vector<std::span<const uint8_t>> sets;
    CMFormatDescriptionRef format = CMSampleBufferGetFormatDescription(sample_);
    if (format == nullptr) return sets;
    size_t count = 0;
    if (CMVideoFormatDescriptionGetH264ParameterSetAtIndex(format, 0, nullptr, nullptr, &count,
                                                           nullptr) != noErr) {
      return sets;
    }
    for (size_t index = 0; index < count; ++index) {
      const uint8_t* bytes = nullptr;
      size_t size = 0;
      if (CMVideoFormatDescriptionGetH264ParameterSetAtIndex(format, index, &bytes, &size, nullptr,
                                                             nullptr) != noErr ||
          bytes == nullptr || size == 0) {
        continue;
      }
      sets.emplace_back(bytes, size);
    }
    return sets;
  }

  std::optional<std::span<const uint8_t>> dataBlock() const override { return data_; }

 private:
  // Reads the data block as one range, made contiguous first when it is not.
  void prepareData() {
    CMBlockBufferRef block = CMSampleBufferGetDataBuffer(sample_);
    if (block == nullptr) return;
    const size_t total = CMBlockBufferGetDataLength(block);
    if (total == 0) return;
    if (!CMBlockBufferIsRangeContiguous(block, 0, total)) {
      if (CMBlockBufferCreateContiguous(kCFAllocatorDefault, block, kCFAllocatorDefault, nullptr, 0,
                                        total, 0, &contiguous_) != kCMBlockBufferNoErr) {
        return;
      }
      block = contiguous_;
    }
    char* pointer = nullptr;
    size_t lengthAtOffset = 0;
    size_t totalLength = 0;
    if (CMBlockBufferGetDataPointer(block, 0, &lengthAtOffset, &totalLength, &pointer) !=
            kCMBlockBufferNoErr ||
        pointer == nullptr) {
      return;
    }
    // Only the bytes reachable from this pointer are walked.
    data_ = std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(pointer),
                                     std::min(lengthAtOffset, totalLength));
  }

  CMSampleBufferRef sample_;
  CMBlockBufferRef contiguous_ = nullptr;
  std::optional<std::span<const uint8_t>> data_;
};

void setProperty(VTCompressionSessionRef session, CFStringRef key, id value) {
  VTSessionSetProperty(session, key, (__bridge CFTypeRef)value);  // status deliberately unchecked
}

}  // namespace

std::variant<std::unique_ptr<H264Encoder>, int32_t> VTH264Encoder::create(
    int32_t width, int32_t height, int32_t frameRate, int32_t bitrateKbps, AnnexBWriter writer,
    ErrorHandler onError) {
  VTCompressionSessionRef session = nullptr;
  const OSStatus status =
      VTCompressionSessionCreate(kCFAllocatorDefault, width, height, kCMVideoCodecType_H264,
                                 nullptr, nullptr, nullptr, nullptr, nullptr, &session);
  if (status != noErr) return static_cast<int32_t>(status);
  if (session == nullptr) return int32_t{0};

  const H264SessionSettings settings = h264SessionSettings(frameRate, bitrateKbps);
  setProperty(session, kVTCompressionPropertyKey_RealTime, @YES);
  setProperty(session, kVTCompressionPropertyKey_ProfileLevel,
              (__bridge NSString*)kVTProfileLevel_H264_Baseline_AutoLevel);
  setProperty(session, kVTCompressionPropertyKey_AllowFrameReordering, @NO);
  setProperty(session, kVTCompressionPropertyKey_AverageBitRate, @(settings.averageBitRate));
  setProperty(session, kVTCompressionPropertyKey_ExpectedFrameRate, @(settings.expectedFrameRate));
  setProperty(session, kVTCompressionPropertyKey_MaxKeyFrameInterval,
              @(settings.maxKeyFrameInterval));
  setProperty(session, kVTCompressionPropertyKey_MaxKeyFrameIntervalDuration,
              @(settings.maxKeyFrameIntervalDuration));
  if (const auto& limit = settings.dataRateLimit) {
    setProperty(session, kVTCompressionPropertyKey_DataRateLimits,
                @[ @(limit->bytes), @(limit->seconds) ]);
  }
  VTCompressionSessionPrepareToEncodeFrames(session);

  return std::unique_ptr<H264Encoder>(new VTH264Encoder(writer, std::move(onError), session));
}

VTH264Encoder::VTH264Encoder(AnnexBWriter output, ErrorHandler errorHandler,
                             VTCompressionSessionRef session)
    : H264Encoder(output, std::move(errorHandler)),
      session_(session),
      handlerTarget_(std::make_shared<HandlerTarget>()) {
  handlerTarget_->encoder = this;
}

VTH264Encoder::~VTH264Encoder() {
  {
    std::lock_guard<std::mutex> hold(handlerTarget_->lock);
    handlerTarget_->encoder = nullptr;
  }
  std::lock_guard<std::mutex> hold(sessionLock_);
  if (session_ != nullptr) {
    VTCompressionSessionInvalidate(session_);
    CFRelease(session_);
    session_ = nullptr;
  }
}

bool VTH264Encoder::hasSession() const {
  std::lock_guard<std::mutex> hold(sessionLock_);
  return session_ != nullptr;
}

int32_t VTH264Encoder::submit(const PictureRef& pixelBuffer, MediaTime presentationTime,
                              MediaTime duration) {
  std::lock_guard<std::mutex> hold(sessionLock_);
  if (session_ == nullptr) return 0;
  const std::weak_ptr<HandlerTarget> target = handlerTarget_;
  return VTCompressionSessionEncodeFrameWithOutputHandler(
      session_, pixelBuffer->pixelBuffer, toCMTime(presentationTime), toCMTime(duration), nullptr,
      nullptr, ^(OSStatus status, VTEncodeInfoFlags infoFlags, CMSampleBufferRef sample) {
        (void)infoFlags;  // a dropped frame shows as a missing sample
        auto alive = target.lock();
        if (!alive) return;
        std::lock_guard<std::mutex> holdTarget(alive->lock);
        if (alive->encoder != nullptr) alive->encoder->outputArrived(status, sample);
      });
}

void VTH264Encoder::outputArrived(OSStatus status, CMSampleBufferRef sample) {
  if (status != noErr || sample == nullptr) {
    handleOutput(static_cast<int32_t>(status), nullptr);
    return;
  }
  const VTSample encoded(sample);
  handleOutput(0, &encoded);
}

void VTH264Encoder::completeAndInvalidateSession() {
  std::lock_guard<std::mutex> hold(sessionLock_);
  if (session_ == nullptr) return;
  VTCompressionSessionCompleteFrames(session_, kCMTimeInvalid);
  VTCompressionSessionInvalidate(session_);
  CFRelease(session_);
  session_ = nullptr;
}

}  // namespace vornakel::capture
