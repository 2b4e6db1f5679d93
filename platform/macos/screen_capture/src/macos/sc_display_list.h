#pragma once

#import <ScreenCaptureKit/ScreenCaptureKit.h>

#include "screen_source/display_list.h"

namespace vornakel::capture {

// ScreenCaptureKit's shareable displays with the native pixel sizes of their display modes. The
// last answer is kept: the capture stream is built on the display object it listed.
class SCDisplayList final : public DisplayList {
 public:
  std::variant<ShareableContent, std::string> queryShareableContent() override;

  // The display of the last answer with this identifier, else its first display, else nil.
  SCDisplay* displayForCapture(uint32_t displayId) const;

 private:
  SCShareableContent* lastContent_ = nil;
};

}  // namespace vornakel::capture
