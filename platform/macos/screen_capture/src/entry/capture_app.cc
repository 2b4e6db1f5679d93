#include "entry/capture_app.h"

#include <limits>
#include <string>

#include "h264/session_settings.h"

namespace vornakel::capture {

int runProbe(DisplayList& displayList, const NoteFunction& note, const AnnexBWriter& output) {
  auto displays = shareableDisplays(displayList);
  if (auto* error = std::get_if<ScreenSourceError>(&displays)) {
    note(error->message());
    return 1;
  }
  const std::string line = probeLine(std::get<std::vector<CaptureDisplay>>(displays));
  if (output.writeAll(
          std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(line.data()), line.size()))) {
    return 1;  // Nobody read the answer: that is no success.
  }
  return 0;
}

StopHandler exitOnStop(NoteFunction note, ExitFunction exitProcess) {
  return [note = std::move(note),
          exitProcess = std::move(exitProcess)](const std::optional<std::string>& message) {
    if (message) note(*message);
    exitProcess(message ? 1 : 0);
  };
}

std::variant<std::unique_ptr<CaptureSession>, int> runCapture(const Options& options,
                                                              CapturePlatform& platform) {
  auto fail = [&platform](const std::string& message) {
    platform.note(message);
    return 1;
  };

  auto chosen = chooseDisplay(platform.displays, options.display);
  if (auto* error = std::get_if<ScreenSourceError>(&chosen)) return fail(error->message());
  const CaptureDisplay display = std::get<CaptureDisplay>(chosen);

  const EncodedSize size = scaledSize(display.width, display.height, options.maxWidth);
  // Values that the encoder could not take in 32 bits are refused here instead of wrapping, and so
  // is a rate of no frames at all. A bit rate of 0 leaves the rate to the encoder.
  constexpr int64_t kMaxFrameRate = std::numeric_limits<int32_t>::max();
  if (options.fps < 1 || options.fps > kMaxFrameRate) {
    return fail("--fps must be a whole number from 1 to " + std::to_string(kMaxFrameRate));
  }
  if (options.bitrateKbps < 0 || options.bitrateKbps > kMaxBitrateKbps) {
    return fail("--bitrate-kbps must be a whole number from 0 to " +
                std::to_string(kMaxBitrateKbps));
  }
  if (size.width > std::numeric_limits<int32_t>::max() ||
      size.height > std::numeric_limits<int32_t>::max()) {
    return fail("display " + std::to_string(display.id) + " is too large to encode");
  }
  const auto width = static_cast<int32_t>(size.width);
  const auto height = static_cast<int32_t>(size.height);
  const auto fps = static_cast<int32_t>(options.fps);
  const auto bitrateKbps = static_cast<int32_t>(options.bitrateKbps);

  auto session = std::make_unique<CaptureSession>();
  NoteFunction note = platform.note;
  auto encoder = platform.makeEncoder(width, height, fps, bitrateKbps, AnnexBWriter(1),
                                      [note](const std::string& text) { note(text); });
  if (auto* status = std::get_if<int32_t>(&encoder)) {
    return fail(H264EncoderError{H264EncoderErrorCase::sessionCreateFailed, *status}.message());
  }
  session->encoder = std::move(std::get<std::unique_ptr<H264Encoder>>(encoder));

  session->source =
      ScreenSource::create(*session->encoder, exitOnStop(platform.note, platform.exitProcess),
                           platform.frameQueue, platform.streams, platform.clock);
  if (auto failure = session->source->start(display.id, width, height, fps, options.showsCursor)) {
    return fail(*failure);
  }

  platform.note("capturing display " + std::to_string(display.id) + " at " + std::to_string(width) +
                "x" + std::to_string(height) + ", " + std::to_string(fps) + "fps, " +
                std::to_string(bitrateKbps) + "kbps");
  return session;
}

void stopOnSignal(CaptureSession& session, const ExitFunction& exitProcess) {
  session.source->stop();
  exitProcess(0);
}

}  // namespace vornakel::capture
