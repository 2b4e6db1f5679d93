#include "service_host/protected_path.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace vornakel {
namespace {

// A DACL given as a list; an entry may stand for a failed fetch.
class ListedAces : public AceList {
 public:
  std::vector<Result<AceEntry>> entries;
  mutable uint32_t fetched = 0;

  uint32_t count() const override { return static_cast<uint32_t>(entries.size()); }
  Result<AceEntry> at(uint32_t index) const override {
    ++fetched;
    return entries.at(index);
  }
};

constexpr AceEntry allow(uint32_t mask, bool privileged) {
  return {kAccessAllowedAceType, mask, privileged};
}
constexpr AceEntry deny(uint32_t mask) { return {kAccessDeniedAceType, mask, false}; }

constexpr uint32_t kFullControl = 0x001F01FF;
constexpr uint32_t kReadExecute = 0x001200A9;
constexpr uint32_t kModify = 0x001301BF;

Status evaluate(const ListedAces& aces, bool private_mode, bool owner_privileged = true) {
  PathSecurityFacts facts;
  facts.owner_present = true;
  facts.owner_privileged = owner_privileged;
  facts.dacl = &aces;
  return evaluate_path_security(facts, private_mode);
}

const Error kUnprivileged =
    Error::message("An unprivileged account can access protected host state");
const Error kOwnership = Error::message("Installation ownership or ACL is not protected");
const Error kUnsupported = Error::message("Unsupported installation ACL entry");

TEST(ProtectedPathAttributes, AnyReparsePointIsRefused) {
  EXPECT_TRUE(evaluate_attributes(0x10).ok());  // directory
  EXPECT_TRUE(evaluate_attributes(0x80).ok());  // normal file
  EXPECT_EQ(evaluate_attributes(0x400).error(),
            Error::message("A protected installation path is a reparse point"));
  EXPECT_FALSE(evaluate_attributes(0x410).ok());
}

TEST(ProtectedPathAce, SharedModeDeniesEachWriteTypeRightToOthers) {
  for (uint32_t bit = 0; bit < 32; ++bit) {
    const uint32_t right = 1u << bit;
    const bool write_type = (0x500D0156u & right) != 0;
    EXPECT_EQ(evaluate_ace(allow(right, false), false).ok(), !write_type) << std::hex << right;
    EXPECT_TRUE(evaluate_ace(allow(right, true), false).ok());
  }
  EXPECT_TRUE(evaluate_ace(allow(kReadExecute, false), false).ok());
  EXPECT_EQ(evaluate_ace(allow(kModify, false), false).error(), kUnprivileged);
}

TEST(ProtectedPathAce, PrivateModeDeniesAnyAllowedAceToOthers) {
  EXPECT_EQ(evaluate_ace(allow(0, false), true).error(), kUnprivileged);
  EXPECT_EQ(evaluate_ace(allow(kReadExecute, false), true).error(), kUnprivileged);
  EXPECT_TRUE(evaluate_ace(allow(kFullControl, true), true).ok());
}

TEST(ProtectedPathAce, DenyEntriesPassAndOtherTypesAreUnsupported) {
  EXPECT_TRUE(evaluate_ace(deny(kFullControl), true).ok());
  EXPECT_TRUE(evaluate_ace(deny(0xFFFFFFFF), false).ok());
  for (uint8_t type : {2, 3, 5, 6, 9, 10, 11, 17, 255}) {
    EXPECT_EQ(evaluate_ace({type, 0, true}, false).error(), kUnsupported) << int(type);
  }
}

TEST(ProtectedPathSecurity, OwnerMustBePresentAndPrivilegedAndTheDaclNotNull) {
  ListedAces empty;
  PathSecurityFacts facts{true, true, &empty};
  EXPECT_TRUE(evaluate_path_security(facts, true).ok());
  EXPECT_EQ(evaluate_path_security({false, true, &empty}, false).error(), kOwnership);
  EXPECT_EQ(evaluate_path_security({true, false, &empty}, false).error(), kOwnership);
  EXPECT_EQ(evaluate_path_security({true, true, nullptr}, false).error(), kOwnership);
}

TEST(ProtectedPathSecurity, SharedAndPrivateDifferOnlyOnReadOnlyAccessForOthers) {
  ListedAces users_read;
  users_read.entries = {allow(kFullControl, true), allow(kFullControl, true),
                        allow(kReadExecute, false)};
  EXPECT_TRUE(evaluate(users_read, false).ok());
  EXPECT_EQ(evaluate(users_read, true).error(), kUnprivileged);
  ListedAces users_modify;
  users_modify.entries = {allow(kFullControl, true), allow(kModify, false)};
  EXPECT_EQ(evaluate(users_modify, false).error(), kUnprivileged);
  EXPECT_EQ(evaluate(users_modify, true).error(), kUnprivileged);
  EXPECT_EQ(evaluate(users_read, false, /*owner_privileged=*/false).error(), kOwnership);
}

TEST(ProtectedPathSecurity, FirstFailingEntryWinsAndLaterEntriesAreNotFetched) {
  ListedAces aces;
  aces.entries = {
      deny(kFullControl), allow(kModify, false), Error::os(0x80070057u), {AceEntry{5, 0, false}}};
  EXPECT_EQ(evaluate(aces, false).error(), kUnprivileged);
  EXPECT_EQ(aces.fetched, 2u);

  ListedAces fetch_fails;
  fetch_fails.entries = {allow(kFullControl, true), Error::os(0x80070057u), allow(kModify, false)};
  EXPECT_EQ(evaluate(fetch_fails, false).error(), Error::os(0x80070057u));
}

// One opened object; counts its reads so a test can tell which half of the check ran.
class FakeOpenedPath : public OpenedPath {
 public:
  Result<uint32_t> attribute_result = 0x10u;
  std::optional<Error> security_error;
  ListedAces aces;
  int attribute_reads = 0;
  int security_reads = 0;

  Result<uint32_t> attributes() override {
    ++attribute_reads;
    return attribute_result;
  }
  Result<PathSecurityFacts> security() override {
    ++security_reads;
    if (security_error) return *security_error;
    return PathSecurityFacts{true, true, &aces};
  }
};

TEST(ProtectedPathOpened, AttributesAreJudgedBeforeTheSameObjectsSecurityIsRead) {
  // A link is refused on its own attributes, however well its descriptor is protected: the
  // descriptor of a link's target would judge another object.
  FakeOpenedPath link;
  link.attribute_result = 0x410u;
  link.aces.entries = {allow(kFullControl, true)};
  EXPECT_EQ(check_opened_path(link, false).error(),
            Error::message("A protected installation path is a reparse point"));
  EXPECT_EQ(link.security_reads, 0);

  FakeOpenedPath unreadable;
  unreadable.attribute_result = Error::file_system(5);
  EXPECT_EQ(check_opened_path(unreadable, false).error(), Error::file_system(5));
  EXPECT_EQ(unreadable.security_reads, 0);

  FakeOpenedPath no_descriptor;
  no_descriptor.security_error = Error::os(0x80070005u);
  EXPECT_EQ(check_opened_path(no_descriptor, false).error(), Error::os(0x80070005u));

  FakeOpenedPath shared_with_users;
  shared_with_users.aces.entries = {allow(kFullControl, true), allow(kReadExecute, false)};
  EXPECT_TRUE(check_opened_path(shared_with_users, false).ok());
  EXPECT_EQ(check_opened_path(shared_with_users, true).error(), kUnprivileged);
  EXPECT_EQ(shared_with_users.attribute_reads, 2);
  EXPECT_EQ(shared_with_users.security_reads, 2);
}

}  // namespace
}  // namespace vornakel
