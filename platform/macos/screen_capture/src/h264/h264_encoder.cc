#include "h264/h264_encoder.h"

#include <array>
#include <vector>

#include "h264/avcc.h"

namespace vornakel::capture {
namespace {

// Start code followed by the access unit delimiter (primary_pic_type 7, stop bit).
constexpr std::array<uint8_t, 6> kAccessUnitHead = {0x00, 0x00, 0x00, 0x01, 0x09, 0xF0};
constexpr std::array<uint8_t, 4> kStartCode = {0x00, 0x00, 0x00, 0x01};

iovec piece(std::span<const uint8_t> bytes) {
  // writev takes non-const pointers but only reads through them.
  return iovec{const_cast<uint8_t*>(bytes.data()), bytes.size()};
}

}  // namespace

std::string H264EncoderError::message() const {
  switch (errorCase) {
    case H264EncoderErrorCase::sessionCreateFailed:
      return "could not start the H.264 encoder (VideoToolbox status " + std::to_string(status) +
             ")";
    case H264EncoderErrorCase::encodeFailed:
      break;
  }
  return "the H.264 encoder rejected a frame (VideoToolbox status " + std::to_string(status) + ")";
}

void H264Encoder::encode(const PictureRef& pixelBuffer, MediaTime presentationTime,
                         MediaTime duration) {
  if (!hasSession() || downstreamClosed.load()) return;
  const int32_t status = submit(pixelBuffer, presentationTime, duration);
  if (status != 0) onError(H264EncoderError{H264EncoderErrorCase::encodeFailed, status}.message());
}

void H264Encoder::stopSession() {
  if (hasSession()) completeAndInvalidateSession();
}

void H264Encoder::handleOutput(int32_t status, const EncodedSample* sample) {
  if (status != 0 || sample == nullptr) {
    onError(H264EncoderError{H264EncoderErrorCase::encodeFailed, status}.message());
    return;
  }
  emit(*sample);
}

void H264Encoder::emit(const EncodedSample& sample) {
  if (downstreamClosed.load()) return;

  std::vector<std::span<const uint8_t>> parameterSets;
  if (isKeyframe(sample.syncAttachments())) parameterSets = sample.parameterSets();

  std::vector<std::span<const uint8_t>> units;
  if (const auto block = sample.dataBlock()) {
    units = nalUnits(*block, sample.nalUnitLengthFieldSize().value_or(kDefaultNalLengthFieldSize));
  }

  std::vector<iovec> pieces;
  pieces.reserve(1 + 2 * (parameterSets.size() + units.size()));
  pieces.push_back(piece(kAccessUnitHead));
  for (const auto set : parameterSets) {
    pieces.push_back(piece(kStartCode));
    pieces.push_back(piece(set));
  }
  for (const auto unit : units) {
    pieces.push_back(piece(kStartCode));
    pieces.push_back(piece(unit));
  }

  if (writer.writeAll(std::span<const iovec>(pieces))) {
    downstreamClosed.store(true);
    onError(std::string(kDownstreamClosedMessage));
  }
}

}  // namespace vornakel::capture
