#include "service_indicator/brand.h"

#include <gtest/gtest.h>

#include <string>

namespace vornakel::service_indicator {
namespace {

TEST(BrandTest, BuiltInTextIsTheDocumentedRecordAndValid) {
  EXPECT_EQ(kBuiltinBrandText.size(), 149u);
  Result<Brand> brand = load_brand();
  ASSERT_TRUE(brand.ok()) << brand.error().text();
  EXPECT_EQ(brand.value().product_name, "Vornakel Connect");
  EXPECT_EQ(colour_value(brand.value().ink), 0x382213u);
  EXPECT_EQ(colour_value(brand.value().paper), 0xFCF8F5u);
  EXPECT_EQ(colour_value(brand.value().mint), 0xC2C873u);
}

TEST(BrandTest, ColourValueIsBlueGreenRedOfEitherCase) {
  EXPECT_EQ(colour_value("#A1b2C3"), 0x00C3B2A1u);
  EXPECT_EQ(colour_value("#000000"), 0u);
  EXPECT_EQ(colour_value("#FFffFF"), 0x00FFFFFFu);
}

// A brand record with one member's raw JSON value replaced, or the whole text replaced.
std::string brand_with(const std::string& member, const std::string& raw_value) {
  const std::pair<const char*, const char*> members[] = {{"productName", "\"Vornakel Connect\""},
                                                         {"ink", "\"#132238\""},
                                                         {"paper", "\"#f5f8fc\""},
                                                         {"mint", "\"#73c8c2\""},
                                                         {"accent", "\"#1f6f8b\""},
                                                         {"danger", "\"#b42318\""}};
  std::string text = "{";
  for (const auto& [name, value] : members) {
    if (text.size() > 1) text += ",";
    text += "\"" + std::string(name) + "\":" + (member == name ? raw_value : value);
  }
  return text + "}";
}

struct BrandCase {
  const char* label;
  std::string text;
  enum { kAccepted, kInvalid, kParserError } expect;
};

class BrandRuleTest : public ::testing::TestWithParam<BrandCase> {};

TEST_P(BrandRuleTest, IsJudgedByItsRule) {
  const BrandCase& c = GetParam();
  Result<Brand> brand = load_brand(c.text);
  switch (c.expect) {
    case BrandCase::kAccepted:
      EXPECT_TRUE(brand.ok()) << brand.error().text();
      break;
    case BrandCase::kInvalid:
      ASSERT_FALSE(brand.ok());
      EXPECT_EQ(brand.error(), Error::message(kInvalidBrand));
      break;
    case BrandCase::kParserError:
      ASSERT_FALSE(brand.ok());
      EXPECT_EQ(brand.error().kind(), ErrorKind::kJson) << brand.error().text();
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(
    EachRule, BrandRuleTest,
    ::testing::Values(
        BrandCase{"name60Bytes", brand_with("productName", "\"" + std::string(60, 'n') + "\""),
                  BrandCase::kAccepted},
        BrandCase{"upperCaseColour", brand_with("danger", "\"#ABCDEF\""), BrandCase::kAccepted},
        BrandCase{"emptyName", brand_with("productName", "\"\""), BrandCase::kInvalid},
        BrandCase{"name61Bytes", brand_with("productName", "\"" + std::string(61, 'n') + "\""),
                  BrandCase::kInvalid},
        BrandCase{"nameWithTab", brand_with("productName", "\"a\\tb\""), BrandCase::kInvalid},
        BrandCase{"nameWithC1", brand_with("productName", "\"a\\u0085\""), BrandCase::kInvalid},
        BrandCase{"nameWithDel", brand_with("productName", "\"a\\u007f\""), BrandCase::kInvalid},
        BrandCase{"colourTooShort", brand_with("ink", "\"#13223\""), BrandCase::kInvalid},
        BrandCase{"colourTooLong", brand_with("paper", "\"#f5f8fc0\""), BrandCase::kInvalid},
        BrandCase{"colourWithoutHash", brand_with("mint", "\"073c8c2\""), BrandCase::kInvalid},
        BrandCase{"colourNotHex", brand_with("accent", "\"#1f6f8g\""), BrandCase::kInvalid},
        BrandCase{"unusedColourStillChecked", brand_with("danger", "\"red\""), BrandCase::kInvalid},
        BrandCase{"colourNotString", brand_with("ink", "1322"), BrandCase::kParserError},
        BrandCase{"missingMember", "{\"productName\":\"V\"}", BrandCase::kParserError},
        BrandCase{"unknownMember", brand_with("ink", "\"#132238\",\"logo\":\"x\""),
                  BrandCase::kParserError},
        BrandCase{"repeatedMember", brand_with("ink", "\"#132238\",\"ink\":\"#132238\""),
                  BrandCase::kParserError},
        BrandCase{"nestedObject", brand_with("ink", "{}"), BrandCase::kParserError},
        BrandCase{"notAnObject", "[\"Vornakel Connect\"]", BrandCase::kParserError},
        BrandCase{"trailingText", brand_with("", "") + " x", BrandCase::kParserError}),
    [](const ::testing::TestParamInfo<BrandCase>& param_info) { return param_info.param.label; });

}  // namespace
}  // namespace vornakel::service_indicator
