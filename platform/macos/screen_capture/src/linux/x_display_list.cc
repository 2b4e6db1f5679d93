#include "linux/x_display_list.h"

#include <xcb/xcb.h>

#include <memory>

namespace vornakel::capture {

std::variant<ShareableContent, std::string> XDisplayList::queryShareableContent() {
  int defaultScreen = 0;
  std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t*)> connection(
      xcb_connect(nullptr, &defaultScreen), xcb_disconnect);
  if (xcb_connection_has_error(connection.get())) {
    return std::string("cannot connect to the X display");
  }
  ShareableContent content;
  content.mainDisplayId = static_cast<uint32_t>(defaultScreen);
  uint32_t number = 0;
  for (auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection.get())); screens.rem;
       xcb_screen_next(&screens), ++number) {
    PlatformDisplay display;
    display.id = number;
    display.pointWidth = screens.data->width_in_pixels;
    display.pointHeight = screens.data->height_in_pixels;
    display.modePixelWidth = screens.data->width_in_pixels;
    display.modePixelHeight = screens.data->height_in_pixels;
    content.displays.push_back(display);
  }
  return content;
}

}  // namespace vornakel::capture
