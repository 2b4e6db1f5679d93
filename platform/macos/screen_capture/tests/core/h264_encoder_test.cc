#include "h264/h264_encoder.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "h264/session_settings.h"
#include "support/fakes.h"

namespace vornakel::capture {
namespace {

using testing_support::FakeSample;
using testing_support::RecordingEncoder;
using testing_support::ScriptedWriteCalls;
using Bytes = std::vector<uint8_t>;

const Bytes kSps = {0x67, 0x42, 0xC0, 0x28};
const Bytes kPps = {0x68, 0xCE, 0x3C, 0x80};

FakeSample keySample() {
  FakeSample sample;
  sample.sync = {true, false, false};
  sample.sets = {kSps, kPps};
  sample.data = Bytes{0, 0, 0, 3, 0x65, 0xAA, 0xBB, 0, 0, 0, 2, 0x65, 0xCC};
  return sample;
}

FakeSample deltaSample() {
  FakeSample sample;
  sample.sync = {true, false, true};
  sample.sets = {kSps, kPps};
  sample.data = Bytes{0, 0, 0, 2, 0x41, 0x9A};
  return sample;
}

TEST(IsKeyframeTest, AttachmentCases) {
  EXPECT_TRUE(isKeyframe({false, true, std::nullopt}));  // no array
  EXPECT_TRUE(isKeyframe({true, true, std::nullopt}));   // empty array
  EXPECT_TRUE(isKeyframe({true, false, std::nullopt}));  // NotSync absent
  EXPECT_TRUE(isKeyframe({true, false, false}));         // NotSync false
  EXPECT_FALSE(isKeyframe({true, false, true}));         // NotSync true
}

TEST(EmitTest, KeyFrameCarriesDelimiterThenParameterSetsThenUnits) {
  ScriptedWriteCalls calls;
  RecordingEncoder encoder(calls);
  encoder.emit(keySample());
  const Bytes expected = {0, 0, 0, 1, 0x09, 0xF0,              // delimiter
                          0, 0, 0, 1, 0x67, 0x42, 0xC0, 0x28,  // SPS
                          0, 0, 0, 1, 0x68, 0xCE, 0x3C, 0x80,  // PPS
                          0, 0, 0, 1, 0x65, 0xAA, 0xBB,        // slice
                          0, 0, 0, 1, 0x65, 0xCC};             // slice
  EXPECT_EQ(calls.accepted, expected);
  EXPECT_EQ(calls.writevCalls, 1);
  EXPECT_EQ(calls.writeCalls, 0);
  EXPECT_TRUE(encoder.errors.empty());
}

TEST(EmitTest, NonKeyFrameCarriesOnlyItsOwnUnits) {
  ScriptedWriteCalls calls;
  RecordingEncoder encoder(calls);
  const FakeSample sample = deltaSample();
  encoder.emit(sample);
  EXPECT_EQ(calls.accepted, (Bytes{0, 0, 0, 1, 0x09, 0xF0, 0, 0, 0, 1, 0x41, 0x9A}));
  EXPECT_EQ(sample.parameterSetQueries, 0);
}

TEST(EmitTest, LengthFieldSizeComesFromTheFormat) {
  ScriptedWriteCalls calls;
  RecordingEncoder encoder(calls);
  FakeSample sample = deltaSample();
  sample.lengthFieldSize = 2;
  sample.data = Bytes{0, 2, 0x41, 0x01, 0, 1, 0x41};
  encoder.emit(sample);
  EXPECT_EQ(calls.accepted,
            (Bytes{0, 0, 0, 1, 0x09, 0xF0, 0, 0, 0, 1, 0x41, 0x01, 0, 0, 0, 1, 0x41}));
}

TEST(EmitTest, SampleWithoutDataStillDelimitsItsAccessUnit) {
  ScriptedWriteCalls calls;
  RecordingEncoder encoder(calls);
  FakeSample sample = deltaSample();
  sample.data.reset();
  encoder.emit(sample);
  EXPECT_EQ(calls.accepted, (Bytes{0, 0, 0, 1, 0x09, 0xF0}));
}

TEST(EmitTest, ReaderGoneInTheMiddleOfAnAccessUnit) {
  ScriptedWriteCalls calls;
  RecordingEncoder encoder(calls);
  calls.script = {{9}, {-1, EPIPE}};
  encoder.emit(keySample());
  EXPECT_EQ(calls.accepted, (Bytes{0, 0, 0, 1, 0x09, 0xF0, 0, 0, 0}));
  EXPECT_TRUE(encoder.downstreamClosed.load());
  EXPECT_EQ(encoder.errors, std::vector<std::string>{"the agent stopped reading the video stream"});

  // Nothing is written again, and the error is not repeated.
  const int callsBefore = calls.writevCalls + calls.writeCalls;
  encoder.emit(keySample());
  encoder.emit(deltaSample());
  EXPECT_EQ(calls.writevCalls + calls.writeCalls, callsBefore);
  EXPECT_EQ(calls.accepted.size(), 9u);
  EXPECT_EQ(encoder.errors.size(), 1u);
}

TEST(EncodeTest, SubmitsOnlyWhileTheSessionIsOpenAndTheReaderIsThere) {
  ScriptedWriteCalls calls;
  RecordingEncoder encoder(calls);
  const auto picture = std::make_shared<const Picture>(1);
  encoder.encode(picture, {30, 600}, {20, 600});
  ASSERT_EQ(encoder.submissions.size(), 1u);
  EXPECT_EQ(encoder.submissions[0].presentationTime.value, 30);
  EXPECT_EQ(encoder.submissions[0].duration.timescale, 600);

  encoder.downstreamClosed = true;
  encoder.encode(picture, {50, 600}, {20, 600});
  encoder.downstreamClosed = false;
  encoder.stopSession();
  encoder.encode(picture, {70, 600}, {20, 600});
  EXPECT_EQ(encoder.submissions.size(), 1u);
  EXPECT_TRUE(encoder.errors.empty());
}

TEST(EncodeTest, RejectedFramesAreReportedAndCaptureGoesOn) {
  ScriptedWriteCalls calls;
  RecordingEncoder encoder(calls);
  encoder.submitStatus = -12902;
  encoder.encode(std::make_shared<const Picture>(1), {}, {});
  encoder.handleOutput(-12903, nullptr);
  encoder.handleOutput(0, nullptr);  // a dropped frame
  const FakeSample sample = deltaSample();
  encoder.handleOutput(-1, &sample);
  EXPECT_EQ(encoder.errors, (std::vector<std::string>{
                                "the H.264 encoder rejected a frame (VideoToolbox status -12902)",
                                "the H.264 encoder rejected a frame (VideoToolbox status -12903)",
                                "the H.264 encoder rejected a frame (VideoToolbox status 0)",
                                "the H.264 encoder rejected a frame (VideoToolbox status -1)"}));
  EXPECT_TRUE(calls.accepted.empty());
  encoder.handleOutput(0, &sample);
  EXPECT_EQ(calls.accepted.size(), 12u);
}

TEST(H264SessionSettingsTest, RateAndKeyFrameNumbers) {
  struct Case {
    int32_t frameRate;
    int32_t bitrateKbps;
    int32_t averageBitRate;
    std::optional<double> limitBytes;  // per second
  };
  for (const Case& c : {
           Case{30, 6000, 6000000, 1125000.0},
           Case{1, 1, 1000, 187.5},
           Case{60, 2147483, 2147483000, 402653062.5},  // the largest average that fits
           Case{1000, 0, 0, std::nullopt},              // the encoder decides: no limit either
           Case{2147483647, 500, 500000, 93750.0},
       }) {
    const H264SessionSettings settings = h264SessionSettings(c.frameRate, c.bitrateKbps);
    SCOPED_TRACE(testing::Message() << c.frameRate << " fps, " << c.bitrateKbps << " kbps");
    EXPECT_EQ(settings.averageBitRate, c.averageBitRate);
    ASSERT_EQ(settings.dataRateLimit.has_value(), c.limitBytes.has_value());
    if (c.limitBytes) {
      EXPECT_EQ(settings.dataRateLimit->bytes, *c.limitBytes);
      EXPECT_EQ(settings.dataRateLimit->seconds, 1.0);
    }
    EXPECT_EQ(settings.expectedFrameRate, c.frameRate);
    EXPECT_EQ(settings.maxKeyFrameInterval, c.frameRate);
    EXPECT_EQ(settings.maxKeyFrameIntervalDuration, 1.0);
  }
}

TEST(H264EncoderErrorTest, Messages) {
  EXPECT_EQ((H264EncoderError{H264EncoderErrorCase::sessionCreateFailed, -12915}.message()),
            "could not start the H.264 encoder (VideoToolbox status -12915)");
}

}  // namespace
}  // namespace vornakel::capture
