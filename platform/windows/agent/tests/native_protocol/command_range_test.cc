#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "native_protocol/command.h"
#include "native_protocol/injection/key_codes.h"

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
  // The ends of each character range, and the characters just outside them.
  EXPECT_TRUE(with([](auto& d) { d.id = "09AZaz"; }));
  for (const char* outside : {"/", ":", "@", "[", "`", "{"}) {
    EXPECT_FALSE(with([&](auto& d) { d.id = outside; })) << outside;
  }
}

TEST(KeyCodesTest, EveryNameHasItsUsageAndNothingElseIsAKey) {
  // All 104 names with the usage of the same key position.
  std::vector<std::pair<std::string, uint32_t>> table;
  for (uint32_t i = 0; i < 26; ++i) table.emplace_back(std::string("Key") + char('A' + i), 4 + i);
  for (uint32_t i = 1; i <= 9; ++i) table.emplace_back("Digit" + std::to_string(i), 29 + i);
  table.emplace_back("Digit0", 39);
  for (uint32_t i = 1; i <= 12; ++i) table.emplace_back("F" + std::to_string(i), 57 + i);
  for (uint32_t i = 1; i <= 9; ++i) table.emplace_back("Numpad" + std::to_string(i), 88 + i);
  table.emplace_back("Numpad0", 98);
  const std::pair<const char*, uint32_t> named[] = {
      {"Enter", 40},
      {"Escape", 41},
      {"Backspace", 42},
      {"Tab", 43},
      {"Space", 44},
      {"Minus", 45},
      {"Equal", 46},
      {"BracketLeft", 47},
      {"BracketRight", 48},
      {"Backslash", 49},
      {"Semicolon", 51},
      {"Quote", 52},
      {"Backquote", 53},
      {"Comma", 54},
      {"Period", 55},
      {"Slash", 56},
      {"CapsLock", 57},
      {"PrintScreen", 70},
      {"ScrollLock", 71},
      {"Pause", 72},
      {"Insert", 73},
      {"Home", 74},
      {"PageUp", 75},
      {"Delete", 76},
      {"End", 77},
      {"PageDown", 78},
      {"ArrowRight", 79},
      {"ArrowLeft", 80},
      {"ArrowDown", 81},
      {"ArrowUp", 82},
      {"NumLock", 83},
      {"NumpadDivide", 84},
      {"NumpadMultiply", 85},
      {"NumpadSubtract", 86},
      {"NumpadAdd", 87},
      {"NumpadEnter", 88},
      {"NumpadDecimal", 99},
      {"ContextMenu", 101},
      {"ControlLeft", 224},
      {"ShiftLeft", 225},
      {"AltLeft", 226},
      {"MetaLeft", 227},
      {"ControlRight", 228},
      {"ShiftRight", 229},
      {"AltRight", 230},
      {"MetaRight", 231},
  };
  for (const auto& [name, usage] : named) table.emplace_back(name, usage);
  ASSERT_EQ(table.size(), 104u);
  ASSERT_EQ(kKeyCodeCount, 104u);
  std::set<uint32_t> usages;
  for (const auto& [name, usage] : table) {
    EXPECT_EQ(hid_usage_for_code(name), usage) << name;
    EXPECT_TRUE(usages.insert(usage).second) << name;
  }

  for (const char* refused : {"keya", "KEYA", "Key A", "", "F13", "IntlBackslash", "NumpadEqual",
                              "Fn", "OSLeft", "AudioVolumeUp", "KeyA\n"}) {
    EXPECT_FALSE(hid_usage_for_code(refused)) << refused;
  }
}

}  // namespace
}  // namespace vornakel::native_protocol
