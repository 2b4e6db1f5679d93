#include "entry/capture_app.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "entry/process_exit.h"
#include "support/fakes.h"

namespace vornakel::capture {
namespace {

using testing_support::FakeClock;
using testing_support::FakeDisplayList;
using testing_support::FakeStreamFactory;
using testing_support::ManualFrameQueue;
using testing_support::RecordingEncoder;
using testing_support::ScriptedWriteCalls;

class CaptureAppTest : public ::testing::Test {
 protected:
  CaptureAppTest()
      : platform{
            displays,
            streams,
            queue,
            clock,
            [this](int32_t width, int32_t height, int32_t frameRate, int32_t bitrateKbps,
                   AnnexBWriter writer,
                   ErrorHandler onError) -> std::variant<std::unique_ptr<H264Encoder>, int32_t> {
              encoderArguments = {width, height, frameRate, bitrateKbps};
              EXPECT_EQ(writer.descriptor, 1);
              if (encoderStatus != 0) return encoderStatus;
              auto encoder = std::make_unique<RecordingEncoder>(calls);
              lastError = std::move(onError);
              return encoder;
            },
            [this](std::string_view text) { notes.emplace_back(text); },
            [this](int status) { exits.push_back(status); }} {}

  void twoDisplays() {
    displays.answer =
        ShareableContent{{{5, 1512, 982, 3024, 1964}, {9, 1920, 1080, 1920, 1080}}, 9};
  }

  FakeDisplayList displays;
  FakeStreamFactory streams;
  ManualFrameQueue queue;
  FakeClock clock;
  ScriptedWriteCalls calls;
  int32_t encoderStatus = 0;
  std::vector<int32_t> encoderArguments;
  ErrorHandler lastError;
  std::vector<std::string> notes;
  std::vector<int> exits;
  CapturePlatform platform;
};

TEST_F(CaptureAppTest, ProbePrintsEveryDisplayInPixels) {
  twoDisplays();
  ScriptedWriteCalls out;
  EXPECT_EQ(runProbe(displays, platform.note, AnnexBWriter(1, out)), 0);
  const std::string line(out.accepted.begin(), out.accepted.end());
  EXPECT_EQ(line,
            "{\"displays\":[{\"id\":5,\"width\":3024,\"height\":1964,\"primary\":false},"
            "{\"id\":9,\"width\":1920,\"height\":1080,\"primary\":true}]}\n");
  EXPECT_TRUE(notes.empty());
}

TEST_F(CaptureAppTest, ProbeFailures) {
  ScriptedWriteCalls out;
  EXPECT_EQ(runProbe(displays, platform.note, AnnexBWriter(1, out)), 1);
  displays.answer = ShareableContent{{}, 1};
  EXPECT_EQ(runProbe(displays, platform.note, AnnexBWriter(1, out)), 1);
  EXPECT_EQ(notes, (std::vector<std::string>{
                       "macOS has not granted Screen Recording to this agent. Allow it under "
                       "System Settings, Privacy & Security, Screen Recording, then start the "
                       "agent again.",
                       "macOS reports no displays to capture. A Mac with the lid closed and no "
                       "external screen has none."}));
  EXPECT_TRUE(out.accepted.empty());
}

TEST_F(CaptureAppTest, CaptureStartsOnTheMainDisplayAtItsScaledSize) {
  twoDisplays();
  auto result = runCapture(Options{}, platform);
  ASSERT_TRUE(std::holds_alternative<std::unique_ptr<CaptureSession>>(result));
  EXPECT_EQ(encoderArguments, (std::vector<int32_t>{1920, 1080, 30, 6000}));
  ASSERT_EQ(streams.configurations.size(), 1u);
  EXPECT_EQ(streams.configurations[0].display, 9u);
  EXPECT_EQ(notes, std::vector<std::string>{"capturing display 9 at 1920x1080, 30fps, 6000kbps"});

  // Encoder problems are written as notes and nothing else.
  lastError("the H.264 encoder rejected a frame (VideoToolbox status 0)");
  EXPECT_EQ(notes.back(), "the H.264 encoder rejected a frame (VideoToolbox status 0)");
  EXPECT_TRUE(exits.empty());

  auto& session = *std::get<std::unique_ptr<CaptureSession>>(result);
  stopOnSignal(session, platform.exitProcess);
  EXPECT_EQ(exits, std::vector<int>{0});
}

TEST_F(CaptureAppTest, WantedDisplayOrTheFirstListed) {
  twoDisplays();
  Options options;
  options.display = 5;
  options.showsCursor = false;
  options.fps = 60;
  ASSERT_TRUE(
      std::holds_alternative<std::unique_ptr<CaptureSession>>(runCapture(options, platform)));
  EXPECT_EQ(streams.configurations.back().display, 5u);
  EXPECT_EQ(streams.configurations.back().height, 1246);
  EXPECT_FALSE(streams.configurations.back().showsCursor);
  EXPECT_EQ(notes.back(), "capturing display 5 at 1920x1246, 60fps, 6000kbps");

  options.display = 77;  // not attached: silently the first display
  ASSERT_TRUE(
      std::holds_alternative<std::unique_ptr<CaptureSession>>(runCapture(options, platform)));
  EXPECT_EQ(streams.configurations.back().display, 5u);
}

TEST_F(CaptureAppTest, StartFailuresEndWithStatusOne) {
  auto status = [&](const Options& options) {
    auto result = runCapture(options, platform);
    return std::holds_alternative<int>(result) ? std::get<int>(result) : -1;
  };
  EXPECT_EQ(status(Options{}), 1);
  EXPECT_EQ(notes.back().rfind("macOS has not granted Screen Recording", 0), 0u);

  twoDisplays();
  encoderStatus = -12902;
  EXPECT_EQ(status(Options{}), 1);
  EXPECT_EQ(notes.back(), "could not start the H.264 encoder (VideoToolbox status -12902)");

  encoderStatus = 0;
  streams.addOutputFailure = "no output";
  EXPECT_EQ(status(Options{}), 1);
  EXPECT_EQ(notes.back(), "the screen stream stopped: no output");
  EXPECT_TRUE(exits.empty());
}

TEST_F(CaptureAppTest, ValuesTheEncoderCannotTakeAreRefused) {
  twoDisplays();
  Options options;
  for (int64_t fps : {int64_t{0}, int64_t{-1}, int64_t{2147483648}, int64_t{1} << 40}) {
    options.fps = fps;
    EXPECT_EQ(std::get<int>(runCapture(options, platform)), 1);
    EXPECT_EQ(notes.back(), "--fps must be a whole number from 1 to 2147483647");
  }
  options.fps = 30;
  for (int64_t kbps : {int64_t{-1}, int64_t{-6000}, int64_t{2147484}}) {
    options.bitrateKbps = kbps;
    EXPECT_EQ(std::get<int>(runCapture(options, platform)), 1);
    EXPECT_EQ(notes.back(), "--bitrate-kbps must be a whole number from 0 to 2147483");
  }
  EXPECT_TRUE(encoderArguments.empty());
}

TEST_F(CaptureAppTest, EveryValueThatFitsReachesTheEncoder) {
  twoDisplays();
  struct Case {
    int64_t fps;
    int64_t bitrateKbps;
    const char* note;
  };
  for (const Case& c : {
           Case{241, 6000, "capturing display 9 at 1920x1080, 241fps, 6000kbps"},
           Case{2147483647, 6000, "capturing display 9 at 1920x1080, 2147483647fps, 6000kbps"},
           Case{1, 0, "capturing display 9 at 1920x1080, 1fps, 0kbps"},  // the encoder decides
           Case{30, 2147483, "capturing display 9 at 1920x1080, 30fps, 2147483kbps"},
       }) {
    Options options;
    options.fps = c.fps;
    options.bitrateKbps = c.bitrateKbps;
    ASSERT_TRUE(
        std::holds_alternative<std::unique_ptr<CaptureSession>>(runCapture(options, platform)))
        << c.note;
    EXPECT_EQ(encoderArguments, (std::vector<int32_t>{1920, 1080, static_cast<int32_t>(c.fps),
                                                      static_cast<int32_t>(c.bitrateKbps)}));
    EXPECT_EQ(streams.configurations.back().frameRate, c.fps);
    EXPECT_EQ(notes.back(), c.note);
  }
}

TEST_F(CaptureAppTest, StopHandlerEndsWithTheStreamErrorOrQuietlyWhenTheReaderIsGone) {
  twoDisplays();
  auto started = runCapture(Options{}, platform);
  ASSERT_TRUE(std::holds_alternative<std::unique_ptr<CaptureSession>>(started));
  CaptureSession& session = *std::get<std::unique_ptr<CaptureSession>>(started);
  const auto client = streams.last->client.lock();
  ASSERT_TRUE(client);
  const size_t startNotes = notes.size();

  client->didStopWithError("display asleep");
  EXPECT_EQ(exits, std::vector<int>{1});
  EXPECT_EQ(notes.back(), "the screen stream stopped: display asleep");

  // A closed reader is noticed by the next frame, and again by the next idle check.
  notes.resize(startNotes);
  exits.clear();
  CapturedFrame frame;
  frame.picture = std::make_shared<const Picture>(1);
  client->didOutputFrame(frame);
  session.encoder->downstreamClosed = true;
  client->didOutputFrame(frame);
  clock.advance(std::chrono::milliseconds(1000));
  queue.fire();
  EXPECT_EQ(exits, (std::vector<int>{0, 0}));
  EXPECT_EQ(notes.size(), startNotes);
}

TEST_F(CaptureAppTest, ProbeWhoseAnswerCannotBeWrittenEndsWithOne) {
  twoDisplays();
  for (const auto step : {ScriptedWriteCalls::Step{-1, EPIPE}, ScriptedWriteCalls::Step{0}}) {
    ScriptedWriteCalls out;
    out.script = {step};
    EXPECT_EQ(runProbe(displays, platform.note, AnnexBWriter(1, out)), 1);
    EXPECT_TRUE(out.accepted.empty());
  }
  EXPECT_TRUE(notes.empty());
}

TEST(ExitOnStopTest, MessageMeansFailure) {
  std::vector<std::string> notes;
  std::vector<int> exits;
  const StopHandler handler = exitOnStop([&](std::string_view text) { notes.emplace_back(text); },
                                         [&](int status) { exits.push_back(status); });
  handler(std::nullopt);
  handler(std::string("the screen stream stopped: gone"));
  EXPECT_EQ(exits, (std::vector<int>{0, 1}));
  EXPECT_EQ(notes, std::vector<std::string>{"the screen stream stopped: gone"});
}

void noteThatExitHandlersRan() {
  const char text[] = "exit handlers ran\n";
  (void)::write(STDERR_FILENO, text, sizeof text - 1);
}

TEST(ExitNowDeathTest, EndsWithTheStatusAndRunsNoExitHandlers) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::atexit(noteThatExitHandlersRan);
        exitNow(3);
      },
      ::testing::ExitedWithCode(3), "^$");
  // The handler does run when the process ends the ordinary way, so the check above can fail.
  EXPECT_EXIT(
      {
        std::atexit(noteThatExitHandlersRan);
        std::exit(3);
      },
      ::testing::ExitedWithCode(3), "exit handlers ran");
}

}  // namespace
}  // namespace vornakel::capture
