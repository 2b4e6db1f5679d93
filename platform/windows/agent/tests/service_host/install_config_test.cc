#include "service_host/install_config.h"

#include <gtest/gtest.h>

#include <string>

namespace vornakel {
namespace {

void expect_parses(std::string_view text, uint32_t schema, const std::string& version) {
  Result<InstallConfig> config = parse_install_config(text);
  ASSERT_TRUE(config.ok()) << text << " -> " << config.error().text();
  EXPECT_EQ(config.value().schema_version, schema) << text;
  EXPECT_EQ(config.value().version, version) << text;
}

void expect_json_error(std::string_view text) {
  Result<InstallConfig> config = parse_install_config(text);
  ASSERT_FALSE(config.ok()) << text;
  EXPECT_EQ(config.error().kind(), ErrorKind::kJson) << text;
  EXPECT_FALSE(config.error().text().empty()) << text;
}

TEST(InstallConfigParse, AcceptsObjectInAnyOrderAndTheTwoElementArray) {
  expect_parses(R"({"schemaVersion":1,"version":"1.0.0"})", 1, "1.0.0");
  expect_parses(R"({"version":"1.4.12","schemaVersion":1})", 1, "1.4.12");
  expect_parses(R"([1,"2025.10.3-development"])", 1, "2025.10.3-development");
  // Any unsigned 32-bit schema parses; only the later check insists on 1.
  expect_parses(R"({"schemaVersion":4294967295,"version":"x"})", 4294967295u, "x");
}

TEST(InstallConfigParse, AllowsOnlyJsonWhitespaceAroundTheDocument) {
  expect_parses(" \t\r\n{ \"schemaVersion\" : 1 , \"version\" : \"1.0.0\" }\r\n\t ", 1, "1.0.0");
  expect_json_error("{\"schemaVersion\":1,\"version\":\"1.0.0\"} x");
  expect_json_error("{\"schemaVersion\":1,\"version\":\"1.0.0\"}{}");
  expect_json_error("{\"schemaVersion\":1,\"version\":\"1.0.0\"}\f");
  expect_json_error("\xEF\xBB\xBF{\"schemaVersion\":1,\"version\":\"1.0.0\"}");
  // A NUL would otherwise end the parser's input and hide what follows it.
  expect_json_error(std::string("{\"schemaVersion\":1,\"version\":\"1.0.0\"}\0", 38));
  expect_json_error(std::string("{\"schemaVersion\":1,\"version\":\"1.0.0\"}\0garbage", 45));
  expect_json_error(std::string("[1,\"1.0.0\"]  \0  [", 17));
  expect_json_error("/*c*/{\"schemaVersion\":1,\"version\":\"1.0.0\"}");
}

TEST(InstallConfigParse, RefusesMissingRepeatedAndUnknownMembers) {
  expect_json_error(R"({"schemaVersion":1})");
  expect_json_error(R"({"version":"1.0.0"})");
  expect_json_error(R"({})");
  expect_json_error(R"({"schemaVersion":1,"version":"1.0.0","extra":0})");
  expect_json_error(R"({"schemaVersion":1,"version":"1.0.0","version":"1.0.0"})");
  expect_json_error(R"({"schemaVersion":1,"schemaVersion":1,"version":"1.0.0"})");
  expect_json_error(R"({"SchemaVersion":1,"version":"1.0.0"})");
  expect_json_error(R"({"schemaVersion":1,"version ":"1.0.0"})");
}

TEST(InstallConfigParse, RefusesWrongTypesForTheSchema) {
  expect_json_error(R"({"schemaVersion":-1,"version":"1.0.0"})");
  // A minus sign makes a JSON number negative in form even at zero: not a version error.
  expect_json_error(R"({"schemaVersion":-0,"version":"1.0.0"})");
  expect_json_error(R"([-0,"1.0.0"])");
  expect_json_error(R"({"schemaVersion":1.0,"version":"1.0.0"})");
  expect_json_error(R"({"schemaVersion":1e0,"version":"1.0.0"})");
  expect_json_error(R"({"schemaVersion":"1","version":"1.0.0"})");
  expect_json_error(R"({"schemaVersion":4294967296,"version":"1.0.0"})");
  expect_json_error(R"({"schemaVersion":99999999999999999999999,"version":"1.0.0"})");
  expect_json_error(R"({"schemaVersion":null,"version":"1.0.0"})");
  expect_json_error(R"({"schemaVersion":true,"version":"1.0.0"})");
  expect_json_error(R"({"schemaVersion":[1],"version":"1.0.0"})");
  expect_json_error(R"({"schemaVersion":01,"version":"1.0.0"})");
}

TEST(InstallConfigParse, RefusesWrongTypesForTheVersion) {
  expect_json_error(R"({"schemaVersion":1,"version":100})");
  expect_json_error(R"({"schemaVersion":1,"version":{"major":1}})");
  expect_json_error(R"({"schemaVersion":1,"version":["1.0.0"]})");
  expect_json_error(R"({"schemaVersion":1,"version":null})");
}

TEST(InstallConfigParse, RefusesOtherShapes) {
  expect_json_error("");
  expect_json_error("   ");
  expect_json_error("1");
  expect_json_error("\"1.0.0\"");
  expect_json_error("null");
  expect_json_error("[]");
  expect_json_error("[1]");
  expect_json_error(R"([1,"1.0.0",0])");
  // The administrator is told what is wrong with the array, not only that something is.
  EXPECT_NE(parse_install_config(R"([1,"1.0.0",0])").error().text().find("exactly two elements"),
            std::string_view::npos);
  expect_json_error(R"(["1.0.0",1])");
  expect_json_error(R"({"schemaVersion":1,"version":"1.0.0")");
  expect_json_error(R"({"schemaVersion":1,"version":"1.0.0",})");
  expect_json_error(R"([1,"1.0.0",])");
}

TEST(InstallConfigParse, StopsAtTheFirstNestedContainerWhateverTheDepth) {
  std::string deep(100000, '[');
  expect_json_error(deep);
  expect_json_error(R"({"schemaVersion":1,"version":"1.0.0","x":)" + std::string(5000, '{'));
}

TEST(InstallConfigParse, RefusesInvalidUtf8) {
  expect_json_error("{\"schemaVersion\":1,\"version\":\"1.0.\xC0\xB0\"}");
  expect_json_error("{\"schemaVersion\":1,\"version\":\"1.0.0\xFF\"}");
  expect_json_error("{\"schemaVersion\":1,\"version\":\"\xED\xA0\x80\"}");
  expect_json_error("{\"schemaVersion\":1,\"versi\xE9n\":\"1.0.0\"}");
}

TEST(InstallConfigParse, ParserErrorsCarryTheLibraryWording) {
  Result<InstallConfig> config = parse_install_config("{\"schemaVersion\":1,");
  ASSERT_FALSE(config.ok());
  EXPECT_NE(config.error().text().find("parse error"), std::string::npos) << config.error().text();
}

TEST(InstallConfigParse, UnknownMemberNamesAreEscapedInTheMessage) {
  Result<InstallConfig> config =
      parse_install_config("{\"\\u001b[31m\":1,\"schemaVersion\":1,\"version\":\"1.0.0\"}");
  ASSERT_FALSE(config.ok());
  EXPECT_EQ(config.error().text().find('\x1b'), std::string::npos);
  EXPECT_NE(config.error().text().find("\\u001b"), std::string::npos) << config.error().text();
}

TEST(InstallConfigBound, ExactlyTheLimitIsAccepted) {
  EXPECT_TRUE(install_config_size_within_bound(0));
  EXPECT_TRUE(install_config_size_within_bound(1024));
  EXPECT_FALSE(install_config_size_within_bound(1025));
  EXPECT_FALSE(install_config_size_within_bound(UINT64_MAX));
}

TEST(VersionText, AcceptsThreeShortDigitRunsAndTheDevelopmentSuffix) {
  for (const char* version : {"1.4.12", "0.0.0", "1.0.0", "000001.2.3", "999999.999999.999999",
                              "2025.10.3-development", "1.0.0-development"}) {
    EXPECT_TRUE(is_valid_version_text(version)) << version;
  }
}

TEST(VersionText, RefusesEverythingElse) {
  for (const char* version : {"",
                              "..",
                              ".",
                              "1.4",
                              "1.4.12.0",
                              "1.4.x",
                              "1234567.0.0",
                              "1.4.12-beta",
                              "1..4",
                              ".1.4",
                              "1.4.",
                              "-development",
                              "1.4-development",
                              "1.0.0-Development",
                              "1.0.0-development-development",
                              "1.0.0 ",
                              " 1.0.0",
                              "+1.0.0",
                              "1.0.0\n",
                              "1/0/0",
                              "1\\0\\0",
                              "..\\..\\x",
                              "../1.0.0",
                              "1.0.0/..",
                              "C:1.0.0"}) {
    EXPECT_FALSE(is_valid_version_text(version)) << version;
  }
  EXPECT_FALSE(is_valid_version_text(std::string("1.0.0\0", 6)));
  // Digits of other scripts: Arabic-Indic one, fullwidth one, superscript one.
  EXPECT_FALSE(is_valid_version_text("\xD9\xA1.0.0"));
  EXPECT_FALSE(is_valid_version_text("\xEF\xBC\x91.0.0"));
  EXPECT_FALSE(is_valid_version_text("1.\xC2\xB9.0"));
}

TEST(VersionText, SuffixIsSetAsideOnlyWhenSomethingPrecedesIt) {
  // Twelve bytes: the suffix alone leaves nothing to split.
  EXPECT_FALSE(is_valid_version_text("-development"));
  EXPECT_FALSE(is_valid_version_text("1.2.3.-development"));
}

TEST(InstallConfigCheck, RequiresSchemaOneAndAValidVersion) {
  EXPECT_TRUE(check_install_config({1, "1.0.0"}).ok());
  Status schema_two = check_install_config({2, "1.0.0"});
  ASSERT_FALSE(schema_two.ok());
  EXPECT_EQ(schema_two.error(), Error::message("Invalid installed service version"));
  EXPECT_EQ(check_install_config({0, "1.0.0"}).error(),
            Error::message("Invalid installed service version"));
  EXPECT_EQ(check_install_config({1, "1.4"}).error(),
            Error::message("Invalid installed service version"));
}

}  // namespace
}  // namespace vornakel
