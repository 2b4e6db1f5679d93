#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "entry/options.h"
#include "h264/annex_b_writer.h"
#include "h264/h264_encoder.h"
#include "screen_source/display_list.h"
#include "screen_source/screen_source.h"

namespace vornakel::capture {

using NoteFunction = std::function<void(std::string_view)>;
using ExitFunction = std::function<void(int)>;

// Creates the platform's encoder, or gives the platform status of the failure.
using EncoderFactory = std::function<std::variant<std::unique_ptr<H264Encoder>, int32_t>(
    int32_t width, int32_t height, int32_t frameRate, int32_t bitrateKbps, AnnexBWriter writer,
    ErrorHandler onError)>;

// Everything of the platform that the two modes use.
struct CapturePlatform {
  DisplayList& displays;
  CaptureStreamFactory& streams;
  FrameQueue& frameQueue;
  const Clock& clock;
  EncoderFactory makeEncoder;
  NoteFunction note;
  ExitFunction exitProcess;  // ends the process at once, from any queue
};

// Prints the probe line on `output` and returns the exit status.
int runProbe(DisplayList& displays, const NoteFunction& note, const AnnexBWriter& output);

// A running capture: the encoder outlives the source that feeds it.
struct CaptureSession {
  std::unique_ptr<H264Encoder> encoder;
  std::shared_ptr<ScreenSource> source;
};

// The stop handler's rule: a message is noted and ends with 1, no message ends with 0.
StopHandler exitOnStop(NoteFunction note, ExitFunction exitProcess);

// Starts capture mode up to the "capturing display" note. On failure the message has been noted
// and the exit status is returned. The signal watchers are the platform's.
std::variant<std::unique_ptr<CaptureSession>, int> runCapture(const Options& options,
                                                              CapturePlatform& platform);

// What a SIGTERM or SIGINT does in capture mode: stop the source, then end with 0.
void stopOnSignal(CaptureSession& session, const ExitFunction& exitProcess);

}  // namespace vornakel::capture
