#include "service_indicator/display_text.h"

#include <gtest/gtest.h>

#include <string_view>

#include "service_indicator/session_start.h"
#include "service_indicator/support/indicator_fakes.h"

namespace vornakel::service_indicator {
namespace {

using testing::utf8;

// Every kind of hidden character is replaced where it stood (U+FFFD); the joiners and everything
// visible stay as written. Written in UTF-16 so that the sources stay ASCII for every compiler.
TEST(HiddenCharacterTest, EachHiddenCharacterBecomesAVisibleMarkInPlace) {
  const struct {
    const char* label;
    std::u16string_view name;
    std::u16string_view shown;
  } cases[] = {
      {"right-to-left override", u"Ada \u202Egnp.exe", u"Ada \uFFFDgnp.exe"},
      {"embeddings and pop", u"\u202A\u202B\u202C\u202Dx", u"\uFFFD\uFFFD\uFFFD\uFFFDx"},
      {"isolates", u"\u2066a\u2067b\u2068c\u2069", u"\uFFFDa\uFFFDb\uFFFDc\uFFFD"},
      {"marks", u"\u200E\u200F\u061C", u"\uFFFD\uFFFD\uFFFD"},
      {"zero width space, word joiner, BOM", u"a\u200Bb\u2060c\uFEFF", u"a\uFFFDb\uFFFDc\uFFFD"},
      {"invisible operators, deprecated controls", u"\u2062\u206A\u206F", u"\uFFFD\uFFFD\uFFFD"},
      {"annotation marks, soft hyphen", u"\uFFF9\uFFFB\u00AD", u"\uFFFD\uFFFD\uFFFD"},
      {"line and paragraph separators", u"a\u2028b\u2029", u"a\uFFFDb\uFFFD"},
      {"tag characters", u"x\U000E0001\U000E0041\U000E007F", u"x\uFFFD\uFFFD\uFFFD"},
      {"joiners stay", u"\u0915\u094D\u200D\u0937 \u200C", u"\u0915\u094D\u200D\u0937 \u200C"},
      {"visible text stays", u"Zo\u00EB \u05D0\u05D1 \U0001F600 \u00A0\u2067",
       u"Zo\u00EB \u05D0\u05D1 \U0001F600 \u00A0\uFFFD"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(mark_hidden_characters(utf8(c.name)), utf8(c.shown)) << c.label;
  }
}

TEST(HiddenCharacterTest, TheDetailsShowTheNameAsSigned) {
  const Start start{"0f8fad5b-d9cb-469f-a165-70867728950e", utf8(u"Eve\u202E1gnp"), {"VIEW"}};
  ASSERT_TRUE(validate_start(start).ok()) << "the name is valid; only how it is shown changes";
  EXPECT_EQ(details_text(start), utf8(u"Connected: Eve\uFFFD1gnp\r\nGranted permissions:\r\nVIEW"));
}

}  // namespace
}  // namespace vornakel::service_indicator
