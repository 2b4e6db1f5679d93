#include "common/utf16.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace vornakel {
namespace {

TEST(Utf16, ConvertsPairsAndRefusesUnpairedSurrogatesWhenStrict) {
  EXPECT_EQ(utf16_to_utf8(u"--input"), "--input");
  EXPECT_EQ(utf16_to_utf8(u"\u00e9\u20ac\U0001F600"), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(utf16_to_utf8(std::u16string(1, char16_t(0xD800))), std::nullopt);
  EXPECT_EQ(utf16_to_utf8(u"a" + std::u16string(1, char16_t(0xDC00)) + u"b"), std::nullopt);
  // A low surrogate before a high one is two unpaired halves, not a pair.
  EXPECT_EQ(utf16_to_utf8(std::u16string{char16_t(0xDC00), char16_t(0xD800)}), std::nullopt);
}

TEST(Utf16, LossyConversionReplacesEachUnpairedSurrogate) {
  std::u16string text{u'a', char16_t(0xD800), u'b', char16_t(0xDFFF)};
  EXPECT_EQ(utf16_to_utf8_lossy(text),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
}

TEST(Utf16, Utf8DecodingIsStrict) {
  EXPECT_EQ(utf8_to_utf16("\xF0\x9F\x98\x80"), std::u16string(u"\U0001F600"));
  EXPECT_EQ(utf8_to_utf16("\xC0\xAF"), std::nullopt);          // overlong
  EXPECT_EQ(utf8_to_utf16("\xED\xA0\x80"), std::nullopt);      // encoded surrogate
  EXPECT_EQ(utf8_to_utf16("\xF4\x90\x80\x80"), std::nullopt);  // above U+10FFFF
  EXPECT_EQ(utf8_to_utf16("\xE2\x82"), std::nullopt);          // truncated
  EXPECT_EQ(utf8_to_utf16("\x80"), std::nullopt);              // stray continuation
}

TEST(Utf16, Utf8DecodingAcceptsExactlyTheWellFormedSequences) {
  // Each length at both ends of its range, the overlong form just below each, the surrogate gap and
  // the top of the code space: accepted exactly when the decoder must accept.
  const std::vector<std::pair<std::string, bool>> cases = {
      {std::string(1, '\0'), true},
      {"\x7F", true},
      {"\xC2\x80", true},
      {"\xDF\xBF", true},
      {"\xC1\xBF", false},  // U+007F in two bytes
      {"\xE0\xA0\x80", true},
      {"\xEF\xBF\xBF", true},
      {"\xE0\x9F\xBF", false},  // U+07FF in three bytes
      {"\xE0\x80\x80", false},
      {"\xED\x9F\xBF", true},  // U+D7FF
      {"\xED\xA0\x80", false},
      {"\xED\xBF\xBF", false},
      {"\xEE\x80\x80", true},  // U+E000
      {"\xF0\x90\x80\x80", true},
      {"\xF4\x8F\xBF\xBF", true},
      {"\xF0\x8F\xBF\xBF", false},  // U+FFFF in four bytes
      {"\xF0\x80\x80\x80", false},
      {"\xF4\x90\x80\x80", false},
      {"\xF5\x80\x80\x80", false},
      {"\xF8\x88\x80\x80\x80", false},
      {"\xFF", false},
      // A bad continuation byte in each position, and each sequence cut short.
      {"\xC3\x28", false},
      {"\xE2\x28\xAC", false},
      {"\xE2\x82\x28", false},
      {"\xF0\x9F\x98\x28", false},
      {"\xF0\x9F\x28\x80", false},
      {"\xC3", false},
      {"\xF0\x9F\x98", false},
      {"a\xC3\xA9", true},
      {"a\xC3", false},
  };
  for (const auto& [bytes, well_formed] : cases) {
    // Read through a view into a longer buffer whose next bytes would complete a cut sequence:
    // the decoder must stop at the view's end, not at a terminator.
    const std::string followed = bytes + "\x80\x80\x80";
    const std::string_view view = std::string_view(followed).substr(0, bytes.size());
    EXPECT_EQ(utf8_to_utf16(view).has_value(), well_formed) << testing::PrintToString(bytes);
  }
}

TEST(Utf16, EveryCodePointSurvivesBothConversionsAndIsCountedRight) {
  for (uint32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    std::u16string unit;
    if (cp < 0x10000) {
      unit.push_back(static_cast<char16_t>(cp));
    } else {
      unit.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      unit.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
    const auto utf8 = utf16_to_utf8(unit);
    ASSERT_TRUE(utf8.has_value()) << cp;
    const size_t expected_length = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
    ASSERT_EQ(utf8->size(), expected_length) << cp;
    ASSERT_EQ(utf8_length_of(unit), expected_length) << cp;
    ASSERT_EQ(utf8_to_utf16(*utf8), unit) << cp;
  }
}

TEST(Utf16, Utf8LengthCountsUnpairedSurrogatesAsThreeBytes) {
  EXPECT_EQ(utf8_length_of(u"abc"), 3u);
  EXPECT_EQ(utf8_length_of(u"\U0001F600"), 4u);
  EXPECT_EQ(utf8_length_of(std::u16string(1, char16_t(0xD800))), 3u);
}

}  // namespace
}  // namespace vornakel
