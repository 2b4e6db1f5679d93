#include "service_host/capture/capture_arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vornakel {
namespace {

std::u16string repeated(std::u16string_view unit, size_t times) {
  std::u16string text;
  for (size_t i = 0; i < times; ++i) text += unit;
  return text;
}

TEST(CaptureArgumentBound, CountsArgumentsAndUtf8BytesInclusively) {
  const std::u16string lone_high(1, char16_t(0xD800));
  const std::u16string lone_low(1, char16_t(0xDFFF));
  struct Case {
    const char* what;
    std::vector<std::u16string> args;
    bool accepted;
  };
  const Case cases[] = {
      {"no arguments", {}, true},
      {"128 empty arguments", std::vector<std::u16string>(128), true},
      {"129 empty arguments", std::vector<std::u16string>(129), false},
      {"16384 bytes in one", {repeated(u"a", 16384)}, true},
      {"16385 bytes in one", {repeated(u"a", 16385)}, false},
      {"128 x 128 bytes", std::vector<std::u16string>(128, repeated(u"a", 128)), true},
      {"16385 bytes over two", {repeated(u"a", 16000), repeated(u"b", 385)}, false},
      // Counted in UTF-8, not in UTF-16 units: 8192 units of two bytes each fill the bound.
      {"8192 x 2-byte", {repeated(u"\u00e9", 8192)}, true},
      {"8192 x 2-byte + 1", {repeated(u"\u00e9", 8192), u"x"}, false},
      {"5461 x 3-byte + 1", {repeated(u"\u20ac", 5461) + u"a"}, true},
      {"5461 x 3-byte + 2", {repeated(u"\u20ac", 5461) + u"ab"}, false},
      // A surrogate pair is one 4-byte character, not two 3-byte halves.
      {"4096 pairs", {repeated(u"\U0001F600", 4096)}, true},
      {"4096 pairs + 1", {repeated(u"\U0001F600", 4096), u"x"}, false},
      // An unpaired surrogate counts 3 bytes, wherever it stands.
      {"5461 lone surrogates + 1", {repeated(lone_high, 5461) + u"a"}, true},
      {"5461 lone surrogates + 2", {repeated(lone_low, 5460) + lone_high + u"ab"}, false},
      // Low then high is no pair: 3 + 3 bytes.
      {"reversed halves", {repeated(lone_low + lone_high + u"a", 2340) + u"abcd"}, true},
      {"reversed halves + 1", {repeated(lone_low + lone_high + u"a", 2340) + u"abcde"}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(capture_arguments_in_bound(c.args), c.accepted) << c.what;
  }
}

TEST(EngineCommandLine, IsTheQuotedPathAndTheQuotedArgumentsJoinedByBlanks) {
  const std::u16string engine =
      u"C:\\Program Files\\Vornakel Connect\\versions\\1.0.0\\runtime/ffmpeg.exe";
  const std::u16string quoted_engine = u"\"" + engine + u"\"";
  EXPECT_EQ(engine_command_line(engine, {}), quoted_engine);
  EXPECT_EQ(engine_command_line(engine, {u""}), quoted_engine + u" \"\"");
  EXPECT_EQ(
      engine_command_line(engine, {u"-f", u"gdigrab", u"two words", u"say \"hi\"", u"C:\\out\\"}),
      quoted_engine + u" \"-f\" \"gdigrab\" \"two words\" \"say \\\"hi\\\"\" \"C:\\out\\\\\"");
}

}  // namespace
}  // namespace vornakel
