#include "screen_source/screen_source_error.h"

namespace vornakel::capture {

std::string ScreenSourceError::message() const {
  switch (errorCase) {
    case ScreenSourceErrorCase::displayNotFound:
      return "display " + std::to_string(displayId) + " is no longer attached to this Mac";
    case ScreenSourceErrorCase::streamFailed:
      return "the screen stream stopped: " + description;
    case ScreenSourceErrorCase::permissionDenied:
      return "macOS has not granted Screen Recording to this agent. Allow it under System "
             "Settings, "
             "Privacy & Security, Screen Recording, then start the agent again.";
    case ScreenSourceErrorCase::noDisplays:
      break;
  }
  return "macOS reports no displays to capture. A Mac with the lid closed and no external screen "
         "has none.";
}

}  // namespace vornakel::capture
