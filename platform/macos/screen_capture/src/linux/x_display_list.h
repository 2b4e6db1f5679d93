#pragma once

#include "screen_source/display_list.h"

namespace vornakel::capture {

// The screens of the X display named by DISPLAY. Screen numbers are the display identifiers and
// the default screen is the main display; X sizes are already in pixels.
class XDisplayList final : public DisplayList {
 public:
  std::variant<ShareableContent, std::string> queryShareableContent() override;
};

}  // namespace vornakel::capture
