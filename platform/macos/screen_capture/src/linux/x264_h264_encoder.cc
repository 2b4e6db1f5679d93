#include "linux/x264_h264_encoder.h"

#include <chrono>
#include <cstdint>

#include "h264/session_settings.h"
#include "linux/picture_linux.h"

extern "C" {
#include <x264.h>
}

namespace vornakel::capture {
namespace {

constexpr int kLengthFieldSize = 4;  // b_annexb = 0 prefixes every NAL unit with 4 bytes

// One encode call's output: x264 lays the NAL units of a call out contiguously.
class X264Sample final : public EncodedSample {
 public:
  X264Sample(std::span<const uint8_t> data, bool keyframe, std::span<const uint8_t> sps,
             std::span<const uint8_t> pps)
      : data_(data), keyframe_(keyframe), sps_(sps), pps_(pps) {}

  SyncAttachments syncAttachments() const override { return {true, false, !keyframe_}; }
  std::optional<int> nalUnitLengthFieldSize() const override { return kLengthFieldSize; }
  std::vector<std::span<const uint8_t>> parameterSets() const override {
    std::vector<std::span<const uint8_t>> sets;
    if (!sps_.empty()) sets.push_back(sps_);
    if (!pps_.empty()) sets.push_back(pps_);
    return sets;
  }
  std::optional<std::span<const uint8_t>> dataBlock() const override { return data_; }

 private:
  std::span<const uint8_t> data_;
  bool keyframe_;
  std::span<const uint8_t> sps_;
  std::span<const uint8_t> pps_;
};

// value / timescale seconds in nanoseconds, without overflowing for any time since boot.
std::chrono::nanoseconds nanosecondsOf(MediaTime time) {
  const int64_t seconds = time.value / time.timescale;
  const int64_t rest = time.value % time.timescale;
  return std::chrono::nanoseconds(seconds * 1000000000 + rest * 1000000000 / time.timescale);
}

}  // namespace

X264H264Encoder::X264H264Encoder(AnnexBWriter output, ErrorHandler errorHandler, const Clock& clock)
    : H264Encoder(output, std::move(errorHandler)), clock_(clock) {}

X264H264Encoder::~X264H264Encoder() {
  if (session_) x264_encoder_close(session_);
}

std::variant<std::unique_ptr<H264Encoder>, int32_t> X264H264Encoder::create(
    int32_t width, int32_t height, int32_t frameRate, int32_t bitrateKbps, AnnexBWriter writer,
    ErrorHandler onError, const Clock& clock) {
  const H264SessionSettings settings = h264SessionSettings(frameRate, bitrateKbps);
  x264_param_t parameters;
  if (x264_param_default_preset(&parameters, "ultrafast", "zerolatency") < 0) return int32_t{-1};
  parameters.i_log_level = X264_LOG_NONE;  // standard error carries only the program's own lines
  parameters.i_threads = 1;                // one slice per picture, the same on every machine
  parameters.i_width = width;
  parameters.i_height = height;
  parameters.i_csp = X264_CSP_NV12;
  parameters.vui.b_fullrange = 0;
  parameters.i_fps_num = static_cast<uint32_t>(settings.expectedFrameRate);
  parameters.i_fps_den = 1;
  parameters.b_vfr_input = 0;  // otherwise every frame comes out one call late
  parameters.i_bframe = 0;
  parameters.i_keyint_max = settings.maxKeyFrameInterval;
  parameters.i_keyint_min = settings.maxKeyFrameInterval;
  parameters.i_scenecut_threshold = 0;
  parameters.b_annexb = 0;
  parameters.b_repeat_headers = 0;
  parameters.b_aud = 0;  // the writer puts its own delimiter in front of every access unit
  if (settings.averageBitRate > 0) {
    parameters.rc.i_rc_method = X264_RC_ABR;
    parameters.rc.i_bitrate = settings.averageBitRate / 1000;
  } else {
    // x264 has no average of 0: letting the encoder choose is its constant rate factor.
    parameters.rc.i_rc_method = X264_RC_CRF;
  }
  if (const auto& limit = settings.dataRateLimit) {
    // The ceiling in kbit/s over a buffer of one window's worth.
    parameters.rc.i_vbv_max_bitrate =
        static_cast<int>(limit->bytes * 8.0 / limit->seconds / 1000.0);
    parameters.rc.i_vbv_buffer_size =
        static_cast<int>(static_cast<double>(parameters.rc.i_vbv_max_bitrate) * limit->seconds);
  }
  if (x264_param_apply_profile(&parameters, "baseline") < 0) return int32_t{-2};

  std::unique_ptr<X264H264Encoder> encoder(new X264H264Encoder(writer, std::move(onError), clock));
  encoder->session_ = x264_encoder_open(&parameters);
  if (!encoder->session_) return int32_t{-3};
  encoder->width_ = width;
  encoder->keyFrameDue_ = std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::duration<double>(settings.maxKeyFrameIntervalDuration)) -
                          std::chrono::nanoseconds(500000000 / frameRate);
  encoder->height_ = height;

  x264_nal_t* headers = nullptr;
  int headerCount = 0;
  if (x264_encoder_headers(encoder->session_, &headers, &headerCount) < 0) return int32_t{-4};
  for (int i = 0; i < headerCount; ++i) {
    const x264_nal_t& nal = headers[i];
    if (nal.i_payload <= kLengthFieldSize) continue;
    // The headers also hold an SEI with the library's version text: only SPS and PPS are kept.
    std::vector<uint8_t>* target = nal.i_type == NAL_SPS   ? &encoder->sequenceParameterSet_
                                   : nal.i_type == NAL_PPS ? &encoder->pictureParameterSet_
                                                           : nullptr;
    if (target) target->assign(nal.p_payload + kLengthFieldSize, nal.p_payload + nal.i_payload);
  }
  if (encoder->sequenceParameterSet_.empty() || encoder->pictureParameterSet_.empty()) {
    return int32_t{-5};
  }
  return std::unique_ptr<H264Encoder>(std::move(encoder));
}

bool X264H264Encoder::hasSession() const {
  std::lock_guard<std::mutex> hold(sessionLock_);
  return session_ != nullptr;
}

int32_t X264H264Encoder::submit(const PictureRef& pixelBuffer, MediaTime presentationTime,
                                MediaTime) {
  std::lock_guard<std::mutex> hold(sessionLock_);
  if (!session_) return 0;
  if (!pixelBuffer || pixelBuffer->width != width_ || pixelBuffer->height != height_) return -6;

  x264_picture_t input;
  x264_picture_init(&input);
  input.img.i_csp = X264_CSP_NV12;
  input.img.i_plane = 2;
  input.img.plane[0] = const_cast<uint8_t*>(pixelBuffer->luma());
  input.img.i_stride[0] = width_;
  input.img.plane[1] = const_cast<uint8_t*>(pixelBuffer->chroma());
  input.img.i_stride[1] = width_;
  input.i_pts = nextFrameNumber_++;
  // x264 counts frames only; a still screen re-sent once a second must still get its key frames.
  // The picture is made a key frame once less than half a frame interval of the second is left,
  // so that scheduling jitter on a re-send cannot push the next key frame a whole second later.
  // Like VideoToolbox, the second is counted in presentation time (when the picture was taken,
  // or re-sent): by the encoder's own clock, pictures that waited in the frame queue on a busy
  // machine and then came in a burst would open gaps of more than a second between key frames.
  const std::chrono::nanoseconds pictureTime = presentationTime.isValid()
                                                   ? nanosecondsOf(presentationTime)
                                                   : clock_.now().time_since_epoch();
  input.i_type = (lastKeyFrameTime_ && pictureTime - *lastKeyFrameTime_ >= keyFrameDue_)
                     ? X264_TYPE_IDR
                     : X264_TYPE_AUTO;

  x264_nal_t* nals = nullptr;
  int nalCount = 0;
  x264_picture_t output;
  const int frameSize = x264_encoder_encode(session_, &nals, &nalCount, &input, &output);
  if (frameSize < 0) return frameSize;
  if (frameSize == 0 || nalCount == 0) {
    handleOutput(0, nullptr);
    return 0;
  }
  if (output.b_keyframe) lastKeyFrameTime_ = pictureTime;
  const X264Sample sample(
      std::span<const uint8_t>(nals[0].p_payload, static_cast<size_t>(frameSize)),
      output.b_keyframe != 0, sequenceParameterSet_, pictureParameterSet_);
  handleOutput(0, &sample);
  return 0;
}

void X264H264Encoder::completeAndInvalidateSession() {
  std::lock_guard<std::mutex> hold(sessionLock_);
  if (!session_) return;
  // Real-time settings hold no frames back, but whatever is pending is still written.
  while (x264_encoder_delayed_frames(session_) > 0) {
    x264_nal_t* nals = nullptr;
    int nalCount = 0;
    x264_picture_t output;
    const int frameSize = x264_encoder_encode(session_, &nals, &nalCount, nullptr, &output);
    if (frameSize <= 0) break;
    const X264Sample sample(
        std::span<const uint8_t>(nals[0].p_payload, static_cast<size_t>(frameSize)),
        output.b_keyframe != 0, sequenceParameterSet_, pictureParameterSet_);
    handleOutput(0, &sample);
  }
  x264_encoder_close(session_);
  session_ = nullptr;
}

}  // namespace vornakel::capture
