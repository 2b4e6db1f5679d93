#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vornakel::capture {

// What the first dictionary of a sample's attachments array says about synchronisation.
struct SyncAttachments {
  bool hasArray = false;        // the sample carries an attachments array at all
  bool arrayIsEmpty = true;     // ... and it has no dictionary
  std::optional<bool> notSync;  // the NotSync value of the first dictionary, if present
};

// One encoded sample as the platform encoder returns it: length-prefixed NAL units, the parameter
// sets of its format, and its sync attachments. Each platform wraps its own sample object; the
// views stay valid for the life of the sample.
class EncodedSample {
 public:
  virtual ~EncodedSample() = default;

  virtual SyncAttachments syncAttachments() const = 0;
  // The NAL unit header length of the format description; none when there is no description or it
  // does not give one.
  virtual std::optional<int> nalUnitLengthFieldSize() const = 0;
  // The parameter sets of the format in index order, those that could not be fetched left out.
  virtual std::vector<std::span<const uint8_t>> parameterSets() const = 0;
  // The sample's data as one contiguous range; none when there is no data block or it cannot be
  // read.
  virtual std::optional<std::span<const uint8_t>> dataBlock() const = 0;
};

bool isKeyframe(const SyncAttachments& attachments);

}  // namespace vornakel::capture
