// The package's security descriptors (security_descriptors.txt, embedded at build time) as Windows
// itself parses them, judged by the program's own owner and DACL rules; and the service's
// descriptor judged by the promise the package makes: nobody but LocalSystem and Administrators
// may start, stop, reconfigure, re-secure or send user-defined controls to the service.
#include <windows.h>
// After windows.h, which they depend on.
#include <sddl.h>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/win32/unique_handle.h"
#include "package_descriptors.h"
#include "service_host/protected_path.h"
#include "service_host/win32/protected_path_win32.h"

namespace vornakel::win32 {
namespace {

constexpr bool kShared = false;
constexpr bool kPrivate = true;
const std::string kPasses = "passes";
const std::string kUnprivileged = kUnprivilegedAccess;

// The same reading as build_msi.py: "<name> <SDDL>" lines, '#' comments, blank lines (a checkout
// on Windows may have turned the line ends into CR LF).
std::map<std::string, std::string> package_descriptors() {
  std::map<std::string, std::string> descriptors;
  std::istringstream lines(kPackageDescriptorsText);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const size_t blank = line.find(' ');
    EXPECT_NE(blank, std::string::npos) << line;
    if (blank == std::string::npos) continue;
    EXPECT_TRUE(descriptors.emplace(line.substr(0, blank), line.substr(blank + 1)).second) << line;
  }
  return descriptors;
}

const std::string& descriptor(const char* name) {
  static const std::map<std::string, std::string> descriptors = package_descriptors();
  static const std::string missing;
  const auto found = descriptors.find(name);
  return found == descriptors.end() ? missing : found->second;
}

struct ParsedDescriptor {
  UniqueLocal<PSECURITY_DESCRIPTOR> descriptor;
  PSID owner = nullptr;
  PACL dacl = nullptr;  // null for a null DACL
  SECURITY_DESCRIPTOR_CONTROL control = 0;
};

// Parsed by Windows' own SDDL parser; nullopt (and a test failure) when it refuses the text.
std::optional<ParsedDescriptor> parse(const std::string& sddl) {
  ParsedDescriptor parsed;
  const std::wstring wide(sddl.begin(), sddl.end());  // SDDL is ASCII
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
          wide.c_str(), SDDL_REVISION_1, parsed.descriptor.receive(), nullptr)) {
    ADD_FAILURE() << "Windows refuses the SDDL " << sddl << " (error " << ::GetLastError() << ")";
    return std::nullopt;
  }
  BOOL defaulted = FALSE;
  BOOL present = FALSE;
  DWORD revision = 0;
  EXPECT_TRUE(::GetSecurityDescriptorOwner(parsed.descriptor.get(), &parsed.owner, &defaulted));
  EXPECT_TRUE(
      ::GetSecurityDescriptorDacl(parsed.descriptor.get(), &present, &parsed.dacl, &defaulted));
  EXPECT_TRUE(::GetSecurityDescriptorControl(parsed.descriptor.get(), &parsed.control, &revision));
  if (!present) parsed.dacl = nullptr;
  return parsed;
}

std::string outcome(const Status& status) {
  return status.ok() ? kPasses : std::string(status.error().text());
}

// The program's verdict on a path carrying this descriptor: "passes" or the refusal's text.
std::string evaluate(const std::string& sddl, bool private_mode) {
  std::optional<ParsedDescriptor> parsed = parse(sddl);
  if (!parsed) return "unparsable";
  return outcome(evaluate_owner_and_dacl(parsed->owner, parsed->dacl, private_mode));
}

std::vector<const ACE_HEADER*> aces(PACL dacl) {
  std::vector<const ACE_HEADER*> entries;
  for (DWORD index = 0; dacl != nullptr && index < dacl->AceCount; ++index) {
    void* ace = nullptr;
    EXPECT_TRUE(::GetAce(dacl, index, &ace));
    if (ace != nullptr) entries.push_back(static_cast<const ACE_HEADER*>(ace));
  }
  return entries;
}

// Allowed and denied ACEs share this layout.
PSID ace_sid(const ACE_HEADER* ace) {
  return const_cast<DWORD*>(&reinterpret_cast<const ACCESS_ALLOWED_ACE*>(ace)->SidStart);
}
ACCESS_MASK ace_mask(const ACE_HEADER* ace) {
  return reinterpret_cast<const ACCESS_ALLOWED_ACE*>(ace)->Mask;
}

std::string sid_text(PSID sid) {
  LPWSTR text = nullptr;
  if (!::ConvertSidToStringSidW(sid, &text)) return "?";
  const UniqueLocal<LPWSTR> owned(text);
  std::string narrow;
  for (const wchar_t* c = text; *c != L'\0'; ++c) narrow += static_cast<char>(*c);  // ASCII
  return narrow;
}

bool is_privileged(PSID sid) {
  return ::IsWellKnownSid(sid, WinLocalSystemSid) ||
         ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

TEST(PackageDescriptors, FileNamesExactlyTheDescriptorsThePackageApplies) {
  std::vector<std::string> names;
  for (const auto& [name, sddl] : package_descriptors()) {
    names.push_back(name);
    EXPECT_TRUE(parse(sddl).has_value()) << name;
  }
  EXPECT_EQ(names, (std::vector<std::string>{"private-file", "private-folder", "service",
                                             "shared-file", "shared-folder"}));
}

TEST(PackageDescriptors, EachPathDescriptorPassesItsModeAndSharedOnesFailPrivate) {
  const struct {
    const char* name;
    bool private_mode;
    const std::string& expected;
  } cases[] = {
      {"shared-folder", kShared, kPasses},
      {"shared-file", kShared, kPasses},
      {"private-folder", kPrivate, kPasses},
      {"private-file", kPrivate, kPasses},
      {"private-folder", kShared, kPasses},
      {"private-file", kShared, kPasses},
      // Users may read program files, so these must never be put on a private path.
      {"shared-folder", kPrivate, kUnprivileged},
      {"shared-file", kPrivate, kUnprivileged},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(evaluate(descriptor(c.name), c.private_mode), c.expected)
        << c.name << " private=" << c.private_mode;
  }
}

// What a file gets when the service or the agent creates it in one of the package's folders (for
// example host-service.log in private): the folder's entries that files inherit.
std::string evaluate_inherited_by_new_file(const std::string& folder_sddl, bool private_mode) {
  std::optional<ParsedDescriptor> folder = parse(folder_sddl);
  if (!folder) return "unparsable";
  alignas(DWORD) BYTE storage[1024];
  auto* acl = reinterpret_cast<PACL>(storage);
  EXPECT_TRUE(::InitializeAcl(acl, sizeof storage, ACL_REVISION));
  for (const ACE_HEADER* ace : aces(folder->dacl)) {
    if ((ace->AceFlags & OBJECT_INHERIT_ACE) == 0) continue;
    EXPECT_TRUE(::AddAce(acl, ACL_REVISION, MAXDWORD, const_cast<ACE_HEADER*>(ace), ace->AceSize));
  }
  BYTE system[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof system;
  EXPECT_TRUE(::CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size));
  return outcome(evaluate_owner_and_dacl(system, acl, private_mode));
}

TEST(PackageDescriptors, PathDescriptorsInheritNothingAndFoldersProtectWhatIsCreatedInThem) {
  const struct {
    const char* name;
    bool folder;
    bool private_mode;
  } paths[] = {{"shared-folder", true, kShared},
               {"shared-file", false, kShared},
               {"private-folder", true, kPrivate},
               {"private-file", false, kPrivate}};
  for (const auto& path : paths) {
    std::optional<ParsedDescriptor> parsed = parse(descriptor(path.name));
    if (!parsed) continue;
    // Protected: nothing of Program Files' or ProgramData's own entries flows in.
    EXPECT_TRUE(parsed->control & SE_DACL_PROTECTED) << path.name;
    for (const ACE_HEADER* ace : aces(parsed->dacl)) {
      const BYTE inherit = ace->AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
      EXPECT_EQ(inherit, path.folder ? (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) : 0)
          << path.name;
      EXPECT_EQ(ace->AceFlags & INHERIT_ONLY_ACE, 0) << path.name;
    }
    if (path.folder) {
      EXPECT_EQ(evaluate_inherited_by_new_file(descriptor(path.name), path.private_mode), kPasses)
          << path.name;
    }
  }
}

constexpr char kTrustedInstaller[] =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

std::string program_files_child_folder(bool with_culprits) {
  // A folder an installer creates under Program Files without a descriptor of its own, as
  // icacls shows it on Windows 10 and 11: TrustedInstaller full control and CREATOR OWNER
  // (inherit-only GENERIC_ALL) are the entries the program refuses.
  const std::string ti = kTrustedInstaller;
  return "O:BAG:SYD:AI" +
         (with_culprits ? "(A;ID;FA;;;" + ti + ")(A;CIIOID;GA;;;" + ti + ")" : std::string()) +
         "(A;ID;FA;;;SY)(A;OICIIOID;GA;;;SY)(A;ID;FA;;;BA)(A;OICIIOID;GA;;;BA)"
         "(A;ID;0x1200a9;;;BU)(A;OICIIOID;GXGR;;;BU)" +
         (with_culprits ? "(A;OICIIOID;GA;;;CO)" : "") +
         "(A;ID;0x1200a9;;;AC)(A;OICIIOID;GXGR;;;AC)(A;ID;0x1200a9;;;S-1-15-2-2)"
         "(A;OICIIOID;GXGR;;;S-1-15-2-2)";
}

std::string program_data_child_folder(bool with_culprits) {
  // A folder created under ProgramData: Users may create files and folders in it and write their
  // data and attributes (0x116), and CREATOR OWNER gets full control of what they create.
  return std::string("O:BAG:SYD:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)") +
         (with_culprits ? "(A;OICIIOID;GA;;;CO)(A;CIID;0x116;;;BU)" : "") +
         "(A;OICIID;0x1200a9;;;BU)";
}

// A file such as service.json written into a ProgramData folder: Users may read it.
constexpr char kProgramDataChildFile[] =
    "O:BAG:SYD:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1200a9;;;BU)";

TEST(PackageDescriptors, WhatProgramFilesAndProgramDataGiveTheirChildrenIsRefused) {
  EXPECT_EQ(evaluate(program_files_child_folder(true), kShared), kUnprivileged);
  EXPECT_EQ(evaluate(program_data_child_folder(true), kShared), kUnprivileged);
  EXPECT_EQ(evaluate(program_data_child_folder(true), kPrivate), kUnprivileged);
  EXPECT_EQ(evaluate(kProgramDataChildFile, kPrivate), kUnprivileged);
  // Those entries are the whole reason: without them the shared check would pass.
  EXPECT_EQ(evaluate(program_files_child_folder(false), kShared), kPasses);
  EXPECT_EQ(evaluate(program_data_child_folder(false), kShared), kPasses);
}

// Maps a service ACE's generic rights to the service's own, as the service control manager does.
ACCESS_MASK service_rights(ACCESS_MASK mask) {
  GENERIC_MAPPING mapping = {STANDARD_RIGHTS_READ | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS |
                                 SERVICE_INTERROGATE | SERVICE_ENUMERATE_DEPENDENTS,
                             STANDARD_RIGHTS_WRITE | SERVICE_CHANGE_CONFIG,
                             STANDARD_RIGHTS_EXECUTE | SERVICE_START | SERVICE_STOP |
                                 SERVICE_PAUSE_CONTINUE | SERVICE_USER_DEFINED_CONTROL,
                             SERVICE_ALL_ACCESS};
  ::MapGenericMask(&mask, &mapping);
  return mask & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
}

constexpr ACCESS_MASK kServiceControlRights =
    SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE | SERVICE_CHANGE_CONFIG |
    SERVICE_USER_DEFINED_CONTROL | WRITE_DAC | WRITE_OWNER | DELETE;

// Every way the descriptor lets an account other than LocalSystem and Administrators control the
// service, as text; empty when there is none.
std::vector<std::string> unprivileged_control(const std::string& sddl) {
  std::optional<ParsedDescriptor> parsed = parse(sddl);
  if (!parsed) return {"unparsable"};
  if (parsed->dacl == nullptr) return {"null DACL: everyone has every right"};
  std::vector<std::string> problems;
  for (const ACE_HEADER* ace : aces(parsed->dacl)) {
    if (ace->AceType == ACCESS_DENIED_ACE_TYPE) continue;
    if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE) {
      problems.push_back("ACE type " + std::to_string(ace->AceType) + " cannot be judged");
      continue;
    }
    const ACCESS_MASK granted = service_rights(ace_mask(ace)) & kServiceControlRights;
    if (granted != 0 && !is_privileged(ace_sid(ace))) {
      std::ostringstream problem;
      problem << sid_text(ace_sid(ace)) << " holds 0x" << std::hex << granted;
      problems.push_back(problem.str());
    }
  }
  return problems;
}

TEST(PackageServiceDescriptor, NobodyButSystemAndAdministratorsControlsTheService) {
  EXPECT_EQ(unprivileged_control(descriptor("service")), std::vector<std::string>{});

  // The descriptor a service gets by default lets interactive and service logons send it
  // user-defined controls: any local user could re-enable an agent an administrator disabled.
  const std::vector<std::string> by_default = unprivileged_control(
      "D:(A;;CCLCSWRPWPDTLOCRRC;;;SY)(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;BA)"
      "(A;;CCLCSWLOCRRC;;;IU)(A;;CCLCSWLOCRRC;;;SU)");
  ASSERT_EQ(by_default.size(), 2u);
  EXPECT_NE(by_default[0].find("S-1-5-4 holds 0x100"), std::string::npos) << by_default[0];
  EXPECT_NE(by_default[1].find("S-1-5-6 holds 0x100"), std::string::npos) << by_default[1];

  // Each right is caught on its own, also through generic rights.
  for (const char* rights : {"RP", "WP", "DT", "DC", "CR", "WD", "WO", "SD", "GA", "GW", "GX"}) {
    EXPECT_EQ(unprivileged_control(std::string("D:(A;;CCLC;;;SY)(A;;") + rights + ";;;AU)").size(),
              1u)
        << rights;
  }
  EXPECT_EQ(unprivileged_control("D:(A;;GR;;;WD)(D;;GA;;;BU)").size(), 0u);
  EXPECT_EQ(unprivileged_control("O:SYG:SY").size(), 1u);  // no DACL: everyone may do anything
}

ACCESS_MASK allowed_rights_of(const std::string& sddl, WELL_KNOWN_SID_TYPE who) {
  std::optional<ParsedDescriptor> parsed = parse(sddl);
  ACCESS_MASK rights = 0;
  for (const ACE_HEADER* ace : aces(parsed ? parsed->dacl : nullptr)) {
    EXPECT_EQ(ace->AceType, ACCESS_ALLOWED_ACE_TYPE);
    if (::IsWellKnownSid(ace_sid(ace), who)) rights |= service_rights(ace_mask(ace));
  }
  return rights;
}

TEST(PackageServiceDescriptor, InstallerAndAdministratorsKeepEveryRightAndUsersSeeTheStatus) {
  // The installer runs as LocalSystem: without every right it could not stop and delete the
  // service on uninstall.
  EXPECT_EQ(allowed_rights_of(descriptor("service"), WinLocalSystemSid), SERVICE_ALL_ACCESS);
  EXPECT_EQ(allowed_rights_of(descriptor("service"), WinBuiltinAdministratorsSid),
            SERVICE_ALL_ACCESS);
  EXPECT_EQ(allowed_rights_of(descriptor("service"), WinAuthenticatedUserSid),
            static_cast<ACCESS_MASK>(SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG | READ_CONTROL));
}

}  // namespace
}  // namespace vornakel::win32
