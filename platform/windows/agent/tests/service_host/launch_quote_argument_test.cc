#include "service_host/quote_argument.h"

#include <gtest/gtest.h>

#include "service_host/path_text.h"

namespace vornakel {
namespace {

TEST(QuoteArgument, AlwaysQuotesAndCopiesPlainText) {
  EXPECT_EQ(quote_argument(u""), u"\"\"");
  EXPECT_EQ(quote_argument(u"node"), u"\"node\"");
  EXPECT_EQ(
      quote_argument(u"C:\\Program Files\\Vornakel Connect\\versions\\1.0.0\\runtime/node.exe"),
      u"\"C:\\Program Files\\Vornakel Connect\\versions\\1.0.0\\runtime/node.exe\"");
  EXPECT_EQ(quote_argument(u"tab\there"), u"\"tab\there\"");
}

TEST(QuoteArgument, DoublesTrailingBackslashesBeforeTheClosingQuote) {
  EXPECT_EQ(quote_argument(u"C:\\dir\\"), u"\"C:\\dir\\\\\"");
  EXPECT_EQ(quote_argument(u"\\\\server\\share\\\\"), u"\"\\\\server\\share\\\\\\\\\"");
  EXPECT_EQ(quote_argument(u"\\"), u"\"\\\\\"");
}

TEST(QuoteArgument, EscapesQuotesWithTwoNPlusOneBackslashes) {
  EXPECT_EQ(quote_argument(u"say \"hi\""), u"\"say \\\"hi\\\"\"");
  EXPECT_EQ(quote_argument(u"a\\\"b"), u"\"a\\\\\\\"b\"");        // 1 -> 3
  EXPECT_EQ(quote_argument(u"a\\\\\"b"), u"\"a\\\\\\\\\\\"b\"");  // 2 -> 5
  EXPECT_EQ(quote_argument(u"\""), u"\"\\\"\"");
  // Backslashes that are not followed by a quote are copied unchanged.
  EXPECT_EQ(quote_argument(u"a\\\\b\\c"), u"\"a\\\\b\\c\"");
}

TEST(QuoteArgument, ReplacesUnpairedSurrogatesAndKeepsPairs) {
  const std::u16string lone_high{u'a', char16_t(0xD800), u'b'};
  EXPECT_EQ(quote_argument(lone_high), u"\"a\uFFFDb\"");
  const std::u16string reversed{char16_t(0xDC00), char16_t(0xD800)};
  EXPECT_EQ(quote_argument(reversed), u"\"\uFFFD\uFFFD\"");
  EXPECT_EQ(quote_argument(u"\U0001F600\u00e9"), u"\"\U0001F600\u00e9\"");
}

TEST(PathText, PairsSurrogatesExactlyAtTheEndsOfTheirRanges) {
  constexpr char16_t kMark = 0xFFFD;
  const struct {
    std::u16string path, text;
  } cases[] = {
      {{0xD800, 0xDC00}, {0xD800, 0xDC00}},
      {{0xDBFF, 0xDFFF}, {0xDBFF, 0xDFFF}},
      {{0xD7FF, 0xE000}, {0xD7FF, 0xE000}},  // just outside both ranges: plain characters
      {{u'a', 0xDBFF}, {u'a', kMark}},       // a high surrogate at the end
      {{0xDFFF, u'a'}, {kMark, u'a'}},
      {{0xDC00, 0xDFFF}, {kMark, kMark}},
      {{0xD800, 0xDBFF, 0xDFFF}, {kMark, 0xDBFF, 0xDFFF}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(path_text(c.path), c.text) << ::testing::PrintToString(c.path);
  }
}

}  // namespace
}  // namespace vornakel
