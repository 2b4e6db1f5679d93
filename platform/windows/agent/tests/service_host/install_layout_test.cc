#include "service_host/install_layout.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "common/utf16.h"

namespace vornakel {
namespace {

std::string utf8(const std::u16string& text) { return utf16_to_utf8_lossy(text); }

// A machine with a full, protected installation unless a test changes it. Every read is logged so
// that tests can assert the order of the checks and that nothing was read after a failure.
class FakeInstall : public InstallEnvironment {
 public:
  std::map<std::u16string, std::u16string> variables = {{u"ProgramFiles", u"C:\\Program Files"},
                                                        {u"ProgramData", u"C:\\ProgramData"}};
  std::map<std::string, Error> check_failures;  // path -> error of its protection check
  std::string config = R"({"schemaVersion":1,"version":"1.4.12"})";
  std::optional<uint64_t> reported_size;  // metadata size when it differs from the contents
  std::optional<Error> size_failure;
  std::optional<Error> read_failure;
  mutable std::vector<std::string> log;

  std::optional<std::u16string> variable(std::u16string_view name) const override {
    log.push_back("env " + utf8(std::u16string(name)));
    auto it = variables.find(std::u16string(name));
    if (it == variables.end()) return std::nullopt;
    return it->second;
  }
  Status check_protected_path(const std::u16string& path, bool private_mode) const override {
    log.push_back((private_mode ? "private " : "shared ") + utf8(path));
    auto it = check_failures.find(utf8(path));
    if (it != check_failures.end()) return it->second;
    return Ok();
  }
  Result<uint64_t> file_size(const std::u16string& path) const override {
    log.push_back("size " + utf8(path));
    if (size_failure) return *size_failure;
    return reported_size.value_or(config.size());
  }
  Result<std::string> read_file(const std::u16string& path, size_t limit) const override {
    log.push_back("read " + utf8(path) + " " + std::to_string(limit));
    if (read_failure) return *read_failure;
    return config.substr(0, limit + 1);
  }
};

const char kConfig[] = "C:\\ProgramData\\Vornakel Connect\\private\\service.json";

TEST(JoinPath, OneBackslashUnlessTheDirectoryEndsInASeparator) {
  EXPECT_EQ(join_path(u"C:\\Program Files", u"Vornakel Connect"),
            u"C:\\Program Files\\Vornakel Connect");
  EXPECT_EQ(join_path(u"C:\\", u"x"), u"C:\\x");
  EXPECT_EQ(join_path(u"D:/data/", u"x"), u"D:/data/x");
  EXPECT_EQ(join_path(u"v", u"runtime/node.exe"), u"v\\runtime/node.exe");
  // An empty directory is not a separator-terminated one: the result is rooted, never relative
  // to the current directory.
  EXPECT_EQ(join_path(u"", u"x"), u"\\x");
}

TEST(ValidateInstall, ChecksEveryPathInOrderAndReturnsTheLayout) {
  FakeInstall install;
  Result<InstallLayout> layout = validate_install(install);
  ASSERT_TRUE(layout.ok()) << layout.error().text();
  EXPECT_EQ(layout.value().version_dir, u"C:\\Program Files\\Vornakel Connect\\versions\\1.4.12");
  EXPECT_EQ(layout.value().private_dir, u"C:\\ProgramData\\Vornakel Connect\\private");
  const std::string v = "C:\\Program Files\\Vornakel Connect\\versions\\1.4.12";
  const std::vector<std::string> expected = {
      "env ProgramFiles",
      "env ProgramData",
      "shared C:\\Program Files\\Vornakel Connect",
      "shared C:\\ProgramData\\Vornakel Connect",
      "private C:\\ProgramData\\Vornakel Connect\\private",
      std::string("private ") + kConfig,
      std::string("size ") + kConfig,
      std::string("read ") + kConfig + " 1024",
      "shared C:\\Program Files\\Vornakel Connect\\versions",
      "shared " + v,
      "shared " + v + "\\runtime",
      "shared " + v + "\\runtime/node.exe",
      "shared " + v + "\\agent",
      "shared " + v + "\\agent/dist",
      "shared " + v + "\\agent/dist/headlessHost.js",
      "shared " + v + "\\agent/dist/windowsServiceBootstrap.js",
      "private C:\\ProgramData\\Vornakel Connect\\private\\state",
      "private C:\\ProgramData\\Vornakel Connect\\private\\tmp",
  };
  EXPECT_EQ(install.log, expected);
}

TEST(ValidateInstall, MissingEnvironmentVariablesAreNamed) {
  FakeInstall no_files;
  no_files.variables.erase(u"ProgramFiles");
  no_files.variables.erase(u"ProgramData");
  EXPECT_EQ(validate_install(no_files).error(), Error::message("Program Files is unavailable"));
  EXPECT_EQ(no_files.log.size(), 1u);

  FakeInstall no_data;
  no_data.variables.erase(u"ProgramData");
  EXPECT_EQ(validate_install(no_data).error(), Error::message("ProgramData is unavailable"));
  EXPECT_EQ(no_data.log.size(), 2u);
}

TEST(ValidateInstall, AnySetValueIsUsedAsGiven) {
  FakeInstall install;
  install.variables[u"ProgramFiles"] = u"E:\\Apps\\";
  install.variables[u"ProgramData"] = std::u16string(u"D:\\Data") + char16_t(0xD800);
  Result<InstallLayout> layout = validate_install(install);
  ASSERT_TRUE(layout.ok());
  EXPECT_EQ(layout.value().version_dir, u"E:\\Apps\\Vornakel Connect\\versions\\1.4.12");
  EXPECT_EQ(layout.value().private_dir,
            std::u16string(u"D:\\Data") + char16_t(0xD800) + u"\\Vornakel Connect\\private");

  // Set but empty is still "set": the roots hang off the root of the current drive.
  FakeInstall empty;
  empty.variables[u"ProgramFiles"] = u"";
  empty.variables[u"ProgramData"] = u"";
  Result<InstallLayout> rooted = validate_install(empty);
  ASSERT_TRUE(rooted.ok());
  EXPECT_EQ(rooted.value().version_dir, u"\\Vornakel Connect\\versions\\1.4.12");
  EXPECT_EQ(rooted.value().private_dir, u"\\Vornakel Connect\\private");
  EXPECT_EQ(empty.log.at(2), "shared \\Vornakel Connect");
}

TEST(ValidateInstall, FirstFailingCheckEndsValidation) {
  FakeInstall install;
  install.check_failures.emplace(
      "C:\\ProgramData\\Vornakel Connect\\private",
      Error::message("An unprivileged account can access protected host state"));
  EXPECT_EQ(validate_install(install).error().text(),
            "An unprivileged account can access protected host state");
  EXPECT_EQ(install.log.back(), "private C:\\ProgramData\\Vornakel Connect\\private");

  FakeInstall missing_host;
  const std::string host =
      "C:\\Program Files\\Vornakel Connect\\versions\\1.4.12\\agent/dist/headlessHost.js";
  missing_host.check_failures.emplace(host, Error::file_system(2));
  EXPECT_EQ(validate_install(missing_host).error(), Error::file_system(2));
  EXPECT_EQ(missing_host.log.back(), "shared " + host);
}

TEST(ValidateInstall, AgentFoldersThatAUserMayHaveMadeFirstAreJudgedToo) {
  for (const char* folder : {"state", "tmp"}) {
    FakeInstall planted;
    const std::string path = std::string("C:\\ProgramData\\Vornakel Connect\\private\\") + folder;
    planted.check_failures.emplace(
        path, Error::message("A protected installation path is a reparse point"));
    EXPECT_EQ(validate_install(planted).error().text(),
              "A protected installation path is a reparse point");
    EXPECT_EQ(planted.log.back(), "private " + path);
  }
}

TEST(ValidateInstall, ConfigurationBoundIsCheckedBeforeReading) {
  FakeInstall at_limit;
  at_limit.config = R"({"schemaVersion":1,"version":"1.0.0"})";
  at_limit.config.append(1024 - at_limit.config.size(), ' ');
  ASSERT_EQ(at_limit.config.size(), 1024u);
  EXPECT_TRUE(validate_install(at_limit).ok());

  FakeInstall over = at_limit;
  over.config.push_back(' ');
  over.log.clear();
  EXPECT_EQ(validate_install(over).error(),
            Error::message("Service configuration exceeds its bound"));
  EXPECT_EQ(over.log.back(), std::string("size ") + kConfig);
}

TEST(ValidateInstall, ConfigurationThatGrewAfterItsSizeWasTakenIsRefused) {
  FakeInstall install;
  install.reported_size = 10;
  install.config.append(2000, ' ');
  EXPECT_EQ(validate_install(install).error(),
            Error::message("Service configuration exceeds its bound"));
}

TEST(ValidateInstall, FileErrorsOfMetadataAndReadPassThrough) {
  FakeInstall no_size;
  no_size.size_failure = Error::file_system(2);
  EXPECT_EQ(validate_install(no_size).error(), Error::file_system(2));
  FakeInstall no_read;
  no_read.read_failure = Error::file_system(32);
  EXPECT_EQ(validate_install(no_read).error(), Error::file_system(32));
}

TEST(ValidateInstall, ConfigurationErrorsStopBeforeAnyVersionPathIsFormed) {
  const std::pair<const char*, Error> cases[] = {
      {R"({"schemaVersion":2,"version":"1.0.0"})",
       Error::message("Invalid installed service version")},
      {R"({"schemaVersion":1,"version":"..\\..\\..\\Users\\Public"})",
       Error::message("Invalid installed service version")},
      {R"({"schemaVersion":1,"version":"1.0.0/../../x"})",
       Error::message("Invalid installed service version")},
  };
  for (const auto& [config, error] : cases) {
    FakeInstall install;
    install.config = config;
    EXPECT_EQ(validate_install(install).error(), error) << config;
    EXPECT_EQ(install.log.back().rfind("read ", 0), 0u) << config;
  }
  FakeInstall unknown_member;
  unknown_member.config = R"({"schemaVersion":1,"version":"1.0.0","x":1})";
  EXPECT_EQ(validate_install(unknown_member).error().kind(), ErrorKind::kJson);
}

TEST(ValidateInstall, DevelopmentVersionSelectsItsOwnDirectory) {
  FakeInstall install;
  install.config = R"([1,"1.0.0-development"])";
  Result<InstallLayout> layout = validate_install(install);
  ASSERT_TRUE(layout.ok());
  EXPECT_EQ(layout.value().version_dir,
            u"C:\\Program Files\\Vornakel Connect\\versions\\1.0.0-development");
}

}  // namespace
}  // namespace vornakel
