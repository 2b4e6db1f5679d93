// Keeps part of the X screen changing: a window whose colour bar slides across it at about 30
// changes per second, until it is killed. Used by the end-to-end test and the demonstration.

#include <time.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  const int width = argc > 1 ? std::atoi(argv[1]) : 640;
  const int height = argc > 2 ? std::atoi(argv[2]) : 360;
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection)) {
    std::fprintf(stderr, "mover: cannot connect to the X display\n");
    return 1;
  }
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  const xcb_window_t window = xcb_generate_id(connection);
  const uint32_t windowValues[] = {screen->black_pixel};
  xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 40, 40,
                    static_cast<uint16_t>(width), static_cast<uint16_t>(height), 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL,
                    windowValues);
  xcb_map_window(connection, window);
  const xcb_gcontext_t context = xcb_generate_id(connection);
  xcb_create_gc(connection, context, window, 0, nullptr);
  xcb_flush(connection);

  for (unsigned step = 0;; ++step) {
    const int barWidth = width / 8;
    const int position = static_cast<int>((step * 7) % static_cast<unsigned>(width));
    const uint32_t background[] = {0x202020};
    xcb_change_gc(connection, context, XCB_GC_FOREGROUND, background);
    const xcb_rectangle_t all = {0, 0, static_cast<uint16_t>(width), static_cast<uint16_t>(height)};
    xcb_poly_fill_rectangle(connection, window, context, 1, &all);
    const uint32_t colour[] = {((step * 5) & 0xFF) << 16 | 0x80C0};
    xcb_change_gc(connection, context, XCB_GC_FOREGROUND, colour);
    const xcb_rectangle_t bar = {static_cast<int16_t>(position), 0, static_cast<uint16_t>(barWidth),
                                 static_cast<uint16_t>(height)};
    xcb_poly_fill_rectangle(connection, window, context, 1, &bar);
    xcb_flush(connection);
    if (xcb_connection_has_error(connection)) return 0;
    const timespec pause = {0, 33000000};
    nanosleep(&pause, nullptr);
  }
}
