#include "service_host/quote_argument.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vornakel
