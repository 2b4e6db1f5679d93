#include "service_host/agent_environment.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "common/utf16.h"

namespace vornakel {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

// Name lookups are case-insensitive, as on Windows.
class FakeEnvironment : public EnvironmentReader {
 public:
  std::map<std::u16string, std::u16string> variables;

  std::optional<std::u16string> get(std::u16string_view name) const override {
    for (const auto& [key, value] : variables) {
      if (upper(key) == upper(std::u16string(name))) return value;
    }
    return std::nullopt;
  }

  static std::u16string upper(std::u16string text) {
    for (char16_t& c : text) {
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    }
    return text;
  }
};

constexpr char16_t kVersionDir[] = u"C:\\Program Files\\Vornakel Connect\\versions\\1.2.3";
constexpr char16_t kPrivateDir[] = u"C:\\ProgramData\\Vornakel Connect\\private";

FakeEnvironment typical_service_environment() {
  FakeEnvironment environment;
  environment.variables = {{u"SystemRoot", u"C:\\WINDOWS"},
                           {u"windir", u"C:\\WINDOWS"},
                           {u"ProgramFiles", u"C:\\Program Files"},
                           {u"ProgramData", u"C:\\ProgramData"},
                           {u"ComSpec", u"C:\\WINDOWS\\system32\\cmd.exe"},
                           {u"SystemDrive", u"C:"},
                           {u"COMPUTERNAME", u"DESK-1"},
                           {u"USERNAME", u"SYSTEM"},
                           {u"USERPROFILE", u"C:\\WINDOWS\\system32\\config\\systemprofile"},
                           {u"APPDATA", u"C:\\Users\\x"},
                           {u"NODE_OPTIONS", u"--require evil.js"},
                           {u"Path", u"C:\\evil"},
                           {u"TEMP", u"C:\\WINDOWS\\TEMP"}};
  return environment;
}

TEST(AgentEnvironment, HoldsExactlyTheAllowListInKeyOrder) {
  const AgentEnvironment environment =
      collect_agent_environment(typical_service_environment(), kVersionDir, kPrivateDir);
  EXPECT_THAT(
      environment.entries(),
      ElementsAre(
          Pair("COMPUTERNAME", u"DESK-1"), Pair("COMSPEC", u"C:\\WINDOWS\\system32\\cmd.exe"),
          Pair("PATH",
               u"C:\\Program Files\\Vornakel Connect\\versions\\1.2.3\\runtime;"
               u"C:\\WINDOWS\\System32;C:\\WINDOWS\\System32\\WindowsPowerShell\\v1.0"),
          Pair("PROGRAMDATA", u"C:\\ProgramData"), Pair("PROGRAMFILES", u"C:\\Program Files"),
          Pair("SYSTEMDRIVE", u"C:"), Pair("SYSTEMROOT", u"C:\\WINDOWS"),
          Pair("TEMP", u"C:\\ProgramData\\Vornakel Connect\\private\\tmp"),
          Pair("TMP", u"C:\\ProgramData\\Vornakel Connect\\private\\tmp"),
          Pair("VORNAKEL_MEDIA_ENGINE", u"werift"),
          Pair("VORNAKEL_SERVICE_STATE_DIR", u"C:\\ProgramData\\Vornakel Connect\\private\\state"),
          Pair("VORNAKEL_WINDOWS_SERVICE", u"1"), Pair("WINDIR", u"C:\\WINDOWS")));
}

TEST(AgentEnvironment, SerialisesEntriesWithADoubleTerminator) {
  FakeEnvironment environment;
  environment.variables = {{u"SystemDrive", u"D:"}};
  const std::u16string block = build_agent_environment(environment, u"V", u"P\\");
  const std::u16string expected =
      std::u16string(
          u"PATH=V\\runtime;C:\\Windows\\System32;C:\\Windows\\System32\\"
          u"WindowsPowerShell\\v1.0") +
      u'\0' + u"SYSTEMDRIVE=D:" + u'\0' + u"TEMP=P\\tmp" + u'\0' + u"TMP=P\\tmp" + u'\0' +
      u"VORNAKEL_MEDIA_ENGINE=werift" + u'\0' + u"VORNAKEL_SERVICE_STATE_DIR=P\\state" + u'\0' +
      u"VORNAKEL_WINDOWS_SERVICE=1" + u'\0' + u'\0';
  EXPECT_EQ(block, expected);
}

TEST(AgentEnvironment, MissingSystemRootFallsBackWithoutAnEntry) {
  FakeEnvironment environment = typical_service_environment();
  environment.variables.erase(u"SystemRoot");
  const AgentEnvironment built = collect_agent_environment(environment, kVersionDir, kPrivateDir);
  EXPECT_EQ(built.entries().count("SYSTEMROOT"), 0u);
  EXPECT_EQ(built.entries().at("PATH"),
            u"C:\\Program Files\\Vornakel Connect\\versions\\1.2.3\\runtime;C:\\Windows\\System32;"
            u"C:\\Windows\\System32\\WindowsPowerShell\\v1.0");
  EXPECT_EQ(built.entries().at("WINDIR"), u"C:\\WINDOWS");
}

TEST(AgentEnvironment, ValuesThatAreNotValidUnicodeAreLeftOut) {
  FakeEnvironment environment = typical_service_environment();
  environment.variables[u"SystemRoot"] = std::u16string{u'C', u':', char16_t(0xDC00)};
  environment.variables[u"COMPUTERNAME"] = std::u16string{char16_t(0xD83D)};
  const AgentEnvironment built = collect_agent_environment(environment, kVersionDir, kPrivateDir);
  EXPECT_EQ(built.entries().count("SYSTEMROOT"), 0u);
  EXPECT_EQ(built.entries().count("COMPUTERNAME"), 0u);
  EXPECT_NE(built.entries().at("PATH").find(u";C:\\Windows\\System32;"), std::u16string::npos);
}

TEST(AgentEnvironment, UnpairedSurrogatesInInstallationPathsBecomeReplacementCharacters) {
  const std::u16string version_dir{u'V', char16_t(0xD800)};
  const AgentEnvironment built = collect_agent_environment(FakeEnvironment(), version_dir, u"P");
  EXPECT_EQ(built.entries().at("PATH").substr(0, 11), u"V\uFFFD\\runtime;");
}

TEST(AgentEnvironment, InsertReplacesAnExistingKey) {
  AgentEnvironment environment;
  environment.insert("B", u"1");
  environment.insert("A", u"2");
  environment.insert("B", u"3");
  EXPECT_EQ(environment.serialise(), std::u16string(u"A=2") + u'\0' + u"B=3" + u'\0' + u'\0');
}

// Whatever the service's environment holds, nothing outside the allow-list reaches the agent and
// every allowed entry carries the service's value or the installation's.
TEST(AgentEnvironment, NeverLeaksVariablesOutsideTheAllowList) {
  const std::set<std::string> allowed = {"COMPUTERNAME",
                                         "COMSPEC",
                                         "PATH",
                                         "PROGRAMDATA",
                                         "PROGRAMFILES",
                                         "SYSTEMDRIVE",
                                         "SYSTEMROOT",
                                         "TEMP",
                                         "TMP",
                                         "VORNAKEL_MEDIA_ENGINE",
                                         "VORNAKEL_SERVICE_STATE_DIR",
                                         "VORNAKEL_WINDOWS_SERVICE",
                                         "WINDIR"};
  const std::vector<std::u16string> names = {u"SystemRoot",
                                             u"WINDIR",
                                             u"ProgramFiles",
                                             u"ProgramData",
                                             u"COMSPEC",
                                             u"SystemDrive",
                                             u"COMPUTERNAME",
                                             u"PATH",
                                             u"TEMP",
                                             u"TMP",
                                             u"USERNAME",
                                             u"USERPROFILE",
                                             u"APPDATA",
                                             u"LOCALAPPDATA",
                                             u"NODE_OPTIONS",
                                             u"NODE_PATH",
                                             u"VORNAKEL_WINDOWS_SERVICE",
                                             u"VORNAKEL_MEDIA_ENGINE",
                                             u"HTTP_PROXY",
                                             u"PATHEXT",
                                             u"=C:",
                                             u"SYSTEMROOTX"};
  std::mt19937 random(20261207);
  for (int round = 0; round < 500; ++round) {
    FakeEnvironment environment;
    for (const std::u16string& name : names) {
      if (random() % 2 == 0) continue;
      std::u16string value = u"value-";
      value.push_back(static_cast<char16_t>(u'a' + random() % 26));
      environment.variables[name] = value;
    }
    const AgentEnvironment built = collect_agent_environment(environment, u"V", u"P");
    for (const auto& [key, value] : built.entries()) {
      EXPECT_EQ(allowed.count(key), 1u) << key;
    }
    EXPECT_EQ(built.entries().at("VORNAKEL_WINDOWS_SERVICE"), u"1");
    EXPECT_EQ(built.entries().at("VORNAKEL_MEDIA_ENGINE"), u"werift");
    EXPECT_EQ(built.entries().at("TEMP"), u"P\\tmp");
    EXPECT_EQ(built.entries().at("PATH").substr(0, 10), u"V\\runtime;");
    if (environment.get(u"COMSPEC")) {
      EXPECT_EQ(built.entries().at("COMSPEC"), *environment.get(u"COMSPEC"));
    } else {
      EXPECT_EQ(built.entries().count("COMSPEC"), 0u);
    }
  }
}

}  // namespace
}  // namespace vornakel
