// Entry of vornakel_screen_capture on macOS: parse the options, then run probe or capture mode as
// one task while the main thread serves the main dispatch queue (where the signal handlers run).

#import <Foundation/Foundation.h>

#include <dispatch/dispatch.h>
#include <signal.h>
#include <unistd.h>

#include <string_view>
#include <vector>

#include "entry/capture_app.h"
#include "entry/note.h"
#include "entry/process_exit.h"
#include "macos/dispatch_frame_queue.h"
#include "macos/host_clock_macos.h"
#include "macos/sc_capture_stream.h"
#include "macos/sc_display_list.h"
#include "macos/vt_h264_encoder.h"

namespace vc = vornakel::capture;

namespace {

vc::Options options;
// Keeps the two signal sources of capture mode alive for the life of the process.
NSMutableArray<dispatch_source_t>* signalWatchers;

// The platform objects of this process. They are created once and never destroyed: the process
// ends only through exitNow, from whichever queue decides it, while the others may still use them.
struct MacPlatform {
  vc::SCDisplayList displays;
  vc::DispatchFrameQueue frameQueue;
  vc::SCCaptureStreamFactory streams{displays, frameQueue};
  vc::HostClock clock;
  vc::CapturePlatform capture{
      displays,
      streams,
      frameQueue,
      clock,
      [](int32_t width, int32_t height, int32_t frameRate, int32_t bitrateKbps,
         vc::AnnexBWriter writer, vc::ErrorHandler onError) {
        return vc::VTH264Encoder::create(width, height, frameRate, bitrateKbps, writer,
                                         std::move(onError));
      },
      [](std::string_view text) { vc::note(text); },
      vc::exitNow};
};

void runProbe(MacPlatform& platform) {
  vc::exitNow(
      vc::runProbe(platform.displays, platform.capture.note, vc::AnnexBWriter(STDOUT_FILENO)));
}

void runCapture(MacPlatform& platform) {
  auto started = vc::runCapture(options, platform.capture);
  if (auto* status = std::get_if<int>(&started)) vc::exitNow(*status);
  vc::CaptureSession* session = std::get<std::unique_ptr<vc::CaptureSession>>(started).release();

  signalWatchers = [NSMutableArray array];
  for (int signalNumber : {SIGTERM, SIGINT}) {
    signal(signalNumber, SIG_IGN);
    dispatch_source_t watcher =
        dispatch_source_create(DISPATCH_SOURCE_TYPE_SIGNAL, static_cast<uintptr_t>(signalNumber), 0,
                               dispatch_get_main_queue());
    dispatch_source_set_event_handler(watcher, ^{
      vc::stopOnSignal(*session, vc::exitNow);
    });
    dispatch_resume(watcher);
    [signalWatchers addObject:watcher];
  }
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);

  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  auto parsed = vc::parseOptions(arguments);
  if (auto* refused = std::get_if<vc::OptionsError>(&parsed)) {
    vc::note(refused->message);
    return 1;
  }
  options = std::get<vc::Options>(parsed);

  auto* platform = new MacPlatform();
  dispatch_async(dispatch_get_global_queue(QOS_CLASS_USER_INITIATED, 0), ^{
    @autoreleasepool {
      if (options.probe) {
        runProbe(*platform);
      } else {
        runCapture(*platform);
      }
    }
  });
  dispatch_main();
}
