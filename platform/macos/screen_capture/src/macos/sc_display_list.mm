#include "macos/sc_display_list.h"

#include <CoreGraphics/CoreGraphics.h>

namespace vornakel::capture {

std::variant<ShareableContent, std::string> SCDisplayList::queryShareableContent() {
  // Called from the start-up task, never from a queue the completion needs.
  __block SCShareableContent* answer = nil;
  __block NSError* failure = nil;
  dispatch_semaphore_t done = dispatch_semaphore_create(0);
  [SCShareableContent
      getShareableContentExcludingDesktopWindows:NO
                             onScreenWindowsOnly:YES
                               completionHandler:^(SCShareableContent* content, NSError* error) {
                                 answer = content;
                                 failure = error;
                                 dispatch_semaphore_signal(done);
                               }];
  dispatch_semaphore_wait(done, DISPATCH_TIME_FOREVER);
  if (failure != nil || answer == nil) {
    NSString* description = failure != nil ? failure.localizedDescription : @"no content";
    return std::string(description.UTF8String ? description.UTF8String : "");
  }
  lastContent_ = answer;

  ShareableContent content;
  content.mainDisplayId = CGMainDisplayID();
  for (SCDisplay* display in answer.displays) {
    PlatformDisplay entry;
    entry.id = display.displayID;
    entry.pointWidth = display.width;
    entry.pointHeight = display.height;
    if (CGDisplayModeRef mode = CGDisplayCopyDisplayMode(display.displayID)) {
      entry.modePixelWidth = static_cast<int64_t>(CGDisplayModeGetPixelWidth(mode));
      entry.modePixelHeight = static_cast<int64_t>(CGDisplayModeGetPixelHeight(mode));
      CGDisplayModeRelease(mode);
    }
    content.displays.push_back(entry);
  }
  return content;
}

SCDisplay* SCDisplayList::displayForCapture(uint32_t displayId) const {
  for (SCDisplay* display in lastContent_.displays) {
    if (display.displayID == displayId) return display;
  }
  return lastContent_.displays.firstObject;
}

}  // namespace vornakel::capture
