#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "native_protocol/injection/injecting_backend.h"
#include "native_protocol/injection/input_math.h"
#include "native_protocol/injection/support/fake_input_injector.h"

namespace vornakel::native_protocol {
namespace {

using testing::FakeInputInjector;
using testing::InjectorState;

DisplayRecord display_at(int32_t x, int32_t y, uint32_t width, uint32_t height) {
  DisplayRecord display;
  display.id = display.device = display.name = "\\\\.\\DISPLAY1";
  display.x = x;
  display.y = y;
  display.width = width;
  display.height = height;
  return display;
}

struct Fixture {
  explicit Fixture(DisplayRecord display = display_at(0, 0, 1920, 1080))
      : state(std::make_shared<InjectorState>()),
        backend(std::move(display), std::make_unique<FakeInputInjector>(state)) {}
  std::shared_ptr<InjectorState> state;
  InjectingBackend backend;
};

MoveAction absolute(float x, float y) { return {"D", MoveAction::Mode::kAbsolute, x, y}; }
MoveAction relative(float dx, float dy) { return {"D", MoveAction::Mode::kRelative, dx, dy}; }

TEST(BackendPointerTest, AbsoluteMoveMapsOntoTheDisplayUnderDpiAwareness) {
  Fixture left(display_at(-1920, 0, 1920, 1080));
  ASSERT_TRUE(left.backend.execute(absolute(1.0f, 1.0f)).ok());
  ASSERT_TRUE(left.backend.execute(absolute(0.0f, 0.0f)).ok());
  EXPECT_EQ(left.state->calls,
            (std::vector<std::string>{"dpi_enter", "set_cursor -1 1079", "dpi_restore", "dpi_enter",
                                      "set_cursor -1920 0", "dpi_restore"}));
  EXPECT_TRUE(left.state->sends.empty());  // the cursor is placed, not moved by an event
}

TEST(BackendPointerTest, AbsoluteMoveRoundsInFloatHalvesAwayFromZero) {
  Fixture four(display_at(10, 20, 4, 4));
  ASSERT_TRUE(four.backend.execute(absolute(0.5f, 0.5f)).ok());  // 1.5 -> 2
  EXPECT_EQ(four.state->calls[1], "set_cursor 12 22");

  // A zero-sized display counts as one pixel: every position is its origin.
  Fixture empty(display_at(7, 9, 0, 0));
  ASSERT_TRUE(empty.backend.execute(absolute(1.0f, 0.5f)).ok());
  EXPECT_EQ(empty.state->calls[1], "set_cursor 7 9");

  // The sum saturates instead of wrapping.
  Fixture edge(display_at(std::numeric_limits<int32_t>::max() - 5,
                          std::numeric_limits<int32_t>::min(), 16384, 2));
  ASSERT_TRUE(edge.backend.execute(absolute(1.0f, 0.0f)).ok());
  EXPECT_EQ(edge.state->calls[1], "set_cursor 2147483647 -2147483648");
}

TEST(BackendPointerTest, AbsoluteMoveFailures) {
  Fixture refused_dpi;
  refused_dpi.state->dpi_enter_succeeds = false;
  auto result = refused_dpi.backend.execute(absolute(0.5f, 0.5f));
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().message(),
            "Windows adapter operation failed: Windows could not enable per-monitor DPI awareness "
            "for pointer coordinates");
  EXPECT_EQ(refused_dpi.state->calls, std::vector<std::string>{"dpi_enter"});

  Fixture refused_cursor;
  refused_cursor.state->set_cursor_error = "Access is denied.";
  result = refused_cursor.backend.execute(absolute(0.5f, 0.5f));
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error(), AdapterError::platform("Access is denied."));
  EXPECT_EQ(refused_cursor.state->dpi_depth, 0);  // restored on the failure path too
}

TEST(InputMathTest, RoundingAndSaturation) {
  EXPECT_EQ(round_to_i32_saturating(2.5f), 3);
  EXPECT_EQ(round_to_i32_saturating(-2.5f), -3);
  EXPECT_EQ(round_to_i32_saturating(2.4999998f), 2);
  EXPECT_EQ(round_to_i32_saturating(std::numeric_limits<float>::quiet_NaN()), 0);
  EXPECT_EQ(round_to_i32_saturating(3e9f), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(round_to_i32_saturating(2147483648.0f), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(round_to_i32_saturating(-2147483648.0f), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(round_to_i32_saturating(-std::numeric_limits<float>::infinity()),
            std::numeric_limits<int32_t>::min());
  EXPECT_EQ(add_saturating(std::numeric_limits<int32_t>::min(), -1),
            std::numeric_limits<int32_t>::min());
  // The product is taken in float: 0.1f * 1919 is 191.90000915..., which rounds to 192.
  EXPECT_EQ(absolute_pixel(0, 1920, 0.1f), 192);
}

TEST(InputMathTest, NormalisesOntoTheAbsoluteRange) {
  EXPECT_EQ(normalise_to_absolute(0, 1920), 0);
  EXPECT_EQ(normalise_to_absolute(1919, 1920), 65535);
  EXPECT_EQ(normalise_to_absolute(960, 1921), 32768);  // (960*65535 + 960) / 1920
  EXPECT_EQ(normalise_to_absolute(1, 1920), 34);       // (65535 + 959) / 1919, truncated
  EXPECT_EQ(normalise_to_absolute(-1, 1920), -34);     // truncation toward zero
  // One pixel either way of zero rounds half away from zero: the rounding term needs the sign.
  EXPECT_EQ(normalise_to_absolute(1, 3), 32768);  // (65535 + 1) / 2
  EXPECT_EQ(normalise_to_absolute(-1, 3), -32768);
  EXPECT_EQ(normalise_to_absolute(-1919, 1920), -65535);
  EXPECT_EQ(normalise_to_absolute(std::numeric_limits<int32_t>::max(), 2),
            std::numeric_limits<int32_t>::max());
  EXPECT_FALSE(normalise_to_absolute(0, 1));
  EXPECT_FALSE(normalise_to_absolute(0, 0));
}

TEST(BackendPointerTest, RelativeMoveBecomesOneAbsoluteEvent) {
  Fixture fixture;
  fixture.state->cursor = CursorPoint{1000, 500};
  ASSERT_TRUE(fixture.backend.execute(relative(919.0f, -500.0f)).ok());
  ASSERT_EQ(fixture.state->sends.size(), 1u);
  ASSERT_EQ(fixture.state->sends[0].size(), 1u);
  const InjectedEvent& event = fixture.state->sends[0][0];
  EXPECT_EQ(event.kind, InjectedEvent::Kind::kMouse);
  EXPECT_EQ(event.flags, 0x8001u);
  EXPECT_EQ(event.dx, 65535);  // x 1919 of 1920
  EXPECT_EQ(event.dy, 0);
  EXPECT_EQ(event.mouse_data, 0u);
  EXPECT_EQ(event.time, 0u);
  EXPECT_EQ(event.extra_info, 100u);

  // Deltas round halves away from zero before they are added.
  fixture.state->cursor = CursorPoint{0, 0};
  ASSERT_TRUE(fixture.backend.execute(relative(-0.5f, 1078.5f)).ok());
  EXPECT_EQ(fixture.state->sends[1][0].dx, -34);
  EXPECT_EQ(fixture.state->sends[1][0].dy, 65535);
}

TEST(BackendPointerTest, RelativeMoveFailures) {
  Fixture no_cursor;
  no_cursor.state->cursor.reset();
  auto result = no_cursor.backend.execute(relative(1, 1));
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error(), AdapterError::platform("could not get the current mouse location"));

  for (auto [width, height] : {std::pair{0, 1080}, std::pair{1920, 0}, std::pair{1, 1080}}) {
    Fixture no_screen;
    no_screen.state->screen_width = width;
    no_screen.state->screen_height = height;
    result = no_screen.backend.execute(relative(1, 1));
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error(), AdapterError::platform("could not get the dimensions of the screen"));
    EXPECT_TRUE(no_screen.state->sends.empty());
  }

  Fixture blocked;
  blocked.state->failing_sends = {1};
  result = blocked.backend.execute(relative(1, 1));
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(
      result.error(),
      AdapterError::platform("not all input events were sent. they may have been blocked by UIPI"));
}

TEST(BackendPointerTest, ButtonsUseTheirOwnFlagsAndXButtonData) {
  Fixture fixture;
  struct Expected {
    uint32_t press, release, data;
  };
  const Expected expected[5] = {{0x0002, 0x0004, 0},
                                {0x0008, 0x0010, 0},
                                {0x0020, 0x0040, 0},
                                {0x0080, 0x0100, 1},
                                {0x0080, 0x0100, 2}};
  for (uint32_t button = 1; button <= 5; ++button) {
    ASSERT_TRUE(fixture.backend.execute(ButtonAction{button, true}).ok());
  }
  EXPECT_EQ(fixture.backend.held_buttons(), (std::set<uint32_t>{1, 2, 3, 4, 5}));
  for (uint32_t button = 1; button <= 5; ++button) {
    ASSERT_TRUE(fixture.backend.execute(ButtonAction{button, false}).ok());
  }
  EXPECT_TRUE(fixture.backend.held_buttons().empty());
  const auto events = fixture.state->events();
  ASSERT_EQ(events.size(), 10u);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(events[i].flags, expected[i].press) << i;
    EXPECT_EQ(events[i].mouse_data, expected[i].data) << i;
    EXPECT_EQ(events[5 + i].flags, expected[i].release) << i;
    EXPECT_EQ(events[5 + i].mouse_data, expected[i].data) << i;
    EXPECT_EQ(events[i].extra_info, 100u);
  }

  // Releasing a button that is not held still injects the release.
  ASSERT_TRUE(fixture.backend.execute(ButtonAction{1, false}).ok());
  EXPECT_EQ(fixture.state->events().back().flags, 0x0004u);

  for (uint32_t unsupported : {0u, 6u}) {
    auto result = fixture.backend.execute(ButtonAction{unsupported, true});
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind(), AdapterError::Kind::kUnsupportedInput);
  }
  EXPECT_EQ(fixture.state->events().size(), 11u);
}

TEST(BackendPointerTest, WheelsAreSeparateInjections) {
  Fixture fixture;
  ASSERT_TRUE(fixture.backend.execute(ScrollAction{1, 0}).ok());
  ASSERT_EQ(fixture.state->sends.size(), 1u);
  EXPECT_EQ(fixture.state->sends[0][0].flags, 0x0800u);
  EXPECT_EQ(static_cast<int32_t>(fixture.state->sends[0][0].mouse_data), -120);

  ASSERT_TRUE(fixture.backend.execute(ScrollAction{0, -2}).ok());
  ASSERT_EQ(fixture.state->sends.size(), 2u);
  EXPECT_EQ(fixture.state->sends[1][0].flags, 0x1000u);
  EXPECT_EQ(static_cast<int32_t>(fixture.state->sends[1][0].mouse_data), -240);

  ASSERT_TRUE(fixture.backend.execute(ScrollAction{-3, 4}).ok());
  ASSERT_EQ(fixture.state->sends.size(), 4u);
  EXPECT_EQ(fixture.state->sends[2][0].flags, 0x0800u);
  EXPECT_EQ(static_cast<int32_t>(fixture.state->sends[2][0].mouse_data), 360);
  EXPECT_EQ(fixture.state->sends[3][0].flags, 0x1000u);
  EXPECT_EQ(static_cast<int32_t>(fixture.state->sends[3][0].mouse_data), 480);

  ASSERT_TRUE(fixture.backend.execute(ScrollAction{0, 0}).ok());
  EXPECT_EQ(fixture.state->sends.size(), 4u);

  // A delta the wheel field cannot hold is refused before anything is sent.
  auto result = fixture.backend.execute(ScrollAction{std::numeric_limits<int32_t>::min(), 0});
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().kind(), AdapterError::Kind::kUnsupportedInput);
  EXPECT_EQ(fixture.state->sends.size(), 4u);
}

TEST(BackendPointerTest, PauseAndStopAreNotInput) {
  Fixture fixture;
  EXPECT_FALSE(fixture.backend.execute(PauseAction{"peer_requested", true}).ok());
  EXPECT_FALSE(fixture.backend.execute(StopAction{"peer_stop"}).ok());
  EXPECT_TRUE(fixture.state->calls.empty());
}

}  // namespace
}  // namespace vornakel::native_protocol
