#include "entry/options.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "entry/note.h"
#include "screen_source/capture_display.h"

namespace vornakel::capture {
namespace {

std::variant<Options, OptionsError> parse(std::vector<std::string_view> arguments) {
  return parseOptions(arguments);
}

Options parsed(std::vector<std::string_view> arguments) {
  auto result = parse(arguments);
  EXPECT_TRUE(std::holds_alternative<Options>(result));
  return std::holds_alternative<Options>(result) ? std::get<Options>(result) : Options{};
}

std::string refusal(std::vector<std::string_view> arguments) {
  auto result = parse(arguments);
  EXPECT_TRUE(std::holds_alternative<OptionsError>(result));
  return std::holds_alternative<OptionsError>(result) ? std::get<OptionsError>(result).message : "";
}

TEST(ParseOptionsTest, NoArgumentsGiveTheDefaults) {
  const Options options = parsed({});
  EXPECT_FALSE(options.probe);
  EXPECT_FALSE(options.display.has_value());
  EXPECT_EQ(options.fps, 30);
  EXPECT_EQ(options.bitrateKbps, 6000);
  EXPECT_EQ(options.maxWidth, 1920);
  EXPECT_TRUE(options.showsCursor);
}

TEST(ParseOptionsTest, EveryOptionAndLastOneWins) {
  const Options options = parsed({"--display", "7", "--fps", "60", "--fps", "24", "--bitrate-kbps",
                                  "2500", "--max-width", "1280", "--no-cursor", "--display", "+9"});
  EXPECT_EQ(options.display, 9u);
  EXPECT_EQ(options.fps, 24);
  EXPECT_EQ(options.bitrateKbps, 2500);
  EXPECT_EQ(options.maxWidth, 1280);
  EXPECT_FALSE(options.showsCursor);
  EXPECT_FALSE(options.probe);
}

TEST(ParseOptionsTest, ValuesThatDoNotConvertKeepThePreviousValue) {
  EXPECT_EQ(parsed({"--fps", "abc"}).fps, 30);
  EXPECT_EQ(parsed({"--fps", "15", "--fps", "12x"}).fps, 15);
  EXPECT_EQ(parsed({"--max-width", ""}).maxWidth, 1920);
  EXPECT_EQ(parsed({"--bitrate-kbps", " 5"}).bitrateKbps, 6000);
  EXPECT_EQ(parsed({"--bitrate-kbps", "-5"}).bitrateKbps, -5);
  EXPECT_EQ(parsed({"--max-width", "9223372036854775808"}).maxWidth, 1920);
}

TEST(ParseOptionsTest, DisplayThatDoesNotConvertIsUnset) {
  EXPECT_FALSE(parsed({"--display", "4294967296"}).display.has_value());
  EXPECT_FALSE(parsed({"--display", "-3"}).display.has_value());
  EXPECT_FALSE(parsed({"--display", "5", "--display", "x"}).display.has_value());
  EXPECT_EQ(parsed({"--display", "4294967295"}).display, 4294967295u);
}

TEST(ParseOptionsTest, ValueIsTakenEvenWhenItLooksLikeAnOption) {
  const Options options = parsed({"--fps", "--probe"});
  EXPECT_FALSE(options.probe);
  EXPECT_EQ(options.fps, 30);
}

TEST(ParseOptionsTest, RefusedCommandLines) {
  EXPECT_EQ(refusal({"--fps"}), "--fps needs a value");
  EXPECT_EQ(refusal({"--fps", "30", "--display"}), "--display needs a value");
  EXPECT_EQ(refusal({"--probe", "--verbose"}), "unknown option --verbose");
  EXPECT_EQ(refusal({"--FPS", "30"}), "unknown option --FPS");
  EXPECT_EQ(refusal({"--fps=30"}), "unknown option --fps=30");
  EXPECT_EQ(refusal({"-p"}), "unknown option -p");
  // All arguments are read before the mode counts.
  EXPECT_EQ(refusal({"--probe", "--max-width"}), "--max-width needs a value");
}

TEST(ParseIntegerTest, SignedSixtyFourBit) {
  EXPECT_EQ(parseInt64("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(parseInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(parseInt64("+42"), 42);
  EXPECT_EQ(parseInt64("-0"), 0);
  EXPECT_FALSE(parseInt64("-9223372036854775809"));
  EXPECT_FALSE(parseInt64("+"));
  EXPECT_FALSE(parseInt64("--1"));
  EXPECT_FALSE(parseInt64("1e3"));
  EXPECT_FALSE(parseInt64("99999999999999999999999"));
}

TEST(ParseIntegerTest, UnsignedThirtyTwoBit) {
  EXPECT_EQ(parseUInt32("0"), 0u);
  EXPECT_EQ(parseUInt32("-0"), 0u);
  EXPECT_EQ(parseUInt32("+1"), 1u);
  EXPECT_FALSE(parseUInt32("-1"));
  EXPECT_FALSE(parseUInt32("0x10"));
  EXPECT_FALSE(parseUInt32("18446744073709551617"));
}

TEST(ScaledSizeTest, FitsTheWidthAndKeepsEvenSides) {
  auto check = [](int64_t w, int64_t h, int64_t maxWidth, int64_t ew, int64_t eh) {
    const EncodedSize size = scaledSize(w, h, maxWidth);
    EXPECT_EQ(size.width, ew) << w << "x" << h << " max " << maxWidth;
    EXPECT_EQ(size.height, eh) << w << "x" << h << " max " << maxWidth;
  };
  check(2880, 1800, 1920, 1920, 1200);
  check(1366, 768, 1920, 1366, 768);
  check(2559, 1439, 1920, 1920, 1080);
  check(3024, 1964, 1920, 1920, 1246);  // 1246.98 -> 1247 -> even 1246
  check(1280, 720, 4000, 1280, 720);    // never enlarged
  check(1281, 721, 1920, 1280, 720);    // odd sides round down to even
  check(2880, 1800, 0, 2, 2);
  check(2880, 1800, -5, 2, 2);
  check(2880, 1800, 1, 2, 2);
  check(0, 1080, 1920, 2, 2);
  check(1920, -1, 1920, 2, 2);
  check(5, 3, 1920, 4, 2);
  // A bound far below zero scales a side to a value no 64-bit integer holds: still 2 x 2.
  check(100, 5000, std::numeric_limits<int64_t>::min(), 2, 2);
  check(3, 3'000'000'000, -9'000'000'000'000'000'000, 2, 2);
}

TEST(ProbeLineTest, ExactText) {
  EXPECT_EQ(probeLine({{1, 2880, 1800, true}}),
            "{\"displays\":[{\"id\":1,\"width\":2880,\"height\":1800,\"primary\":true}]}\n");
  EXPECT_EQ(probeLine({{69733248, 3024, 1964, false}, {1, 1920, 1080, true}}),
            "{\"displays\":[{\"id\":69733248,\"width\":3024,\"height\":1964,\"primary\":false},"
            "{\"id\":1,\"width\":1920,\"height\":1080,\"primary\":true}]}\n");
}

TEST(PixelSizeTest, ModeSizeWhenUsableElsePoints) {
  int64_t w = 0, h = 0;
  pixelSize({1, 1512, 982, 3024, 1964}, w, h);
  EXPECT_EQ(w, 3024);
  EXPECT_EQ(h, 1964);
  pixelSize({1, 1512, 982, std::nullopt, std::nullopt}, w, h);
  EXPECT_EQ(w, 1512);
  EXPECT_EQ(h, 982);
  pixelSize({1, 1512, 982, 3024, 0}, w, h);
  EXPECT_EQ(w, 1512);
  EXPECT_EQ(h, 982);
}

TEST(NoteTest, OneLineWithPrefix) {
  EXPECT_EQ(kNotePrefix.size(), 25u);
  EXPECT_EQ(noteLine("--fps needs a value"), "vornakel-screen-capture: --fps needs a value\n");
  // An argument quoted in a note cannot forge a second line, nor hide text behind a return.
  EXPECT_EQ(noteLine(std::string("unknown option --x\nvornakel-screen-capture: ok\r\x7f\0", 49)),
            "vornakel-screen-capture: unknown option --x\\x0Avornakel-screen-capture: ok\\x0D"
            "\\x7F\\x00\n");
  EXPECT_EQ(noteLine("caf\xC3\xA9 \t"), "vornakel-screen-capture: caf\xC3\xA9 \\x09\n");
}

TEST(NoteTest, WritesTheWholeLineInOneWrite) {
  // Every write on a datagram socket is one datagram, so a line written in pieces would arrive as
  // several.
  int ends[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_DGRAM, 0, ends), 0);
  const std::string text = "the screen stream stopped: " + std::string(400, 'x');
  note(ends[0], text);
  note(ends[0], "second");

  char received[1024];
  EXPECT_EQ(recv(ends[1], received, sizeof received, MSG_DONTWAIT),
            static_cast<ssize_t>(noteLine(text).size()));
  EXPECT_EQ(std::string(received, noteLine(text).size()), noteLine(text));
  const ssize_t second = recv(ends[1], received, sizeof received, MSG_DONTWAIT);
  ASSERT_GT(second, 0);
  EXPECT_EQ(std::string(received, static_cast<size_t>(second)), noteLine("second"));
  EXPECT_EQ(recv(ends[1], received, sizeof received, MSG_DONTWAIT), -1);
  close(ends[0]);
  close(ends[1]);
}

}  // namespace
}  // namespace vornakel::capture
