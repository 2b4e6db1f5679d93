// Entry of the stand-in build: the same modes, messages and exit statuses as on macOS, with an X
// display as the screen and libx264 as the encoder.

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <string_view>
#include <vector>

#include "entry/capture_app.h"
#include "entry/note.h"
#include "entry/process_exit.h"
#include "linux/serial_frame_queue.h"
#include "linux/steady_clock_linux.h"
#include "linux/x264_h264_encoder.h"
#include "linux/x_capture_stream.h"
#include "linux/x_display_list.h"

namespace vc = vornakel::capture;

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);

  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  auto parsed = vc::parseOptions(arguments);
  if (auto* refused = std::get_if<vc::OptionsError>(&parsed)) {
    vc::note(refused->message);
    return 1;
  }
  const vc::Options options = std::get<vc::Options>(parsed);
  const vc::NoteFunction note = [](std::string_view text) { vc::note(text); };

  vc::XDisplayList displays;
  if (options.probe) vc::exitNow(vc::runProbe(displays, note, vc::AnnexBWriter(STDOUT_FILENO)));

  // In capture mode SIGTERM and SIGINT are taken by the main thread with sigwait, so they are
  // blocked before any other thread exists (every thread inherits the mask). One that arrives
  // during start-up waits until the source can be stopped.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  vc::XCaptureStreamFactory streams;
  vc::SteadyClock clock;
  vc::SerialFrameQueue frameQueue;
  vc::CapturePlatform platform{
      displays,
      streams,
      frameQueue,
      clock,
      [&clock](int32_t width, int32_t height, int32_t frameRate, int32_t bitrateKbps,
               vc::AnnexBWriter writer, vc::ErrorHandler onError) {
        return vc::X264H264Encoder::create(width, height, frameRate, bitrateKbps, writer,
                                           std::move(onError), clock);
      },
      note,
      vc::exitNow};

  auto started = vc::runCapture(options, platform);
  if (auto* status = std::get_if<int>(&started)) vc::exitNow(*status);
  auto& session = *std::get<std::unique_ptr<vc::CaptureSession>>(started);

  int received = 0;
  while (sigwait(&stopSignals, &received) != 0) {
  }
  vc::stopOnSignal(session, platform.exitProcess);
  return 0;
}
