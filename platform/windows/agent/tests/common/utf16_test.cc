#include "common/utf16.h"

#include <gtest/gtest.h>

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

TEST(Utf16, Utf8LengthCountsUnpairedSurrogatesAsThreeBytes) {
  EXPECT_EQ(utf8_length_of(u"abc"), 3u);
  EXPECT_EQ(utf8_length_of(u"\U0001F600"), 4u);
  EXPECT_EQ(utf8_length_of(std::u16string(1, char16_t(0xD800))), 3u);
}

}  // namespace
}  // namespace vornakel
