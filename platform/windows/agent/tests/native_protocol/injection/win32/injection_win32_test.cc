// Injects through the real backend into a window of this process and checks what arrives.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include "native_protocol/injection/display_record.h"
#include "native_protocol/injection/win32/test_window.h"
#include "native_protocol/win32/dpi_awareness_win32.h"
#include "native_protocol/win32/input_host_win32.h"
#include "native_protocol/win32/system_message_win32.h"

namespace vornakel::native_protocol {
namespace {

using testing::ReceivedMessage;
using testing::TestWindow;

class Win32InjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(window_.handle(), nullptr);
    auto displays = win32::make_display_source()->enumerate_displays();
    ASSERT_TRUE(displays.ok()) << displays.error().message();
    const DisplayRecord* primary = choose_primary(displays.value());
    ASSERT_NE(primary, nullptr);
    display_ = *primary;
    auto backend = win32::make_input_backend_factory()->create_backend(display_);
    ASSERT_TRUE(backend.ok());
    backend_ = std::move(backend).value();
  }

  // Puts the pointer over the middle of the test window with an absolute move.
  void point_at_window() {
    const RECT rect = window_.screen_rect();
    const float x = static_cast<float>((rect.left + rect.right) / 2 - display_.x) /
                    static_cast<float>(display_.width - 1);
    const float y = static_cast<float>((rect.top + rect.bottom) / 2 - display_.y) /
                    static_cast<float>(display_.height - 1);
    ASSERT_TRUE(backend_->execute(MoveAction{display_.id, MoveAction::Mode::kAbsolute, x, y}).ok());
    window_.pump();
    window_.received().clear();
  }

  size_t count(UINT message) {
    size_t n = 0;
    for (const ReceivedMessage& received : window_.received()) n += received.message == message;
    return n;
  }

  bool wait_for(UINT message, size_t n = 1) {
    return window_.pump_until(
        [&](const std::vector<ReceivedMessage>&) { return count(message) >= n; });
  }

  TestWindow window_;
  DisplayRecord display_;
  std::unique_ptr<InputBackend> backend_;
};

TEST_F(Win32InjectionTest, AbsoluteMovesLandOnTheExpectedPixel) {
  struct Case {
    float x, y;
    LONG px, py;
  };
  const LONG right = display_.x + static_cast<LONG>(display_.width) - 1;
  const LONG bottom = display_.y + static_cast<LONG>(display_.height) - 1;
  const Case cases[] = {{0.0f, 0.0f, display_.x, display_.y},
                        {1.0f, 1.0f, right, bottom},
                        {0.5f, 0.25f, display_.x + std::lround(0.5f * (display_.width - 1)),
                         display_.y + std::lround(0.25f * (display_.height - 1))}};
  for (const Case& c : cases) {
    ASSERT_TRUE(
        backend_->execute(MoveAction{display_.id, MoveAction::Mode::kAbsolute, c.x, c.y}).ok());
    POINT point{};
    ASSERT_TRUE(GetCursorPos(&point));
    EXPECT_EQ(point.x, c.px);
    EXPECT_EQ(point.y, c.py);
  }
}

TEST_F(Win32InjectionTest, RelativeMovesShiftThePointer) {
  ASSERT_TRUE(SetCursorPos(300, 400));
  ASSERT_TRUE(
      backend_->execute(MoveAction{display_.id, MoveAction::Mode::kRelative, 50, -25}).ok());
  window_.pump();
  POINT point{};
  ASSERT_TRUE(GetCursorPos(&point));
  // The 0..65535 space is coarser than a pixel: the target may land one pixel off.
  EXPECT_LE(std::abs(point.x - 350), 1);
  EXPECT_LE(std::abs(point.y - 375), 1);
}

TEST_F(Win32InjectionTest, KeysArriveWithScanCodesExtendedBitsAndTheHostsMark) {
  ASSERT_TRUE(backend_->execute(KeyAction{4, 0, true}).ok());  // A
  ASSERT_TRUE(backend_->execute(KeyAction{4, 0, false}).ok());
  ASSERT_TRUE(backend_->execute(KeyAction{80, 0, true}).ok());  // ArrowLeft (extended)
  ASSERT_TRUE(backend_->execute(KeyAction{80, 0, false}).ok());
  ASSERT_TRUE(backend_->execute(KeyAction{228, 0x10, true}).ok());  // ControlRight (extended)
  ASSERT_TRUE(backend_->execute(KeyAction{228, 0x00, false}).ok());
  ASSERT_TRUE(wait_for(WM_KEYUP, 3));

  struct Seen {
    UINT message;
    WPARAM vk;
    bool extended;
    UINT scan;
  };
  std::vector<Seen> seen;
  for (const ReceivedMessage& m : window_.received()) {
    if (m.message != WM_KEYDOWN && m.message != WM_KEYUP) continue;
    EXPECT_EQ(m.extra_info, 100);
    seen.push_back({m.message, m.wparam, ((m.lparam >> 24) & 1) != 0,
                    static_cast<UINT>((m.lparam >> 16) & 0xFF)});
  }
  ASSERT_EQ(seen.size(), 6u);
  // The scan codes are the foreground layout's (this process's own window here).
  EXPECT_EQ(seen[0].scan, MapVirtualKeyW('A', MAPVK_VK_TO_VSC) & 0xFF);
  EXPECT_EQ(seen[2].scan, MapVirtualKeyW(VK_LEFT, MAPVK_VK_TO_VSC) & 0xFF);
  EXPECT_EQ(seen[4].scan, MapVirtualKeyW(VK_RCONTROL, MAPVK_VK_TO_VSC) & 0xFF);
  EXPECT_EQ(seen[0].vk, static_cast<WPARAM>('A'));
  EXPECT_FALSE(seen[0].extended);
  EXPECT_EQ(seen[1].message, static_cast<UINT>(WM_KEYUP));
  EXPECT_EQ(seen[2].vk, static_cast<WPARAM>(VK_LEFT));
  EXPECT_TRUE(seen[2].extended);
  EXPECT_EQ(seen[4].vk, static_cast<WPARAM>(VK_CONTROL));  // windows see the generic key
  EXPECT_TRUE(seen[4].extended);
  EXPECT_EQ(seen[5].message, static_cast<UINT>(WM_KEYUP));
  EXPECT_TRUE(seen[5].extended);
}

TEST_F(Win32InjectionTest, ButtonsIncludingTheXButtons) {
  point_at_window();
  for (uint32_t button = 1; button <= 5; ++button) {
    ASSERT_TRUE(backend_->execute(ButtonAction{button, true}).ok());
    ASSERT_TRUE(backend_->execute(ButtonAction{button, false}).ok());
  }
  ASSERT_TRUE(wait_for(WM_XBUTTONUP, 2));
  EXPECT_EQ(count(WM_LBUTTONDOWN), 1u);
  EXPECT_EQ(count(WM_LBUTTONUP), 1u);
  EXPECT_EQ(count(WM_RBUTTONDOWN), 1u);
  EXPECT_EQ(count(WM_RBUTTONUP), 1u);
  EXPECT_EQ(count(WM_MBUTTONDOWN), 1u);
  EXPECT_EQ(count(WM_MBUTTONUP), 1u);
  std::vector<WORD> x_buttons;
  for (const ReceivedMessage& m : window_.received()) {
    if (m.message == WM_XBUTTONDOWN) x_buttons.push_back(GET_XBUTTON_WPARAM(m.wparam));
    EXPECT_EQ(m.extra_info, 100);
  }
  EXPECT_EQ(x_buttons, (std::vector<WORD>{XBUTTON1, XBUTTON2}));
}

TEST_F(Win32InjectionTest, BothWheels) {
  point_at_window();
  ASSERT_TRUE(backend_->execute(ScrollAction{1, -2}).ok());
  ASSERT_TRUE(window_.pump_until([&](const std::vector<ReceivedMessage>&) {
    return count(WM_MOUSEWHEEL) >= 1 && count(WM_MOUSEHWHEEL) >= 1;
  }));
  for (const ReceivedMessage& m : window_.received()) {
    if (m.message == WM_MOUSEWHEEL) {
      EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(m.wparam), -120);
    }
    if (m.message == WM_MOUSEHWHEEL) {
      EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(m.wparam), -240);
    }
  }
}

TEST_F(Win32InjectionTest, TheLastErrorSurvivesTheDpiRestoreAndTheCursorFailureMessage) {
  // What an absolute move does after a failed SetCursorPos, before the loop reads the thread's
  // last error: format the message, restore the DPI context. The code has no system text, so
  // FormatMessageW fails and sets an error of its own on the way.
  constexpr DWORD kCode = 0x2000ABCD;
  win32::DpiAwarenessStack dpi;
  ASSERT_TRUE(dpi.enter());
  SetLastError(kCode);
  const std::string text = win32::system_message(kCode);
  dpi.restore();
  EXPECT_EQ(GetLastError(), kCode);
  EXPECT_EQ(text, "error 0x2000ABCD");
}

TEST_F(Win32InjectionTest, DestroyingTheBackendReleasesHeldInput) {
  point_at_window();
  ASSERT_TRUE(backend_->execute(KeyAction{225, 0x02, true}).ok());  // left Shift
  ASSERT_TRUE(backend_->execute(ButtonAction{1, true}).ok());
  ASSERT_TRUE(wait_for(WM_LBUTTONDOWN));
  backend_.reset();
  ASSERT_TRUE(window_.pump_until([&](const std::vector<ReceivedMessage>&) {
    return count(WM_KEYUP) >= 1 && count(WM_LBUTTONUP) >= 1;
  }));
  EXPECT_EQ(GetAsyncKeyState(VK_LSHIFT) & 0x8000, 0);
  EXPECT_EQ(GetAsyncKeyState(VK_LBUTTON) & 0x8000, 0);
}

}  // namespace
}  // namespace vornakel::native_protocol
