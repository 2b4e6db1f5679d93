#include "macos/sc_capture_stream.h"

#include <CoreMedia/CoreMedia.h>

#include "macos/media_time_macos.h"
#include "macos/picture_macos.h"

namespace vc = vornakel::capture;

namespace {

std::string describe(NSError* error) {
  const char* text = error.localizedDescription.UTF8String;
  return text ? text : "";
}

// The frame-status entry of the first attachments dictionary, as the completeness rule needs it.
vc::FrameStatusAttachments statusAttachments(CMSampleBufferRef sampleBuffer) {
  vc::FrameStatusAttachments result;
  CFArrayRef attachments = CMSampleBufferGetSampleAttachmentsArray(sampleBuffer, false);
  if (attachments == nullptr) return result;
  result.hasArray = true;
  result.arrayIsEmpty = CFArrayGetCount(attachments) == 0;
  if (result.arrayIsEmpty) return result;
  auto first = static_cast<CFDictionaryRef>(CFArrayGetValueAtIndex(attachments, 0));
  if (first == nullptr || CFGetTypeID(first) != CFDictionaryGetTypeID()) return result;
  CFTypeRef status = CFDictionaryGetValue(first, (__bridge CFStringRef)SCStreamFrameInfoStatus);
  if (status == nullptr) return result;
  result.hasStatus = true;
  if (CFGetTypeID(status) == CFNumberGetTypeID() &&
      !CFNumberIsFloatType(static_cast<CFNumberRef>(status))) {
    int64_t value = 0;
    if (CFNumberGetValue(static_cast<CFNumberRef>(status), kCFNumberSInt64Type, &value)) {
      result.statusInteger = value;
    }
  }
  return result;
}

}  // namespace

@implementation VKStreamOutput {
  std::weak_ptr<vc::CaptureStreamClient> _client;
}

- (instancetype)initWithClient:(std::weak_ptr<vc::CaptureStreamClient>)client {
  if ((self = [super init])) _client = client;
  return self;
}

- (void)stream:(SCStream*)stream
    didOutputSampleBuffer:(CMSampleBufferRef)sampleBuffer
                   ofType:(SCStreamOutputType)type {
  auto client = _client.lock();
  if (!client) return;
  vc::CapturedFrame frame;
  frame.outputType =
      type == SCStreamOutputTypeScreen ? vc::StreamOutputType::screen : vc::StreamOutputType::other;
  if (CVImageBufferRef image = CMSampleBufferGetImageBuffer(sampleBuffer)) {
    frame.picture = std::make_shared<const vc::Picture>(image);
  }
  frame.presentationTime = vc::toMediaTime(CMSampleBufferGetPresentationTimeStamp(sampleBuffer));
  frame.duration = vc::toMediaTime(CMSampleBufferGetDuration(sampleBuffer));
  frame.attachments = statusAttachments(sampleBuffer);
  client->didOutputFrame(frame);
}

- (void)stream:(SCStream*)stream didStopWithError:(NSError*)error {
  if (auto client = _client.lock()) client->didStopWithError(describe(error));
}

@end

namespace vornakel::capture {

SCCaptureStream::SCCaptureStream(SCStream* stream, VKStreamOutput* output,
                                 DispatchFrameQueue& frameQueue,
                                 std::weak_ptr<CaptureStreamClient> client)
    : stream_(stream), output_(output), frameQueue_(frameQueue), client_(std::move(client)) {}

std::optional<std::string> SCCaptureStream::addOutput(std::weak_ptr<CaptureStreamClient>,
                                                      FrameQueue&) {
  if (stream_ == nil) return std::string("no display is available to capture");
  NSError* error = nil;
  if (![stream_ addStreamOutput:output_
                           type:SCStreamOutputTypeScreen
             sampleHandlerQueue:frameQueue_.queue()
                          error:&error]) {
    return describe(error);
  }
  return std::nullopt;
}

void SCCaptureStream::startCapture() {
  const std::weak_ptr<CaptureStreamClient> client = client_;
  [stream_ startCaptureWithCompletionHandler:^(NSError* error) {
    if (error == nil) return;
    if (auto target = client.lock()) target->didStopWithError(describe(error));
  }];
}

void SCCaptureStream::stopCapture() {
  [stream_ stopCaptureWithCompletionHandler:^(NSError* error) {
    (void)error;  // the process is about to end either way
  }];
}

std::unique_ptr<CaptureStream> SCCaptureStreamFactory::makeStream(
    const StreamConfiguration& configuration, std::weak_ptr<CaptureStreamClient> delegate) {
  VKStreamOutput* output = [[VKStreamOutput alloc] initWithClient:delegate];
  SCDisplay* display = displays_.displayForCapture(configuration.display);
  SCStream* stream = nil;
  if (display != nil) {
    SCContentFilter* filter = [[SCContentFilter alloc] initWithDisplay:display
                                                 excludingApplications:@[]
                                                      exceptingWindows:@[]];
    SCStreamConfiguration* settings = [[SCStreamConfiguration alloc] init];
    settings.width = static_cast<size_t>(configuration.width);
    settings.height = static_cast<size_t>(configuration.height);
    settings.minimumFrameInterval = CMTimeMake(1, configuration.frameRate);
    settings.pixelFormat = kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange;  // '420v'
    settings.showsCursor = configuration.showsCursor;
    settings.queueDepth = 3;
    stream = [[SCStream alloc] initWithFilter:filter configuration:settings delegate:output];
  }
  return std::make_unique<SCCaptureStream>(stream, output, frameQueue_, std::move(delegate));
}

}  // namespace vornakel::capture
