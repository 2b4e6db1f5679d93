#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "native_protocol/command.h"

namespace vornakel::native_protocol {
namespace {

// The parsed body when it is of variant T.
template <typename T>
std::optional<T> body_as(const std::optional<Command>& command) {
  if (!command || !std::holds_alternative<T>(command->body)) return std::nullopt;
  return std::get<T>(command->body);
}

std::optional<ControlMessage> message_of(const std::string& line) {
  std::optional<Command> command = parse_command(line);
  const auto control = body_as<Command::Control>(command);
  if (!control) return std::nullopt;
  return control->message;
}

std::string control_line(const std::string& message_members) {
  return R"({"type":"control","message":{)" + message_members + "}}\n";
}

TEST(CommandParseTest, ParsesEveryHostCommand) {
  EXPECT_TRUE(body_as<Command::Close>(parse_command("{\"type\":\"close\"}\n")));

  const auto relative =
      body_as<Command::Relative>(parse_command(R"({"type":"relative","dx":-5,"dy":7})"));
  ASSERT_TRUE(relative);
  EXPECT_EQ(relative->dx, -5);
  EXPECT_EQ(relative->dy, 7);

  const auto display = body_as<Command::Display>(parse_command(
      R"({"type":"display","id":"DISPLAY2","x":-1920,"y":0,"width":1920,"height":1080})"));
  ASSERT_TRUE(display);
  EXPECT_EQ(display->id, "DISPLAY2");
  EXPECT_EQ(display->x, -1920);
  EXPECT_EQ(display->y, 0);
  EXPECT_EQ(display->width, 1920u);
  EXPECT_EQ(display->height, 1080u);

  const auto carry = body_as<Command::Carry>(
      parse_command(R"({"type":"carry","expiresAtUnixS":18446744073709551615})"));
  ASSERT_TRUE(carry);
  EXPECT_EQ(carry->expires_at_unix_s, std::numeric_limits<uint64_t>::max());
}

TEST(CommandParseTest, ParsesEveryControlMessage) {
  auto pointer =
      message_of(control_line(R"("type":"pointer","v":1,"seq":0,"x":0.25,"y":0.75,"buttons":31)"));
  ASSERT_TRUE(pointer);
  EXPECT_EQ(pointer->v, 1u);
  EXPECT_EQ(pointer->seq, 0u);
  const auto& p = std::get<ControlMessage::Pointer>(pointer->body);
  EXPECT_EQ(p.x, 0.25f);
  EXPECT_EQ(p.y, 0.75f);
  EXPECT_EQ(p.buttons, 31);

  auto scroll = message_of(
      control_line(R"("type":"scroll","v":1,"seq":4294967295,"horizontal":-3,"vertical":2)"));
  ASSERT_TRUE(scroll);
  EXPECT_EQ(scroll->seq, 4294967295u);
  EXPECT_EQ(std::get<ControlMessage::Scroll>(scroll->body).horizontal, -3);
  EXPECT_EQ(std::get<ControlMessage::Scroll>(scroll->body).vertical, 2);

  auto key = message_of(control_line(
      R"("type":"key-transition","v":1,"seq":2,"code":"KeyA","down":true,"modifiers":9)"));
  ASSERT_TRUE(key);
  const auto& k = std::get<ControlMessage::KeyTransition>(key->body);
  EXPECT_EQ(k.code, "KeyA");
  EXPECT_TRUE(k.down);
  EXPECT_EQ(k.modifiers, 9);

  auto pause = message_of(control_line(R"("type":"pause-input","v":1,"seq":3,"paused":false)"));
  ASSERT_TRUE(pause);
  EXPECT_FALSE(std::get<ControlMessage::PauseInput>(pause->body).paused);

  auto release = message_of(control_line(R"("type":"release-all","v":1,"seq":5)"));
  ASSERT_TRUE(release);
  EXPECT_TRUE(std::holds_alternative<ControlMessage::ReleaseAll>(release->body));

  auto stop = message_of(control_line(R"("v":2,"seq":6,"type":"stop")"));
  ASSERT_TRUE(stop);
  EXPECT_EQ(stop->v, 2u);  // the version is checked by the translation, not the parse
  EXPECT_TRUE(std::holds_alternative<ControlMessage::Stop>(stop->body));
}

TEST(CommandParseTest, TagMayStandAnywhere) {
  EXPECT_TRUE(body_as<Command::Relative>(parse_command(R"({"dx":1,"dy":2,"type":"relative"})")));
  EXPECT_TRUE(body_as<Command::Control>(
      parse_command(R"({"message":{"seq":1,"type":"release-all","v":1},"type":"control"})")));
}

TEST(CommandParseTest, TagsAreExactAndRequired) {
  EXPECT_FALSE(parse_command(R"({"type":"Close"})"));
  EXPECT_FALSE(parse_command(R"({"type":"close "})"));
  EXPECT_FALSE(parse_command(R"({"type":"quit"})"));
  EXPECT_FALSE(parse_command(R"({})"));
  EXPECT_FALSE(parse_command(R"({"dx":1,"dy":2})"));
  EXPECT_FALSE(parse_command(R"({"type":1})"));
  EXPECT_FALSE(parse_command(R"({"type":null})"));
  EXPECT_FALSE(
      parse_command(control_line(R"("type":"Pointer","v":1,"seq":1,"x":0,"y":0,"buttons":0)")));
  EXPECT_FALSE(parse_command(control_line(R"("v":1,"seq":1)")));
  // A control message's tag is not a command's, nor the reverse.
  EXPECT_FALSE(parse_command(R"({"type":"stop"})"));
  EXPECT_FALSE(parse_command(control_line(R"("type":"close","v":1,"seq":1)")));
}

TEST(CommandParseTest, MembersAreRequiredExactlyOnceAndNothingElse) {
  EXPECT_FALSE(parse_command(R"({"type":"relative","dx":1})"));
  EXPECT_FALSE(parse_command(R"({"type":"relative","dx":1,"dy":2,"dz":3})"));
  EXPECT_FALSE(parse_command(R"({"type":"relative","dx":1,"dy":2,"x":3})"));
  EXPECT_FALSE(parse_command(R"({"type":"relative","dx":1,"dx":1,"dy":2})"));
  EXPECT_FALSE(parse_command(R"({"type":"close","type":"close"})"));
  EXPECT_FALSE(parse_command(R"({"type":"display","id":"A1","x":0,"y":0,"width":2})"));
  EXPECT_FALSE(parse_command(R"({"type":"carry"})"));
  EXPECT_FALSE(parse_command(R"({"type":"control"})"));
  EXPECT_FALSE(
      parse_command(R"({"type":"control","message":{"type":"stop","v":1,"seq":1},"extra":1})"));
  EXPECT_FALSE(parse_command(
      R"({"type":"control","message":{"type":"stop","v":1,"seq":1},"message":{"type":"stop","v":1,"seq":1}})"));
  EXPECT_FALSE(parse_command(control_line(R"("type":"stop","v":1)")));
  EXPECT_FALSE(parse_command(control_line(R"("type":"stop","v":1,"seq":1,"seq":2)")));
  EXPECT_FALSE(parse_command(control_line(R"("type":"stop","v":1,"seq":1,"paused":true)")));
  EXPECT_FALSE(parse_command(control_line(R"("type":"release-all","v":1,"seq":1,"reason":"x")")));
  EXPECT_FALSE(parse_command(control_line(R"("type":"pointer","v":1,"seq":1,"x":0,"y":0)")));
  EXPECT_FALSE(parse_command(
      control_line(R"("type":"pointer","v":1,"seq":1,"x":0,"y":0,"buttons":0,"code":"KeyA")")));
  // Members of another variant are as unknown as any other name.
  EXPECT_FALSE(parse_command(R"({"type":"carry","expiresAtUnixS":5,"dx":1})"));
  EXPECT_FALSE(parse_command(
      R"({"type":"relative","dx":1,"dy":2,"message":{"type":"stop","v":1,"seq":1}})"));
}

TEST(CommandParseTest, CloseCarriesNothingButItsTag) {
  EXPECT_TRUE(parse_command(R"({"type":"close"})"));
  EXPECT_FALSE(parse_command(R"({"type":"close","reason":"done"})"));
  EXPECT_FALSE(parse_command(R"({"type":"close","dx":1})"));
}

TEST(CommandParseTest, IntegersMustBeExactAndInsideTheirType) {
  EXPECT_TRUE(parse_command(R"({"type":"relative","dx":-2147483648,"dy":2147483647})"));
  EXPECT_FALSE(parse_command(R"({"type":"relative","dx":2147483648,"dy":0})"));
  EXPECT_FALSE(parse_command(R"({"type":"relative","dx":-2147483649,"dy":0})"));
  EXPECT_FALSE(parse_command(R"({"type":"relative","dx":1.0,"dy":0})"));
  EXPECT_FALSE(parse_command(R"({"type":"relative","dx":1e2,"dy":0})"));
  EXPECT_FALSE(parse_command(R"({"type":"relative","dx":"1","dy":0})"));
  EXPECT_FALSE(parse_command(R"({"type":"relative","dx":-0.0,"dy":0})"));
  EXPECT_FALSE(parse_command(R"({"type":"display","id":"A1","x":0,"y":0,"width":-1,"height":2})"));
  EXPECT_TRUE(
      parse_command(R"({"type":"display","id":"A1","x":0,"y":0,"width":4294967295,"height":2})"));
  EXPECT_FALSE(
      parse_command(R"({"type":"display","id":"A1","x":0,"y":0,"width":4294967296,"height":2})"));
  EXPECT_FALSE(parse_command(R"({"type":"carry","expiresAtUnixS":18446744073709551616})"));
  EXPECT_FALSE(parse_command(R"({"type":"carry","expiresAtUnixS":-1})"));
  EXPECT_FALSE(parse_command(control_line(R"("type":"stop","v":1,"seq":-1)")));
  EXPECT_FALSE(parse_command(control_line(R"("type":"stop","v":4294967296,"seq":1)")));
  EXPECT_TRUE(
      parse_command(control_line(R"("type":"pointer","v":1,"seq":1,"x":0,"y":0,"buttons":255)")));
  EXPECT_FALSE(
      parse_command(control_line(R"("type":"pointer","v":1,"seq":1,"x":0,"y":0,"buttons":256)")));
  // "-0" is the JSON integer zero: inside every unsigned type, unlike "-0.0" (a fraction).
  EXPECT_TRUE(
      parse_command(control_line(R"("type":"pointer","v":1,"seq":1,"x":0,"y":0,"buttons":-0)")));
  EXPECT_FALSE(parse_command(control_line(
      R"("type":"key-transition","v":1,"seq":1,"code":"KeyA","down":true,"modifiers":-1)")));
}

TEST(CommandParseTest, FloatsTakeAnyNumberRoundedOnceToFloat) {
  auto integers =
      message_of(control_line(R"("type":"pointer","v":1,"seq":1,"x":1,"y":0,"buttons":0)"));
  ASSERT_TRUE(integers);
  EXPECT_EQ(std::get<ControlMessage::Pointer>(integers->body).x, 1.0f);
  EXPECT_EQ(std::get<ControlMessage::Pointer>(integers->body).y, 0.0f);

  auto tenth =
      message_of(control_line(R"("type":"pointer","v":1,"seq":1,"x":0.1,"y":5E-1,"buttons":0)"));
  ASSERT_TRUE(tenth);
  EXPECT_EQ(std::get<ControlMessage::Pointer>(tenth->body).x, 0.1f);
  EXPECT_EQ(std::get<ControlMessage::Pointer>(tenth->body).y, 0.5f);

  // Just above the midpoint between 1 and the next float: rounding through a double would land
  // exactly on the midpoint and then go down to 1.
  auto above_midpoint = message_of(control_line(
      R"("type":"pointer","v":1,"seq":1,"x":1.000000059604644775390625000001,"y":0,"buttons":0)"));
  ASSERT_TRUE(above_midpoint);
  EXPECT_EQ(std::get<ControlMessage::Pointer>(above_midpoint->body).x, std::nextafter(1.0f, 2.0f));

  // Beyond float range: infinite, left for the range check to refuse.
  auto huge =
      message_of(control_line(R"("type":"pointer","v":1,"seq":1,"x":1e39,"y":-1e39,"buttons":0)"));
  ASSERT_TRUE(huge);
  EXPECT_TRUE(std::isinf(std::get<ControlMessage::Pointer>(huge->body).x));
  EXPECT_LT(std::get<ControlMessage::Pointer>(huge->body).y, 0.0f);
  EXPECT_TRUE(std::isinf(std::get<ControlMessage::Pointer>(huge->body).y));

  auto tiny =
      message_of(control_line(R"("type":"pointer","v":1,"seq":1,"x":1e-60,"y":0,"buttons":0)"));
  ASSERT_TRUE(tiny);
  EXPECT_EQ(std::get<ControlMessage::Pointer>(tiny->body).x, 0.0f);

  EXPECT_FALSE(
      parse_command(control_line(R"("type":"pointer","v":1,"seq":1,"x":"0.5","y":0,"buttons":0)")));
  EXPECT_FALSE(
      parse_command(control_line(R"("type":"pointer","v":1,"seq":1,"x":null,"y":0,"buttons":0)")));
}

// The C locale switched to German (decimal comma) for the life of the object.
class CommaLocale {
 public:
  CommaLocale() {
#ifdef VORNAKEL_TEST_LOCALE_DIR
    ::setenv("LOCPATH", VORNAKEL_TEST_LOCALE_DIR, 1);
#endif
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de-DE"}) {
      if (std::setlocale(LC_ALL, name) != nullptr) break;
    }
  }
  ~CommaLocale() {
    std::setlocale(LC_ALL, "C");
#ifdef VORNAKEL_TEST_LOCALE_DIR
    ::unsetenv("LOCPATH");
#endif
  }
  bool active() const { return std::strcmp(std::localeconv()->decimal_point, ",") == 0; }
};

TEST(CommandParseTest, FloatsDoNotFollowTheCLocale) {
  // Under a comma locale the JSON parser writes a comma into the number's text; a coordinate read
  // as 0 there would put every click at the display's origin.
  const CommaLocale german;
  ASSERT_TRUE(german.active()) << "no locale with a decimal comma could be set";
  const struct {
    const char* x;
    float expected;
  } cases[] = {
      {"0.5", 0.5f},
      {"0.1", 0.1f},
      {"25e-2", 0.25f},
      {"1.000000059604644775390625000001", std::nextafter(1.0f, 2.0f)},
      {"1e-60", 0.0f},
      {"1e39", std::numeric_limits<float>::infinity()},
      {"-1e39", -std::numeric_limits<float>::infinity()},
  };
  for (const auto& [x, expected] : cases) {
    auto message = message_of(control_line(std::string(R"("type":"pointer","v":1,"seq":1,"x":)") +
                                           x + R"(,"y":0.75,"buttons":0)"));
    ASSERT_TRUE(message) << x;
    EXPECT_EQ(std::get<ControlMessage::Pointer>(message->body).x, expected) << x;
    EXPECT_EQ(std::get<ControlMessage::Pointer>(message->body).y, 0.75f) << x;
  }
  EXPECT_FALSE(
      parse_command(control_line(R"("type":"pointer","v":1,"seq":1,"x":0,5,"y":0,"buttons":0)")));
}

TEST(CommandParseTest, StringsAndBooleansKeepTheirJsonTypes) {
  EXPECT_FALSE(parse_command(control_line(
      R"("type":"key-transition","v":1,"seq":1,"code":"KeyA","down":1,"modifiers":0)")));
  EXPECT_FALSE(parse_command(control_line(
      R"("type":"key-transition","v":1,"seq":1,"code":"KeyA","down":"true","modifiers":0)")));
  EXPECT_FALSE(parse_command(control_line(
      R"("type":"key-transition","v":1,"seq":1,"code":65,"down":true,"modifiers":0)")));
  EXPECT_FALSE(parse_command(control_line(R"("type":"pause-input","v":1,"seq":1,"paused":null)")));
  auto escaped = message_of(control_line(
      R"("type":"key-transition","v":1,"seq":1,"code":"Key\u0041","down":false,"modifiers":0)"));
  ASSERT_TRUE(escaped);
  EXPECT_EQ(std::get<ControlMessage::KeyTransition>(escaped->body).code, "KeyA");
  EXPECT_FALSE(parse_command(
      "{\"type\":\"display\",\"id\":\"A\xff\",\"x\":0,\"y\":0,\"width\":2,\"height\":2}"));
}

TEST(CommandParseTest, OnlyOneObjectFollowedByJsonWhitespace) {
  EXPECT_TRUE(parse_command("  {\"type\":\"close\"} \t\r\n"));
  EXPECT_FALSE(parse_command("{\"type\":\"close\"}\n{\"type\":\"close\"}\n"));
  EXPECT_FALSE(parse_command("{\"type\":\"close\"}x"));
  EXPECT_FALSE(parse_command("{\"type\":\"close\"}\f"));
  EXPECT_FALSE(parse_command(std::string("{\"type\":\"close\"}\0", 17)));
  EXPECT_FALSE(parse_command("{\"type\":\"close\"}/**/"));
  EXPECT_FALSE(parse_command("\xEF\xBB\xBF{\"type\":\"close\"}\n"));
  EXPECT_FALSE(parse_command(""));
  EXPECT_FALSE(parse_command("\n"));
  EXPECT_FALSE(parse_command("{\"type\":\"close\""));
  EXPECT_FALSE(parse_command("\"close\""));
  EXPECT_FALSE(parse_command("[{\"type\":\"close\"}]"));
  EXPECT_FALSE(parse_command("null"));
}

TEST(CommandParseTest, RefusesNestingNoMemberCanHold) {
  EXPECT_FALSE(parse_command(R"({"type":"relative","dx":[1],"dy":2})"));
  EXPECT_FALSE(parse_command(R"({"type":"relative","dx":{},"dy":2})"));
  EXPECT_FALSE(parse_command(R"({"type":"control","message":[]})"));
  EXPECT_FALSE(parse_command(R"({"type":"control","message":"stop"})"));
  EXPECT_FALSE(parse_command(control_line(R"("type":"stop","v":1,"seq":{"n":1})")));
  // An object beside complete members, at either level: the rest would make a whole command.
  EXPECT_FALSE(parse_command(R"({"type":"relative","dx":1,"dy":2,"x":{}})"));
  EXPECT_FALSE(parse_command(control_line(R"("type":"stop","v":1,"seq":1,"paused":{})")));
  std::string deep = R"({"type":"control","message":)";
  for (int i = 0; i < 200; ++i) deep += "{\"type\":";
  deep += "1";
  for (int i = 0; i < 201; ++i) deep += "}";
  EXPECT_FALSE(parse_command(deep));
}

}  // namespace
}  // namespace vornakel::native_protocol
