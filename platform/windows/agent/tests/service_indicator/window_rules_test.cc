#include <gtest/gtest.h>

#include <string>

#include "service_indicator/window/input_origin.h"
#include "service_indicator/window/paint_cycle.h"

namespace vornakel::service_indicator {
namespace {

// Mouse messages in the client and non-client areas and keyboard messages carrying the input
// host's marker are dropped; nothing else is, and nothing without the marker.
TEST(RemoteInputTest, OnlyMarkedMouseAndKeyboardMessagesAreDropped) {
  const struct {
    uint32_t message;
    const char* name;
    bool input;
  } messages[] = {
      {0x0201, "WM_LBUTTONDOWN", true}, {0x0202, "WM_LBUTTONUP", true},
      {0x0200, "WM_MOUSEMOVE", true},   {0x020A, "WM_MOUSEWHEEL", true},
      {0x020E, "WM_MOUSEHWHEEL", true}, {0x00A1, "WM_NCLBUTTONDOWN", true},
      {0x00A0, "WM_NCMOUSEMOVE", true}, {0x00AD, "WM_NCXBUTTONDBLCLK", true},
      {0x0100, "WM_KEYDOWN", true},     {0x0104, "WM_SYSKEYDOWN", true},
      {0x0102, "WM_CHAR", true},        {0x0109, "WM_UNICHAR", true},
      {0x0312, "WM_HOTKEY", false},     {0x0113, "WM_TIMER", false},
      {0x000F, "WM_PAINT", false},      {0x0111, "WM_COMMAND", false},
      {0x0084, "WM_NCHITTEST", false},  {0x020F, "after WM_MOUSELAST", false},
      {0x00FF, "WM_INPUT", false},      {0x0010, "WM_CLOSE", false},
  };
  for (const auto& m : messages) {
    EXPECT_EQ(is_remote_input(m.message, 100), m.input) << m.name << " with the marker";
    for (uint64_t extra : {0ull, 99ull, 101ull, 0xFF515700ull}) {
      EXPECT_FALSE(is_remote_input(m.message, extra)) << m.name << " with " << extra;
    }
  }
}

class RecordedPaint final : public PaintTarget {
 public:
  explicit RecordedPaint(bool begins) : begins_(begins) {}
  bool begin() override {
    steps += "begin ";
    return begins_;
  }
  void draw() override { steps += "draw "; }
  void end() override { steps += "end "; }
  void validate() override { steps += "validate "; }
  std::string steps;

 private:
  bool begins_;
};

TEST(PaintCycleTest, APaintThatCannotBeginValidatesSoThatNoWmPaintFollowsAtOnce) {
  RecordedPaint failed(false);
  paint_once(failed);
  EXPECT_EQ(failed.steps, "begin validate ");
  RecordedPaint painted(true);
  paint_once(painted);
  EXPECT_EQ(painted.steps, "begin draw end ");
}

}  // namespace
}  // namespace vornakel::service_indicator
