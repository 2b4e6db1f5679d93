#include "h264/encoded_sample.h"

namespace vornakel::capture {

bool isKeyframe(const SyncAttachments& attachments) {
  if (!attachments.hasArray || attachments.arrayIsEmpty) return true;
  if (!attachments.notSync.has_value()) return true;
  return !*attachments.notSync;
}

}  // namespace vornakel::capture
