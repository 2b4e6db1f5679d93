// Keeps part of the X screen changing: a window whose colour bar slides across it at about 30
// changes per second, until it is killed. Used by the end-to-end test, the demonstration and the
// soak run.
//   mover [width] [height] [--clock] [--noise]
// With --clock it also keeps a strip in the screen's top-left corner showing when it was drawn, so
// that a reader of the encoded stream can tell when each picture was taken: 32 blocks of 16 x 16
// pixels (one macroblock each), white for a set bit, most significant first: the low 24 bits of
// CLOCK_MONOTONIC in milliseconds, then a check byte (the complement of the sum of those three
// bytes). It is redrawn every 2 ms by copying a finished pixmap in one request, so that a grab of
// the screen sees one whole value, never a mix of two. With --noise the window shows fresh random
// pixels at every step instead of the bar: a picture no encoder can shrink, so that every access
// unit is large.

#include <time.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace {

constexpr int kClockBits = 32;
constexpr int kClockBlock = 16;
constexpr int64_t kBarStepNs = 33000000;
constexpr int64_t kClockStepNs = 2000000;

int64_t monotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The strip's 32-bit word for a time: 24 bits of milliseconds and their check byte.
uint32_t clockWord(int64_t ns) {
  const uint32_t ms = static_cast<uint32_t>(ns / 1000000) & 0xFFFFFF;
  const uint32_t check = ~((ms >> 16) + ((ms >> 8) & 0xFF) + (ms & 0xFF)) & 0xFF;
  return ms << 8 | check;
}

class ClockStrip {
 public:
  ClockStrip(xcb_connection_t* connection, xcb_screen_t* screen)
      : connection_(connection),
        window_(xcb_generate_id(connection)),
        pixmap_(xcb_generate_id(connection)),
        context_(xcb_generate_id(connection)) {
    const uint32_t values[] = {screen->black_pixel, 1};
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, kWidth,
                      kClockBlock, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(connection, window_);
    xcb_create_pixmap(connection, screen->root_depth, pixmap_, window_, kWidth, kClockBlock);
    xcb_create_gc(connection, context_, pixmap_, 0, nullptr);
    black_ = screen->black_pixel;
    white_ = screen->white_pixel;
  }

  void draw(int64_t ns) {
    const uint32_t word = clockWord(ns);
    std::vector<xcb_rectangle_t> ones;
    for (int bit = 0; bit < kClockBits; ++bit) {
      if (word >> (kClockBits - 1 - bit) & 1) {
        ones.push_back({static_cast<int16_t>(bit * kClockBlock), 0, kClockBlock, kClockBlock});
      }
    }
    const xcb_rectangle_t all = {0, 0, kWidth, kClockBlock};
    xcb_change_gc(connection_, context_, XCB_GC_FOREGROUND, &black_);
    xcb_poly_fill_rectangle(connection_, pixmap_, context_, 1, &all);
    xcb_change_gc(connection_, context_, XCB_GC_FOREGROUND, &white_);
    xcb_poly_fill_rectangle(connection_, pixmap_, context_, static_cast<uint32_t>(ones.size()),
                            ones.data());
    xcb_copy_area(connection_, pixmap_, window_, context_, 0, 0, 0, 0, kWidth, kClockBlock);
  }

 private:
  static constexpr uint16_t kWidth = kClockBits * kClockBlock;
  xcb_connection_t* connection_;
  xcb_window_t window_;
  xcb_pixmap_t pixmap_;
  xcb_gcontext_t context_;
  uint32_t black_ = 0;
  uint32_t white_ = 0;
};

// Random pixels for the whole window, sent in bands that stay well inside the request size limit.
void drawNoise(xcb_connection_t* connection, xcb_window_t window, xcb_gcontext_t context,
               uint8_t depth, int width, int height, uint32_t& state) {
  constexpr int kBandRows = 32;
  std::vector<uint32_t> band(static_cast<size_t>(width) * kBandRows);
  for (int top = 0; top < height; top += kBandRows) {
    const int rows = std::min(kBandRows, height - top);
    for (size_t i = 0; i < static_cast<size_t>(width) * static_cast<size_t>(rows); ++i) {
      state ^= state << 13;  // xorshift32
      state ^= state >> 17;
      state ^= state << 5;
      band[i] = state & 0xFFFFFF;
    }
    xcb_put_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, context,
                  static_cast<uint16_t>(width), static_cast<uint16_t>(rows), 0,
                  static_cast<int16_t>(top), 0, depth,
                  static_cast<uint32_t>(static_cast<size_t>(width) * rows * 4),
                  reinterpret_cast<const uint8_t*>(band.data()));
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int width = argc > 1 ? std::atoi(argv[1]) : 640;
  const int height = argc > 2 ? std::atoi(argv[2]) : 360;
  bool withClock = false;
  bool withNoise = false;
  for (int i = 3; i < argc; ++i) {
    withClock = withClock || std::strcmp(argv[i], "--clock") == 0;
    withNoise = withNoise || std::strcmp(argv[i], "--noise") == 0;
  }
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
  std::optional<ClockStrip> strip;
  if (withClock) strip.emplace(connection, screen);
  xcb_flush(connection);

  uint32_t noiseState = 2463534242u;
  int64_t nextBar = monotonicNs();
  for (unsigned step = 0;; ++step) {
    // Between two bar steps only the clock strip changes.
    while (strip) {
      const int64_t now = monotonicNs();
      strip->draw(now);
      xcb_flush(connection);
      if (xcb_connection_has_error(connection)) return 0;
      if (now >= nextBar) break;
      const int64_t wait = nextBar - now < kClockStepNs ? nextBar - now : kClockStepNs;
      const timespec pause = {0, static_cast<long>(wait)};
      nanosleep(&pause, nullptr);
    }
    // A mover held up by a busy machine goes on from now instead of catching up in a burst.
    nextBar = std::max(nextBar + kBarStepNs, monotonicNs());
    if (withNoise) {
      drawNoise(connection, window, context, screen->root_depth, width, height, noiseState);
      xcb_flush(connection);
      if (xcb_connection_has_error(connection)) return 0;
      if (!strip) {
        const timespec pause = {0, kBarStepNs};
        nanosleep(&pause, nullptr);
      }
      continue;
    }
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
    if (!strip) {
      const timespec pause = {0, kBarStepNs};
      nanosleep(&pause, nullptr);
    }
  }
}
