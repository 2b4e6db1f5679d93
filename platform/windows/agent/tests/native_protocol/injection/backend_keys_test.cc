#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "native_protocol/injection/injecting_backend.h"
#include "native_protocol/injection/support/fake_input_injector.h"

namespace vornakel::native_protocol {
namespace {

using testing::FakeInputInjector;
using testing::InjectorState;

constexpr uint32_t kKeyUp = 2;
constexpr uint32_t kExtended = 1;

struct Fixture {
  Fixture()
      : state(std::make_shared<InjectorState>()),
        backend(std::make_unique<InjectingBackend>(DisplayRecord{},
                                                   std::make_unique<FakeInputInjector>(state))) {}
  std::shared_ptr<InjectorState> state;
  std::unique_ptr<InjectingBackend> backend;
};

// (virtual key, flags) of every keyboard event sent.
std::vector<std::pair<uint16_t, uint32_t>> keys_sent(const InjectorState& state) {
  std::vector<std::pair<uint16_t, uint32_t>> keys;
  for (const InjectedEvent& event : state.events()) {
    if (event.kind == InjectedEvent::Kind::kKeyboard) keys.emplace_back(event.vk, event.flags);
  }
  return keys;
}

using Keys = std::vector<std::pair<uint16_t, uint32_t>>;

TEST(BackendKeysTest, ModifierKeysActOnlyThroughTheModifierState) {
  Fixture f;
  // "ShiftLeft" down with Shift: left Shift once; the same again: nothing; up without Shift.
  ASSERT_TRUE(f.backend->execute(KeyAction{225, 0x02, true}).ok());
  ASSERT_TRUE(f.backend->execute(KeyAction{225, 0x02, true}).ok());
  EXPECT_EQ(keys_sent(*f.state), (Keys{{0xA0, 0}}));
  EXPECT_EQ(f.backend->held_keys(), (std::set<uint16_t>{0xA0}));
  EXPECT_EQ(f.backend->modifiers_down(), 0x02);
  ASSERT_TRUE(f.backend->execute(KeyAction{225, 0x00, false}).ok());
  EXPECT_EQ(keys_sent(*f.state), (Keys{{0xA0, 0}, {0xA0, kKeyUp}}));
  EXPECT_TRUE(f.backend->held_keys().empty());
  EXPECT_EQ(f.backend->modifiers_down(), 0);
}

TEST(BackendKeysTest, RightAltIsOneAltPress) {
  Fixture f;
  ASSERT_TRUE(f.backend->execute(KeyAction{230, 0x40, true}).ok());
  EXPECT_EQ(keys_sent(*f.state), (Keys{{0x12, 0}}));
}

TEST(BackendKeysTest, ModifiersArePressedBeforeTheKey) {
  Fixture f;
  ASSERT_TRUE(f.backend->execute(KeyAction{4, 0x01, true}).ok());
  ASSERT_TRUE(f.backend->execute(KeyAction{4, 0x00, false}).ok());
  EXPECT_EQ(keys_sent(*f.state), (Keys{{0xA2, 0}, {0x41, 0}, {0xA2, kKeyUp}, {0x41, kKeyUp}}));
  EXPECT_TRUE(f.backend->held_keys().empty());
}

TEST(BackendKeysTest, ModifierBitsMapInBitOrder) {
  Fixture f;
  ASSERT_TRUE(f.backend->execute(KeyAction{224, 0x3B, true}).ok());
  // Left Control, left Shift, Windows (left Meta), right Control (extended), right Shift.
  EXPECT_EQ(keys_sent(*f.state),
            (Keys{{0xA2, 0}, {0xA0, 0}, {0x5B, 0}, {0xA3, kExtended}, {0xA1, 0}}));
  ASSERT_TRUE(f.backend->execute(KeyAction{224, 0x00, false}).ok());
  EXPECT_EQ(keys_sent(*f.state).size(), 10u);
  EXPECT_TRUE(f.backend->held_keys().empty());
}

TEST(BackendKeysTest, MovingAltFromOneSideToTheOtherKeepsItDown) {
  // Both Alt bits inject the same key: switching sides must neither press it twice nor let go.
  Fixture f;
  ASSERT_TRUE(f.backend->execute(KeyAction{230, 0x40, true}).ok());  // AltRight down
  ASSERT_TRUE(f.backend->execute(KeyAction{4, 0x04, true}).ok());    // KeyA with Alt
  EXPECT_EQ(keys_sent(*f.state), (Keys{{0x12, 0}, {0x41, 0}}));
  EXPECT_EQ(f.backend->held_keys(), (std::set<uint16_t>{0x12, 0x41}));
  ASSERT_TRUE(f.backend->execute(KeyAction{91, 0x44, true}).ok());   // Numpad3 with both Alt bits
  ASSERT_TRUE(f.backend->execute(KeyAction{91, 0x40, false}).ok());  // back to the right one
  EXPECT_EQ(keys_sent(*f.state), (Keys{{0x12, 0}, {0x41, 0}, {0x63, 0}, {0x63, kKeyUp}}));
  ASSERT_TRUE(f.backend->execute(KeyAction{230, 0x00, false}).ok());
  EXPECT_EQ(keys_sent(*f.state).back(), (std::pair<uint16_t, uint32_t>{0x12, kKeyUp}));
}

TEST(BackendKeysTest, SharedKeysAreSynchronisedInBitOrderToo) {
  // Right Control down (state 0x10), then "AltRight" down with Alt and Control (state 0x41): bit 0
  // (left Control down), bit 4 (right Control up), bit 6 (Alt down), in that order.
  Fixture f;
  ASSERT_TRUE(f.backend->execute(KeyAction{228, 0x10, true}).ok());
  ASSERT_TRUE(f.backend->execute(KeyAction{230, 0x41, true}).ok());
  EXPECT_EQ(f.backend->modifiers_down(), 0x41);
  EXPECT_EQ(keys_sent(*f.state),
            (Keys{{0xA3, kExtended}, {0xA2, 0}, {0xA3, kExtended | kKeyUp}, {0x12, 0}}));
  EXPECT_EQ(f.backend->held_keys(), (std::set<uint16_t>{0xA2, 0x12}));
  // Alt moving from the right bit to the left one stays down; left Control goes up.
  ASSERT_TRUE(f.backend->execute(KeyAction{4, 0x04, true}).ok());
  EXPECT_EQ(f.backend->modifiers_down(), 0x04);
  EXPECT_EQ(keys_sent(*f.state).size(), 6u);
  EXPECT_EQ(keys_sent(*f.state)[4], (std::pair<uint16_t, uint32_t>{0xA2, kKeyUp}));
}

TEST(BackendKeysTest, VirtualKeysAndExtendedFlags) {
  struct Case {
    uint32_t usage;
    uint16_t vk;
    bool extended;
  };
  const Case cases[] = {
      // Both ends of each run of usages that maps onto a run of virtual keys.
      {4, 0x41, false},  {29, 0x5A, false}, {30, 0x31, false}, {38, 0x39, false},
      {39, 0x30, false}, {40, 0x0D, false}, {88, 0x0D, false}, {41, 0x1B, false},
      {42, 0x08, false}, {43, 0x09, false}, {44, 0x20, false}, {45, 0xBD, false},
      {46, 0xBB, false}, {47, 0xDB, false}, {48, 0xDD, false}, {49, 0xDC, false},
      {51, 0xBA, false}, {52, 0xDE, false}, {53, 0xC0, false}, {54, 0xBC, false},
      {55, 0xBE, false}, {56, 0xBF, false}, {57, 0x14, false}, {58, 0x70, false},
      {69, 0x7B, false}, {70, 0x2C, true},  {71, 0x91, false}, {72, 0x13, false},
      {73, 0x2D, true},  {74, 0x24, true},  {75, 0x21, true},  {76, 0x2E, true},
      {77, 0x23, true},  {78, 0x22, true},  {79, 0x27, true},  {80, 0x25, true},
      {81, 0x28, true},  {82, 0x26, true},  {83, 0x90, true},  {84, 0x6F, true},
      {85, 0x6A, false}, {86, 0x6D, false}, {87, 0x6B, false}, {89, 0x61, false},
      {97, 0x69, false}, {98, 0x60, false}, {99, 0x6E, false}, {101, 0x5D, false},
  };
  for (const Case& c : cases) {
    Fixture f;
    f.state->scan_codes[c.vk] = 0xE01C;
    ASSERT_TRUE(f.backend->execute(KeyAction{c.usage, 0, true}).ok()) << c.usage;
    ASSERT_TRUE(f.backend->execute(KeyAction{c.usage, 0, false}).ok()) << c.usage;
    const auto events = f.state->events();
    ASSERT_EQ(events.size(), 2u);
    for (const InjectedEvent& event : events) {
      EXPECT_EQ(event.kind, InjectedEvent::Kind::kKeyboard);
      EXPECT_EQ(event.vk, c.vk) << c.usage;
      EXPECT_EQ(event.scan, 0xE01C);  // the layout's scan code, E0 prefix included
      EXPECT_EQ(event.flags & kExtended, c.extended ? kExtended : 0u) << c.usage;
      EXPECT_EQ(event.time, 0u);
      EXPECT_EQ(event.extra_info, 100u);
    }
    EXPECT_EQ(events[0].flags & kKeyUp, 0u);
    EXPECT_EQ(events[1].flags & kKeyUp, kKeyUp);
  }
}

TEST(BackendKeysTest, UnknownKeysAndOversizedScanCodesAreRefused) {
  Fixture f;
  for (uint32_t usage : {0u, 3u, 50u, 100u, 102u, 232u}) {
    auto result = f.backend->execute(KeyAction{usage, 0x01, true});
    ASSERT_FALSE(result.ok()) << usage;
    EXPECT_EQ(result.error().kind(), AdapterError::Kind::kUnsupportedInput);
  }
  EXPECT_TRUE(f.state->sends.empty());
  EXPECT_EQ(f.backend->modifiers_down(), 0);

  // The largest scan code that fits is sent as it is; one more is refused.
  f.state->scan_codes[0x41] = 0xFFFF;
  ASSERT_TRUE(f.backend->execute(KeyAction{4, 0, true}).ok());
  ASSERT_FALSE(f.state->events().empty());
  EXPECT_EQ(f.state->events().back().scan, 0xFFFF);
  f.state->scan_codes[0x41] = 0x10000;
  auto result = f.backend->execute(KeyAction{4, 0, true});
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error(), AdapterError::platform("result did not fit into u16"));
}

TEST(BackendKeysTest, FailedModifierLeavesTheStateUnchanged) {
  Fixture f;
  f.state->failing_sends = {2};  // the left Shift press of Control+Shift
  auto result = f.backend->execute(KeyAction{4, 0x03, true});
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(
      result.error(),
      AdapterError::platform("not all input events were sent. they may have been blocked by UIPI"));
  EXPECT_EQ(f.backend->modifiers_down(), 0);
  // Keys whose press was attempted stay held, so that a release-all lets them go.
  EXPECT_EQ(f.backend->held_keys(), (std::set<uint16_t>{0xA0, 0xA2}));
  EXPECT_EQ(keys_sent(*f.state), (Keys{{0xA2, 0}}));
}

TEST(BackendKeysTest, FailedKeyAfterASuccessfulSyncKeepsTheNewModifiersAndTheKey) {
  Fixture f;
  f.state->failing_sends = {2};  // the A press after left Control went down
  ASSERT_FALSE(f.backend->execute(KeyAction{4, 0x01, true}).ok());
  EXPECT_EQ(f.backend->modifiers_down(), 0x01);
  EXPECT_EQ(f.backend->held_keys(), (std::set<uint16_t>{0xA2, 0x41}));
  // So the next release-all lets both go.
  f.state->failing_sends.clear();
  ASSERT_TRUE(f.backend->release_all().ok());
  EXPECT_TRUE(f.backend->held_keys().empty());
  EXPECT_EQ(f.backend->modifiers_down(), 0);
}

TEST(BackendReleaseTest, NothingHeldSendsNothing) {
  Fixture f;
  EXPECT_TRUE(f.backend->release_all().ok());
  EXPECT_TRUE(f.state->sends.empty());
}

TEST(BackendReleaseTest, ReleasesEveryKeyBeforeAnyButtonAndKeepsTheFirstError) {
  Fixture f;
  ASSERT_TRUE(f.backend->execute(ButtonAction{1, true}).ok());
  ASSERT_TRUE(f.backend->execute(KeyAction{4, 0x02, true}).ok());  // left Shift + A
  ASSERT_TRUE(f.backend->execute(ButtonAction{4, true}).ok());
  ASSERT_TRUE(f.backend->execute(KeyAction{44, 0x02, true}).ok());  // Space
  const size_t before = f.state->sends.size();
  ASSERT_EQ(before, 5u);

  // The second release (a key) and the fourth (a button) are blocked.
  f.state->failing_sends = {before + 2, before + 4};
  auto result = f.backend->release_all();
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(
      result.error(),
      AdapterError::platform("not all input events were sent. they may have been blocked by UIPI"));
  ASSERT_EQ(f.state->sends.size(), before + 5);  // three keys, two buttons: all attempted
  for (size_t i = before; i < before + 3; ++i) {
    EXPECT_TRUE(f.state->sends[i].empty() ||
                f.state->sends[i][0].kind == InjectedEvent::Kind::kKeyboard);
  }
  for (size_t i = before + 3; i < before + 5; ++i) {
    EXPECT_TRUE(f.state->sends[i].empty() ||
                f.state->sends[i][0].kind == InjectedEvent::Kind::kMouse);
  }
  EXPECT_EQ(f.backend->held_keys().size(), 1u);
  EXPECT_EQ(f.backend->held_buttons().size(), 1u);

  f.state->failing_sends.clear();
  EXPECT_TRUE(f.backend->release_all().ok());
  EXPECT_TRUE(f.backend->held_keys().empty());
  EXPECT_TRUE(f.backend->held_buttons().empty());
  EXPECT_EQ(f.backend->modifiers_down(), 0);

  // Shift was released, so the next Shift key press presses it again.
  ASSERT_TRUE(f.backend->execute(KeyAction{4, 0x02, true}).ok());
  // Presses 3, releases 2 + the retried 1, then Shift and A again.
  EXPECT_EQ(keys_sent(*f.state).size(), 3u + 2u + 1u + 2u);
}

TEST(BackendReleaseTest, BlockedReleasesKeepWhatIsStillDown) {
  Fixture f;
  ASSERT_TRUE(f.backend->execute(ButtonAction{2, true}).ok());
  ASSERT_TRUE(f.backend->execute(KeyAction{4, 0, true}).ok());
  f.state->failing_sends = {3, 4, 5, 6};
  EXPECT_FALSE(f.backend->execute(ButtonAction{2, false}).ok());
  EXPECT_FALSE(f.backend->execute(KeyAction{4, 0, false}).ok());
  // Releasing what was never pressed adds nothing even when the release is blocked.
  EXPECT_FALSE(f.backend->execute(ButtonAction{3, false}).ok());
  EXPECT_FALSE(f.backend->execute(KeyAction{5, 0, false}).ok());
  EXPECT_EQ(f.backend->held_buttons(), (std::set<uint32_t>{2}));
  EXPECT_EQ(f.backend->held_keys(), (std::set<uint16_t>{0x41}));
}

TEST(BackendReleaseTest, DestructionReleasesWhatIsHeld) {
  Fixture f;
  ASSERT_TRUE(f.backend->execute(KeyAction{4, 0x01, true}).ok());
  ASSERT_TRUE(f.backend->execute(ButtonAction{3, true}).ok());
  f.state->failing_sends = {4};  // the first release fails, the destructor tries again
  f.backend.reset();
  const auto events = f.state->events();
  std::set<uint16_t> keys_up;
  bool middle_up = false;
  for (const InjectedEvent& event : events) {
    if (event.kind == InjectedEvent::Kind::kKeyboard && (event.flags & kKeyUp)) {
      keys_up.insert(event.vk);
    }
    if (event.kind == InjectedEvent::Kind::kMouse && event.flags == 0x0040) middle_up = true;
  }
  EXPECT_EQ(keys_up, (std::set<uint16_t>{0x41, 0xA2}));
  EXPECT_TRUE(middle_up);
}

TEST(BackendFactoryTest, BuildsABackendForTheDisplayWithAFreshInjector) {
  auto state = std::make_shared<InjectorState>();
  int made = 0;
  InjectingBackendFactory factory([&] {
    ++made;
    return std::make_unique<FakeInputInjector>(state);
  });
  DisplayRecord display;
  display.id = "\\\\.\\DISPLAY2";
  display.x = 1920;
  display.width = 1280;
  display.height = 1024;
  auto backend = factory.create_backend(display);
  ASSERT_TRUE(backend.ok());
  ASSERT_TRUE(backend.value()->execute(MoveAction{"D", MoveAction::Mode::kAbsolute, 1, 1}).ok());
  EXPECT_EQ(state->calls[1], "set_cursor 3199 1023");
  EXPECT_EQ(made, 1);

  InjectingBackendFactory unavailable([] { return std::unique_ptr<InputInjector>(); });
  auto none = unavailable.create_backend(display);
  ASSERT_FALSE(none.ok());
  EXPECT_EQ(none.error().kind(), AdapterError::Kind::kUnsupportedPlatform);
}

}  // namespace
}  // namespace vornakel::native_protocol
