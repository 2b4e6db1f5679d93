#include "service_host/win32/protected_path_win32.h"

#include <windows.h>
// After windows.h, which they depend on.
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/win32/unique_handle.h"
#include "common/win32/wide.h"
#include "service_host/protected_path.h"
#include "service_host/win32/file_metadata_win32.h"

namespace vornakel::win32 {
namespace {

const Error kUnprivileged = Error::message(kUnprivilegedAccess);
const Error kOwnership = Error::message(kOwnershipNotProtected);
const Error kUnsupported = Error::message(kUnsupportedAce);

// Evaluates a descriptor written in SDDL, in one mode, exactly as a path carrying it would be.
Status evaluate_sddl(const wchar_t* sddl, bool private_mode) {
  UniqueLocal<PSECURITY_DESCRIPTOR> descriptor;
  EXPECT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1,
                                                                     descriptor.receive(), nullptr))
      << "bad SDDL in test: " << wide_to_utf8_lossy(sddl);
  if (!descriptor) return Error::message("no descriptor");
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  EXPECT_TRUE(::GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted));
  BOOL present = FALSE;
  PACL dacl = nullptr;
  EXPECT_TRUE(::GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted));
  return evaluate_owner_and_dacl(owner, present ? dacl : nullptr, private_mode);
}

void expect_both_modes(const wchar_t* sddl, const std::optional<Error>& shared,
                       const std::optional<Error>& private_result) {
  const Status in_shared = evaluate_sddl(sddl, false);
  const Status in_private = evaluate_sddl(sddl, true);
  if (shared) {
    ASSERT_FALSE(in_shared.ok()) << wide_to_utf8_lossy(sddl);
    EXPECT_EQ(in_shared.error(), *shared) << wide_to_utf8_lossy(sddl);
  } else {
    EXPECT_TRUE(in_shared.ok()) << wide_to_utf8_lossy(sddl) << ": " << in_shared.error().text();
  }
  if (private_result) {
    ASSERT_FALSE(in_private.ok()) << wide_to_utf8_lossy(sddl);
    EXPECT_EQ(in_private.error(), *private_result) << wide_to_utf8_lossy(sddl);
  } else {
    EXPECT_TRUE(in_private.ok()) << wide_to_utf8_lossy(sddl) << ": " << in_private.error().text();
  }
}

TEST(ProtectedPathDescriptor, UsersReadAndExecutePassesSharedOnly) {
  expect_both_modes(L"O:BAG:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)",
                    std::nullopt, kUnprivileged);
}

TEST(ProtectedPathDescriptor, UsersModifyFailsBothModes) {
  expect_both_modes(L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1301bf;;;BU)", kUnprivileged,
                    kUnprivileged);
  expect_both_modes(L"O:SYD:P(A;;FA;;;SY)(A;;GW;;;AU)", kUnprivileged, kUnprivileged);
  expect_both_modes(L"O:SYD:P(A;;FA;;;SY)(A;;WD;;;WD)", kUnprivileged, kUnprivileged);
}

TEST(ProtectedPathDescriptor, OwnerMustBeSystemOrAdministrators) {
  expect_both_modes(L"O:SYD:P(A;;FA;;;SY)", std::nullopt, std::nullopt);
  expect_both_modes(L"O:BAD:P(A;;FA;;;BA)", std::nullopt, std::nullopt);
  // TrustedInstaller, even with a strict DACL.
  expect_both_modes(
      L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:P(A;;FA;;;SY)",
      kOwnership, kOwnership);
  expect_both_modes(L"O:BUD:P(A;;FA;;;SY)", kOwnership, kOwnership);
  expect_both_modes(L"O:S-1-5-21-1-2-3-500D:P(A;;FA;;;SY)", kOwnership, kOwnership);
  expect_both_modes(L"D:P(A;;FA;;;SY)", kOwnership, kOwnership);  // no owner at all
}

TEST(ProtectedPathDescriptor, DenyEntriesAreAcceptedWithoutFurtherTest) {
  expect_both_modes(L"O:SYD:P(D;;FA;;;WD)(A;;FA;;;SY)", std::nullopt, std::nullopt);
  expect_both_modes(L"O:SYD:P(D;;FA;;;BU)(A;;FA;;;SY)(A;;FA;;;BA)", std::nullopt, std::nullopt);
}

TEST(ProtectedPathDescriptor, InheritOnlyEntriesAreJudgedLikeAnyOther) {
  expect_both_modes(L"O:SYD:P(A;;FA;;;SY)(A;OICIIO;GA;;;CO)", kUnprivileged, kUnprivileged);
}

TEST(ProtectedPathDescriptor, EmptyDaclPasses) {
  expect_both_modes(L"O:SYD:P", std::nullopt, std::nullopt);
}

// Descriptors that SDDL cannot express under every system are built by hand.
class HandBuiltAcl : public ::testing::Test {
 protected:
  void SetUp() override {
    DWORD size = sizeof system_;
    ASSERT_TRUE(::CreateWellKnownSid(WinLocalSystemSid, nullptr, system_, &size));
    size = sizeof users_;
    ASSERT_TRUE(::CreateWellKnownSid(WinBuiltinUsersSid, nullptr, users_, &size));
    ASSERT_TRUE(::InitializeAcl(acl(), static_cast<DWORD>(storage_.size() * 8), ACL_REVISION_DS));
  }

  PACL acl() { return reinterpret_cast<PACL>(storage_.data()); }

  // Appends a raw ACE of `type` with an access mask and `sid` in the allowed-ACE layout.
  void add_raw_ace(BYTE type, PSID sid) {
    const DWORD sid_size = ::GetLengthSid(sid);
    std::vector<BYTE> ace(sizeof(ACE_HEADER) + sizeof(ACCESS_MASK) + sid_size);
    auto* header = reinterpret_cast<ACE_HEADER*>(ace.data());
    header->AceType = type;
    header->AceFlags = 0;
    header->AceSize = static_cast<WORD>(ace.size());
    const ACCESS_MASK mask = FILE_GENERIC_READ;
    std::memcpy(ace.data() + sizeof(ACE_HEADER), &mask, sizeof mask);
    std::memcpy(ace.data() + sizeof(ACE_HEADER) + sizeof mask, sid, sid_size);
    ASSERT_TRUE(
        ::AddAce(acl(), ACL_REVISION_DS, MAXDWORD, ace.data(), static_cast<DWORD>(ace.size())));
  }

  BYTE system_[SECURITY_MAX_SID_SIZE];
  BYTE users_[SECURITY_MAX_SID_SIZE];
  std::vector<uint64_t> storage_ = std::vector<uint64_t>(128);
};

TEST_F(HandBuiltAcl, NullDaclFailsBothModes) {
  EXPECT_EQ(evaluate_owner_and_dacl(system_, nullptr, false).error(), kOwnership);
  EXPECT_EQ(evaluate_owner_and_dacl(system_, nullptr, true).error(), kOwnership);

  // The same through a real descriptor whose DACL is present but null.
  SECURITY_DESCRIPTOR descriptor;
  ASSERT_TRUE(::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = acl();
  ASSERT_TRUE(::GetSecurityDescriptorDacl(&descriptor, &present, &dacl, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_EQ(evaluate_owner_and_dacl(system_, dacl, false).error(), kOwnership);
}

TEST_F(HandBuiltAcl, AllowedObjectAceIsUnsupported) {
  ASSERT_TRUE(::AddAccessAllowedAce(acl(), ACL_REVISION_DS, FILE_ALL_ACCESS, system_));
  add_raw_ace(ACCESS_ALLOWED_OBJECT_ACE_TYPE, system_);
  EXPECT_EQ(evaluate_owner_and_dacl(system_, acl(), false).error(), kUnsupported);
}

TEST_F(HandBuiltAcl, CallbackAceIsUnsupportedEvenForSystem) {
  add_raw_ace(ACCESS_ALLOWED_CALLBACK_ACE_TYPE, system_);
  EXPECT_EQ(evaluate_owner_and_dacl(system_, acl(), false).error(), kUnsupported);
}

TEST_F(HandBuiltAcl, FirstOffendingEntryDecides) {
  ASSERT_TRUE(::AddAccessAllowedAce(acl(), ACL_REVISION_DS, FILE_GENERIC_WRITE, users_));
  add_raw_ace(ACCESS_ALLOWED_CALLBACK_ACE_TYPE, system_);
  EXPECT_EQ(evaluate_owner_and_dacl(system_, acl(), false).error(), kUnprivileged);
}

TEST_F(HandBuiltAcl, AllowedAceWhoseSidOverrunsTheEntryIsUnsupported) {
  // An allowed ACE of 16 bytes whose SID claims five sub-authorities (28 bytes), written straight
  // into the ACL so that no API gets the chance to reject it.
  BYTE ace[16] = {
      ACCESS_ALLOWED_ACE_TYPE, 0, 16, 0, 0xFF, 0x01, 0x1F, 0x00, 1, 5, 0, 0, 0, 0, 0, 5};
  ACL* list = acl();
  std::memcpy(reinterpret_cast<BYTE*>(list) + sizeof(ACL), ace, sizeof ace);
  list->AceCount = 1;
  EXPECT_EQ(evaluate_owner_and_dacl(system_, list, false).error(), kUnsupported);
}

TEST(CheckProtectedPath, MissingPathsGiveTheFileSystemError) {
  EXPECT_EQ(check_protected_path(u"C:\\vornakel-missing-file.json", false).error(),
            Error::file_system(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(check_protected_path(u"C:\\vornakel-missing-dir\\file", false).error(),
            Error::file_system(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(path_exists(u"C:\\vornakel-missing-file.json"));
  EXPECT_FALSE(path_exists(u"C:\\vornakel-missing-dir\\file"));
  EXPECT_TRUE(path_exists(u"C:\\windows"));
}

TEST(CheckProtectedPath, UserOwnedDirectoryIsNotProtected) {
  // A directory the test itself creates is owned by the test's user, never by SYSTEM or
  // Administrators as a group (and Wine reports the user as every file's owner).
  wchar_t temp[MAX_PATH];
  ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring dir = std::wstring(temp) + L"vornakel-protected-path-test";
  ::CreateDirectoryW(dir.c_str(), nullptr);
  const Status status = check_protected_path(to_u16(dir), false);
  ::RemoveDirectoryW(dir.c_str());
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error(), kOwnership);
}

}  // namespace
}  // namespace vornakel::win32
