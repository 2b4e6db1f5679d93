#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "native_protocol/control_gate.h"

namespace vornakel::native_protocol {
namespace {

ControlMessage pointer(uint32_t seq, float x, float y, uint8_t buttons) {
  return {1, seq, ControlMessage::Pointer{x, y, buttons}};
}
ControlMessage key(uint32_t seq, std::string code, bool down, uint8_t modifiers) {
  return {1, seq, ControlMessage::KeyTransition{std::move(code), down, modifiers}};
}

void expect_same_gate(const ControlGate& a, const ControlGate& b) {
  EXPECT_EQ(a.has_last_seq, b.has_last_seq);
  EXPECT_EQ(a.last_seq, b.last_seq);
  EXPECT_EQ(a.action_counter, b.action_counter);
  EXPECT_EQ(a.buttons, b.buttons);
}

uint8_t modifier_state_of(const std::optional<std::vector<NumberedAction>>& actions) {
  return std::get<KeyAction>(actions->at(0).action).modifier_state;
}

TEST(ControlTranslateTest, PointerMovesThenChangesButtonsInBitOrder) {
  ControlGate gate;
  gate.buttons = 0b00010;  // button 2 held
  auto actions = translate_control(gate, pointer(7, 0.5f, 0.25f, 0b00001), "\\\\.\\DISPLAY1");
  ASSERT_TRUE(actions);
  ASSERT_EQ(actions->size(), 3u);
  const auto& move = std::get<MoveAction>(actions->at(0).action);
  EXPECT_EQ(move.display_id, "\\\\.\\DISPLAY1");
  EXPECT_EQ(move.mode, MoveAction::Mode::kAbsolute);
  EXPECT_EQ(move.x, 0.5f);
  EXPECT_EQ(move.y, 0.25f);
  const auto& press = std::get<ButtonAction>(actions->at(1).action);
  EXPECT_EQ(press.button, 1u);
  EXPECT_TRUE(press.down);
  const auto& release = std::get<ButtonAction>(actions->at(2).action);
  EXPECT_EQ(release.button, 2u);
  EXPECT_FALSE(release.down);
  EXPECT_EQ(actions->at(0).sequence, 1u);
  EXPECT_EQ(actions->at(1).sequence, 2u);
  EXPECT_EQ(actions->at(2).sequence, 3u);
  EXPECT_EQ(gate.buttons, 0b00001);
  EXPECT_EQ(gate.action_counter, 3u);
  EXPECT_TRUE(gate.has_last_seq);
  EXPECT_EQ(gate.last_seq, 7u);

  auto unchanged = translate_control(gate, pointer(8, 1.0f, 0.0f, 0b00001), "D");
  ASSERT_TRUE(unchanged);
  ASSERT_EQ(unchanged->size(), 1u);
  EXPECT_TRUE(std::holds_alternative<MoveAction>(unchanged->at(0).action));
  EXPECT_EQ(unchanged->at(0).sequence, 4u);

  auto all = translate_control(gate, pointer(9, 0, 0, 0b11110), "D");
  ASSERT_TRUE(all);
  ASSERT_EQ(all->size(), 6u);
  for (uint32_t button = 1; button <= 5; ++button) {
    const auto& action = std::get<ButtonAction>(all->at(button).action);
    EXPECT_EQ(action.button, button);
    EXPECT_EQ(action.down, button != 1);
  }
}

TEST(ControlTranslateTest, RefusalsLeaveTheGateAlone) {
  ControlGate gate;
  gate.buttons = 3;
  ASSERT_TRUE(translate_control(gate, {1, 10, ControlMessage::ReleaseAll{}}, "D"));
  const ControlGate before = gate;

  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  for (const ControlMessage& refused : {
           ControlMessage{2, 11, ControlMessage::Stop{}},
           ControlMessage{0, 11, ControlMessage::Stop{}},
           ControlMessage{1, 10, ControlMessage::Stop{}},  // same seq again
           ControlMessage{1, 9, ControlMessage::Stop{}},
           pointer(11, 1.5f, 0, 0),
           pointer(11, 0, -0.0001f, 0),
           pointer(11, nan, 0, 0),
           pointer(11, 0, inf, 0),
           pointer(11, 0, 0, 32),
           ControlMessage{1, 11, ControlMessage::Scroll{0, 12001}},
           ControlMessage{1, 11, ControlMessage::Scroll{-12001, 0}},
           ControlMessage{1, 11, ControlMessage::Scroll{std::numeric_limits<int32_t>::min(), 0}},
           key(11, "keya", true, 0),
           key(11, "KeyA", true, 16),
       }) {
    EXPECT_FALSE(translate_control(gate, refused, "D"));
    expect_same_gate(gate, before);
  }
}

TEST(ControlTranslateTest, SequenceMustRiseAfterTheFirstAcceptedMessage) {
  ControlGate gate;
  ASSERT_TRUE(translate_control(gate, {1, 0, ControlMessage::ReleaseAll{}}, "D"));
  EXPECT_FALSE(translate_control(gate, {1, 0, ControlMessage::ReleaseAll{}}, "D"));
  ASSERT_TRUE(translate_control(gate, {1, 4294967295u, ControlMessage::ReleaseAll{}}, "D"));
  EXPECT_FALSE(translate_control(gate, {1, 4294967295u, ControlMessage::Stop{}}, "D"));

  // The first message may start anywhere, a refused one does not count.
  ControlGate fresh;
  EXPECT_FALSE(translate_control(fresh, pointer(100, 2, 0, 0), "D"));
  EXPECT_TRUE(translate_control(fresh, pointer(50, 1, 0, 0), "D"));
}

TEST(ControlTranslateTest, RangeEdgesAreAccepted) {
  ControlGate gate;
  EXPECT_TRUE(translate_control(gate, pointer(1, 1.0f, 0.0f, 31), "D"));
  auto scroll = translate_control(gate, {1, 2, ControlMessage::Scroll{-12000, 12000}}, "D");
  ASSERT_TRUE(scroll);
  const auto& action = std::get<ScrollAction>(scroll->at(0).action);
  EXPECT_EQ(action.vertical, 12000);
  EXPECT_EQ(action.horizontal, -12000);
  EXPECT_TRUE(translate_control(gate, key(3, "KeyA", true, 15), "D"));
}

TEST(ControlTranslateTest, KeysCarryUsageAndLeftHandModifiers) {
  ControlGate gate;
  auto a = translate_control(gate, key(1, "KeyA", true, 2), "D");
  ASSERT_TRUE(a);
  const auto& action = std::get<KeyAction>(a->at(0).action);
  EXPECT_EQ(action.usage, 4u);
  EXPECT_TRUE(action.down);
  EXPECT_EQ(action.modifier_state, 0x01);  // Control -> left Control

  // Alt bit 0 -> bit 2, Control bit 1 -> bit 0, Meta bit 2 -> bit 3, Shift bit 3 -> bit 1.
  EXPECT_EQ(modifier_state_of(translate_control(gate, key(2, "KeyB", false, 1), "D")), 0x04);
  EXPECT_EQ(modifier_state_of(translate_control(gate, key(3, "KeyB", false, 4), "D")), 0x08);
  EXPECT_EQ(modifier_state_of(translate_control(gate, key(4, "KeyB", false, 8), "D")), 0x02);
  EXPECT_EQ(modifier_state_of(translate_control(gate, key(5, "KeyB", false, 15), "D")), 0x0F);
}

TEST(ControlTranslateTest, PressingARightHandModifierMovesItsBitRight) {
  ControlGate gate;
  EXPECT_EQ(modifier_state_of(translate_control(gate, key(1, "AltRight", true, 1), "D")), 0x40);
  EXPECT_EQ(modifier_state_of(translate_control(gate, key(2, "ControlRight", true, 3), "D")),
            0x14);  // left Alt stays, Control moves right
  EXPECT_EQ(modifier_state_of(translate_control(gate, key(3, "ShiftRight", true, 0), "D")), 0x20);
  EXPECT_EQ(modifier_state_of(translate_control(gate, key(4, "MetaRight", true, 4), "D")), 0x80);
  // Releasing it, or pressing a left-hand one, keeps the left-hand layout.
  EXPECT_EQ(modifier_state_of(translate_control(gate, key(5, "AltRight", false, 1), "D")), 0x04);
  EXPECT_EQ(modifier_state_of(translate_control(gate, key(6, "AltLeft", true, 1), "D")), 0x04);
}

TEST(ControlTranslateTest, PauseStopAndReleaseAll) {
  ControlGate gate;
  auto pause = translate_control(gate, {1, 1, ControlMessage::PauseInput{true}}, "D");
  ASSERT_TRUE(pause);
  ASSERT_EQ(pause->size(), 1u);
  EXPECT_EQ(std::get<PauseAction>(pause->at(0).action).reason, "peer_requested");
  EXPECT_TRUE(std::get<PauseAction>(pause->at(0).action).paused);

  auto release = translate_control(gate, {1, 2, ControlMessage::ReleaseAll{}}, "D");
  ASSERT_TRUE(release);
  EXPECT_TRUE(release->empty());
  EXPECT_EQ(gate.last_seq, 2u);
  EXPECT_EQ(gate.action_counter, 1u);

  auto stop = translate_control(gate, {1, 3, ControlMessage::Stop{}}, "D");
  ASSERT_TRUE(stop);
  EXPECT_EQ(std::get<StopAction>(stop->at(0).action).reason, "peer_stop");
  EXPECT_EQ(stop->at(0).sequence, 2u);
}

TEST(ControlTranslateTest, NumberingNeverWraps) {
  ControlGate gate;
  gate.action_counter = std::numeric_limits<uint64_t>::max() - 1;
  const ControlGate before = gate;
  // Two actions would need the value after the largest one.
  EXPECT_FALSE(translate_control(gate, pointer(1, 0, 0, 1), "D"));
  expect_same_gate(gate, before);

  auto last = translate_control(gate, pointer(1, 0, 0, 0), "D");
  ASSERT_TRUE(last);
  EXPECT_EQ(last->at(0).sequence, std::numeric_limits<uint64_t>::max());
  EXPECT_FALSE(translate_control(gate, pointer(2, 0, 0, 0), "D"));
  // A message without actions still goes through.
  EXPECT_TRUE(translate_control(gate, {1, 3, ControlMessage::ReleaseAll{}}, "D"));
}

}  // namespace
}  // namespace vornakel::native_protocol
