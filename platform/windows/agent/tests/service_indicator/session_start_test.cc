#include "service_indicator/session_start.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "native_protocol/support/queue_byte_source.h"
#include "service_indicator/display_text.h"

namespace vornakel::service_indicator {
namespace {

using native_protocol::testing::QueueByteSource;

constexpr char kSessionId[] = "0f8fad5b-d9cb-469f-a165-70867728950e";

std::string session_json(const std::string& id, const std::string& name,
                         const std::vector<std::string>& permissions) {
  std::string list;
  for (const std::string& p : permissions) list += (list.empty() ? "\"" : ",\"") + p + "\"";
  return "{\"sessionId\":\"" + id + "\",\"requesterName\":\"" + name + "\",\"permissions\":[" +
         list + "]}";
}

// A line of exactly `size` bytes, the line feed included, padded with blanks inside the document.
std::string line_of_size(size_t size) {
  std::string json = session_json(kSessionId, "Ada", {"VIEW_SCREEN"});
  return json + std::string(size - json.size() - 1, ' ') + "\n";
}

TEST(SessionLineTest, BoundIsFourThousandNinetySixBytesWithTheLineFeed) {
  QueueByteSource exact(line_of_size(4096) + "tail", 1000);
  Result<std::string> accepted = read_session_line(exact);
  ASSERT_TRUE(accepted.ok());
  EXPECT_EQ(accepted.value().size(), 4096u);
  EXPECT_EQ(exact.consumed(), 4096u);  // what follows the line stays for the watcher

  QueueByteSource over(line_of_size(4097) + std::string(10000, 'x'), 1000);
  Result<std::string> refused = read_session_line(over);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error(), Error::message(kSessionLineOutOfBound));
  EXPECT_EQ(over.consumed(), 4097u);
}

TEST(SessionLineTest, NothingOrAnUnterminatedLineIsOutOfBoundAndAReadErrorIsKept) {
  for (const std::string& input : {std::string(), session_json(kSessionId, "Ada", {"A"})}) {
    QueueByteSource source(input);
    Result<std::string> line = read_session_line(source);
    ASSERT_FALSE(line.ok());
    EXPECT_EQ(line.error(), Error::message(kSessionLineOutOfBound));
  }
  QueueByteSource broken("{\"sessionId\"", 7, /*fail_at_end=*/true);
  Result<std::string> line = read_session_line(broken);
  ASSERT_FALSE(line.ok());
  EXPECT_EQ(line.error(), Error::os_from_win32(109));
}

TEST(SessionParseTest, AcceptsTheThreeMembersInAnyOrderWithWhiteSpaceAndCrLf) {
  Result<Start> start = parse_start(
      " {\"permissions\":[\"SEND_POINTER\",\"VIEW_SCREEN\",\"SEND_POINTER\"],\"requesterName\":"
      "\"Ada\",\"sessionId\":\"" +
      std::string(kSessionId) + "\"}\r\n");
  ASSERT_TRUE(start.ok()) << start.error().text();
  EXPECT_EQ(start.value().session_id, kSessionId);
  EXPECT_EQ(start.value().requester_name, "Ada");
  EXPECT_EQ(start.value().permissions,
            (std::vector<std::string>{"SEND_POINTER", "VIEW_SCREEN", "SEND_POINTER"}));
}

TEST(SessionParseTest, RefusesEveryOtherShapeWithTheParsersError) {
  const std::string id = std::string("\"") + kSessionId + "\"";
  for (const std::string& line : std::vector<std::string>{
           "{\"sessionId\":" + id + ",\"requesterName\":\"A\",\"permissions\":[\"X\"],\"v\":1}\n",
           "{\"sessionId\":" + id + ",\"requesterName\":\"A\"}\n",
           "{\"sessionId\":" + id + ",\"sessionId\":" + id +
               ",\"requesterName\":\"A\",\"permissions\":[\"X\"]}\n",
           std::string("{\"sessionId\":1,\"requesterName\":\"A\",\"permissions\":[\"X\"]}\n"),
           "{\"sessionId\":" + id + ",\"requesterName\":\"A\",\"permissions\":\"X\"}\n",
           "{\"sessionId\":" + id + ",\"requesterName\":\"A\",\"permissions\":{}}\n",
           "{\"sessionId\":" + id + ",\"requesterName\":\"A\",\"permissions\":[[\"X\"]]}\n",
           "{\"sessionId\":" + id + ",\"requesterName\":\"A\",\"permissions\":[null]}\n",
           "{\"sessionId\":" + id + ",\"requesterName\":\"A\",\"permissions\":[\"X\"]}x\n",
           "{\"sessionId\":" + id + ",\"requesterName\":\"\\ud800\",\"permissions\":[\"X\"]}\n",
           "{\"sessionId\":" + id + ",\"requesterName\":\"A\",\"permissions\":[\"X\"]}" +
               std::string("\n\0{}", 4),
           "[]\n",
       }) {
    Result<Start> start = parse_start(line);
    ASSERT_FALSE(start.ok()) << line;
    EXPECT_EQ(start.error().kind(), ErrorKind::kJson) << line;
  }
}

struct StartCase {
  const char* label;
  Start start;
  bool valid;
};

Start start_with(std::string id, std::string name, std::vector<std::string> permissions) {
  return Start{std::move(id), std::move(name), std::move(permissions)};
}

std::string repeated(const std::string& piece, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i) out += piece;
  return out;
}

class StartRuleTest : public ::testing::TestWithParam<StartCase> {};

TEST_P(StartRuleTest, IsJudgedByItsRule) {
  const StartCase& c = GetParam();
  Status status = validate_start(c.start);
  if (c.valid) {
    EXPECT_TRUE(status.ok()) << status.error().text();
  } else {
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error(), Error::message(kInvalidSessionMetadata));
  }
}

const std::vector<std::string> kView = {"VIEW_SCREEN"};

INSTANTIATE_TEST_SUITE_P(
    EachRule, StartRuleTest,
    ::testing::Values(
        StartCase{"plain", start_with(kSessionId, "Ada", kView), true},
        StartCase{"upperCaseId", start_with("0F8FAD5B-D9CB-469F-A165-70867728950E", "Ada", kView),
                  true},
        StartCase{"anyVersionAndVariant",
                  start_with("00000000-0000-0000-0000-000000000000", "Ada", kView), true},
        StartCase{"hyphenElsewhere",
                  start_with("0f8fad5bd-9cb-469f-a165-70867728950e", "Ada", kView), false},
        StartCase{"id35Bytes", start_with("0f8fad5b-d9cb-469f-a165-70867728950", "Ada", kView),
                  false},
        StartCase{"id37Bytes", start_with("0f8fad5b-d9cb-469f-a165-70867728950ee", "Ada", kView),
                  false},
        StartCase{"idNotHex", start_with("0f8fad5b-d9cb-469f-a165-70867728950g", "Ada", kView),
                  false},
        StartCase{"name100NonAscii", start_with(kSessionId, repeated("\xC3\xA9", 100), kView),
                  true},
        StartCase{"name100Astral", start_with(kSessionId, repeated("\xF0\x9F\x98\x80", 100), kView),
                  true},
        StartCase{"name101", start_with(kSessionId, repeated("\xC3\xA9", 101), kView), false},
        StartCase{"nameEmpty", start_with(kSessionId, "", kView), false},
        StartCase{"nameWithTab", start_with(kSessionId, "Ada\tL", kView), false},
        StartCase{"nameWithNextLine", start_with(kSessionId, "Ada\xC2\x85", kView), false},
        StartCase{"nameWithDel", start_with(kSessionId, "Ada\x7F", kView), false},
        StartCase{"noPermission", start_with(kSessionId, "Ada", {}), false},
        StartCase{"permissions24x40",
                  start_with(kSessionId, "Ada", std::vector<std::string>(24, std::string(40, 'P'))),
                  true},
        StartCase{"permissions25", start_with(kSessionId, "Ada", std::vector<std::string>(25, "P")),
                  false},
        StartCase{"permission41Bytes", start_with(kSessionId, "Ada", {std::string(41, 'P')}),
                  false},
        StartCase{"permissionEmpty", start_with(kSessionId, "Ada", {""}), false},
        StartCase{"permissionLowerCase", start_with(kSessionId, "Ada", {"VIEW_screen"}), false},
        StartCase{"permissionDigit", start_with(kSessionId, "Ada", {"VIEW2"}), false},
        StartCase{"permissionHyphen", start_with(kSessionId, "Ada", {"VIEW-SCREEN"}), false},
        StartCase{"unknownPermissionNameShown", start_with(kSessionId, "Ada", {"NOT_A_GRANT"}),
                  true},
        // Each end of every character range, and the character just outside it.
        StartCase{"idEveryHexDigit",
                  start_with("01234567-89ab-cdef-ABCD-EF0123456789", "Ada", kView), true},
        StartCase{"idSlash", start_with("/f8fad5b-d9cb-469f-a165-70867728950e", "Ada", kView),
                  false},
        StartCase{"idColon", start_with("0f8fad5b-d9cb-469f-a165-70867728950:", "Ada", kView),
                  false},
        StartCase{"idAt", start_with("@f8fad5b-d9cb-469f-a165-70867728950e", "Ada", kView), false},
        StartCase{"idUpperG", start_with("Gf8fad5b-d9cb-469f-a165-70867728950e", "Ada", kView),
                  false},
        StartCase{"idBackquote", start_with("`f8fad5b-d9cb-469f-a165-70867728950e", "Ada", kView),
                  false},
        StartCase{"idDigitForHyphen",
                  start_with("0f8fad5b0d9cb-469f-a165-70867728950e", "Ada", kView), false},
        StartCase{"idHyphenForDigit",
                  start_with("0f8fad5b-d9cb-469f-a165-70867728950-", "Ada", kView), false},
        StartCase{"nameWithUnitSeparator", start_with(kSessionId, "Ada\x1F", kView), false},
        StartCase{"nameWithLastC1Control", start_with(kSessionId, "Ada\xC2\x9F", kView), false},
        StartCase{"nameBlankAndNoBreakSpace", start_with(kSessionId, " Ada\xC2\xA0", kView), true},
        StartCase{"name100FirstAstral",
                  start_with(kSessionId, repeated("\xF0\x90\x80\x80", 100), kView), true},
        StartCase{"name100LastScalar",
                  start_with(kSessionId, repeated("\xF4\x8F\xBF\xBF", 100), kView), true},
        StartCase{"name101Astral", start_with(kSessionId, repeated("\xF0\x90\x80\x80", 101), kView),
                  false},
        StartCase{"nameInvalidUtf8", start_with(kSessionId, "Ada\xC3", kView), false},
        StartCase{"permissionFirstAndLastLetter", start_with(kSessionId, "Ada", {"A_Z"}), true},
        StartCase{"permissionAt", start_with(kSessionId, "Ada", {"@VIEW"}), false},
        StartCase{"permissionBracket", start_with(kSessionId, "Ada", {"VIEW["}), false},
        StartCase{"permissionCaret", start_with(kSessionId, "Ada", {"^VIEW"}), false},
        StartCase{"permissionBackquote", start_with(kSessionId, "Ada", {"VIEW`"}), false},
        StartCase{"oneBadPermissionAmongGood",
                  start_with(kSessionId, "Ada", {"VIEW_SCREEN", "bad", "SEND_POINTER"}), false}),
    [](const ::testing::TestParamInfo<StartCase>& param_info) { return param_info.param.label; });

TEST(DisplayTextTest, CountsScalarsAndTellsUndisplayableTextFromEmpty) {
  const std::vector<std::pair<std::string, std::optional<size_t>>> cases = {
      {"", 0},
      {"Ada", 3},
      {"\xC3\xA9\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", 3},
      {"Ada\xC3", std::nullopt},  // malformed UTF-8 is not a zero-length name
      {"\xC0\x80", std::nullopt},
      {"Ada\x1F", std::nullopt},
      {"\xC2\x9F", std::nullopt},
  };
  for (const auto& [text, scalars] : cases) {
    EXPECT_EQ(count_displayable_scalars(text), scalars) << ::testing::PrintToString(text);
  }
}

TEST(DetailsTextTest, NamesTheRequesterAndEachPermissionOnItsOwnLine) {
  EXPECT_EQ(details_text(start_with(kSessionId, "Ada L", {"VIEW_SCREEN", "SEND_KEYBOARD"})),
            "Connected: Ada L\r\nGranted permissions:\r\nVIEW_SCREEN\r\nSEND_KEYBOARD");
}

}  // namespace
}  // namespace vornakel::service_indicator
