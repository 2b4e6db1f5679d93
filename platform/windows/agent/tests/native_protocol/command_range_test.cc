#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <string>
#include <vector>

#include "native_protocol/command.h"
#include "native_protocol/key_codes.h"

namespace vornakel::native_protocol {
namespace {

TEST(CommandRangeTest, RelativeMovesAtMostTenThousandEachWay) {
  EXPECT_TRUE(relative_in_range({10000, -10000}));
  EXPECT_TRUE(relative_in_range({0, 0}));
  EXPECT_FALSE(relative_in_range({10001, 0}));
  EXPECT_FALSE(relative_in_range({0, -10001}));
  EXPECT_FALSE(relative_in_range({std::numeric_limits<int32_t>::min(), 0}));
  EXPECT_FALSE(relative_in_range({0, std::numeric_limits<int32_t>::max()}));
}

TEST(CommandRangeTest, DisplayCommandLimits) {
  const Command::Display good{"DISPLAY2", -262144, 262144, 2, 32768};
  EXPECT_TRUE(display_in_range(good));

  auto with = [&](auto change) {
    Command::Display display = good;
    change(display);
    return display_in_range(display);
  };
  EXPECT_FALSE(with([](auto& d) { d.x = 262145; }));
  EXPECT_FALSE(with([](auto& d) { d.y = -262145; }));
  EXPECT_FALSE(with([](auto& d) { d.x = std::numeric_limits<int32_t>::min(); }));
  EXPECT_FALSE(with([](auto& d) { d.width = 1; }));
  EXPECT_FALSE(with([](auto& d) { d.height = 32769; }));
  EXPECT_TRUE(with([](auto& d) { d.id = std::string(32, 'a'); }));
  EXPECT_FALSE(with([](auto& d) { d.id = std::string(33, 'a'); }));
  EXPECT_FALSE(with([](auto& d) { d.id = ""; }));
  EXPECT_FALSE(with([](auto& d) { d.id = "DISPLAY-2"; }));
  EXPECT_FALSE(with([](auto& d) { d.id = "DISPLAY_2"; }));
  EXPECT_FALSE(with([](auto& d) { d.id = "\\\\.\\DISPLAY2"; }));
  EXPECT_FALSE(with([](auto& d) { d.id = "DISPL\xC3\x84Y"; }));
}

TEST(KeyCodesTest, AcceptsExactlyTheKnownNames) {
  EXPECT_EQ(hid_usage_for_code("KeyA"), 4u);
  EXPECT_EQ(hid_usage_for_code("KeyZ"), 29u);
  EXPECT_EQ(hid_usage_for_code("Digit1"), 30u);
  EXPECT_EQ(hid_usage_for_code("Digit0"), 39u);
  EXPECT_EQ(hid_usage_for_code("Backslash"), 49u);
  EXPECT_EQ(hid_usage_for_code("Semicolon"), 51u);
  EXPECT_EQ(hid_usage_for_code("F12"), 69u);
  EXPECT_EQ(hid_usage_for_code("ArrowUp"), 82u);
  EXPECT_EQ(hid_usage_for_code("NumpadEnter"), 88u);
  EXPECT_EQ(hid_usage_for_code("Numpad1"), 89u);
  EXPECT_EQ(hid_usage_for_code("Numpad0"), 98u);
  EXPECT_EQ(hid_usage_for_code("NumpadDecimal"), 99u);
  EXPECT_EQ(hid_usage_for_code("ContextMenu"), 101u);
  EXPECT_EQ(hid_usage_for_code("ControlLeft"), 224u);
  EXPECT_EQ(hid_usage_for_code("MetaRight"), 231u);

  for (const char* refused : {"keya", "KEYA", "Key A", "", "F13", "IntlBackslash", "NumpadEqual",
                              "Fn", "OSLeft", "AudioVolumeUp", "KeyA\n"}) {
    EXPECT_FALSE(hid_usage_for_code(refused)) << refused;
  }
}

TEST(KeyCodesTest, EveryUsageBelongsToOneName) {
  // Every accepted name maps to a distinct usage, and the set of usages is exactly the keyboard
  // block 4..99 without 50, plus 101 and the eight modifiers.
  std::vector<std::string> names;
  for (char c = 'A'; c <= 'Z'; ++c) names.push_back(std::string("Key") + c);
  for (char c = '0'; c <= '9'; ++c) names.push_back(std::string("Digit") + c);
  for (char c = '0'; c <= '9'; ++c) names.push_back(std::string("Numpad") + c);
  for (int f = 1; f <= 12; ++f) names.push_back("F" + std::to_string(f));
  for (const char* name : {"Enter",
                           "Escape",
                           "Backspace",
                           "Tab",
                           "Space",
                           "Minus",
                           "Equal",
                           "BracketLeft",
                           "BracketRight",
                           "Backslash",
                           "Semicolon",
                           "Quote",
                           "Backquote",
                           "Comma",
                           "Period",
                           "Slash",
                           "CapsLock",
                           "PrintScreen",
                           "ScrollLock",
                           "Pause",
                           "Insert",
                           "Home",
                           "PageUp",
                           "Delete",
                           "End",
                           "PageDown",
                           "ArrowRight",
                           "ArrowLeft",
                           "ArrowDown",
                           "ArrowUp",
                           "NumLock",
                           "NumpadDivide",
                           "NumpadMultiply",
                           "NumpadSubtract",
                           "NumpadAdd",
                           "NumpadEnter",
                           "NumpadDecimal",
                           "ContextMenu",
                           "ControlLeft",
                           "ShiftLeft",
                           "AltLeft",
                           "MetaLeft",
                           "ControlRight",
                           "ShiftRight",
                           "AltRight",
                           "MetaRight"}) {
    names.push_back(name);
  }
  ASSERT_EQ(names.size(), kKeyCodeCount);
  std::set<uint32_t> usages;
  for (const std::string& name : names) {
    const std::optional<uint32_t> usage = hid_usage_for_code(name);
    ASSERT_TRUE(usage) << name;
    EXPECT_TRUE(usages.insert(*usage).second) << name;
  }
  std::set<uint32_t> expected;
  for (uint32_t usage = 4; usage <= 99; ++usage) {
    if (usage != 50) expected.insert(usage);
  }
  expected.insert(101);
  for (uint32_t usage = 224; usage <= 231; ++usage) expected.insert(usage);
  EXPECT_EQ(usages, expected);
}

}  // namespace
}  // namespace vornakel::native_protocol
