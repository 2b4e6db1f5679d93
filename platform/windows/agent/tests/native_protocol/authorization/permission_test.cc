#include <gtest/gtest.h>

#include <vector>

#include "native_protocol/authorization/permissions.h"

namespace vornakel::native_protocol {
namespace {

Result<PermissionSet, PermissionError> from_wire(std::vector<int32_t> wire) {
  return permission_set_from_wire(wire);
}

std::string error_text(std::vector<int32_t> wire) {
  auto result = from_wire(std::move(wire));
  return result.ok() ? "accepted" : result.error().text();
}

TEST(PermissionWireTest, ValidListsBecomeMasks) {
  EXPECT_EQ(from_wire({1, 3, 4}).value().mask, 0xDu);
  EXPECT_EQ(from_wire({}).value().mask, 0u);
  std::vector<int32_t> all;
  for (int32_t v = 1; v <= 16; ++v) all.push_back(v);
  EXPECT_EQ(from_wire(all).value().mask, 0xFFFFu);
}

TEST(PermissionWireTest, ErrorsAndTheirTexts) {
  EXPECT_EQ(error_text({1, 17}), "unknown permission value 17");
  EXPECT_EQ(error_text({-1}), "unknown permission value -1");
  EXPECT_EQ(error_text({INT32_MIN}), "unknown permission value -2147483648");
  EXPECT_EQ(error_text({0, 1}), "unspecified permission is not a grant");
  EXPECT_EQ(error_text({1, 3, 3}), "duplicate permission value 3");
  EXPECT_EQ(error_text({3, 1}), "permissions are not in canonical increasing order");
}

TEST(PermissionWireTest, FirstFailingValueDecidesInStepOrder) {
  // A repeat is a duplicate even where it also breaks the order.
  EXPECT_EQ(from_wire({3, 3}).error(), PermissionError::duplicate(3));
  EXPECT_EQ(from_wire({3, 2}).error(), PermissionError::non_canonical_order());
  EXPECT_EQ(from_wire({2, 1, 99}).error(), PermissionError::non_canonical_order());
  EXPECT_EQ(from_wire({2, 99, 1}).error(), PermissionError::unknown(99));
  EXPECT_EQ(from_wire({5, 0}).error(), PermissionError::unspecified());
}

TEST(PermissionWireTest, SeventeenEntriesCannotPass) {
  std::vector<int32_t> wire;
  for (int32_t v = 1; v <= 16; ++v) wire.push_back(v);
  wire.push_back(16);
  EXPECT_EQ(from_wire(wire).error(), PermissionError::duplicate(16));
}

TEST(PermissionWireTest, ValuesAreWireMinusOneInOrder) {
  const std::vector<int32_t> wire = {1, 3, 16};
  EXPECT_EQ(permission_values_from_wire(wire),
            (std::vector<Permission>{Permission::kViewScreen, Permission::kSendPointer,
                                     Permission::kReverseShare}));
}

TEST(PermissionNameTest, NamesMatchExactly) {
  EXPECT_EQ(parse_permission_name("VIEW_SCREEN"), Permission::kViewScreen);
  EXPECT_EQ(parse_permission_name("SEND_KEYBOARD"), Permission::kSendKeyboard);
  EXPECT_EQ(parse_permission_name("CREATE_VIRTUAL_DISPLAY"), Permission::kCreateVirtualDisplay);
  EXPECT_EQ(parse_permission_name("REVERSE_SHARE"), Permission::kReverseShare);
  EXPECT_FALSE(parse_permission_name("view_screen"));
  EXPECT_FALSE(parse_permission_name("VIEW_SCREEN "));
  EXPECT_FALSE(parse_permission_name("UNSPECIFIED"));
  EXPECT_FALSE(parse_permission_name(""));
  for (int i = 0; i < kPermissionCount; ++i) {
    const auto permission = static_cast<Permission>(i);
    EXPECT_EQ(parse_permission_name(permission_name(permission)), permission);
  }
}

TEST(PermissionNameTest, DeniedTextUsesTheDisplayName) {
  EXPECT_EQ(PermissionError::denied(Permission::kSendPointer).text(),
            "permission denied: SendPointer");
  EXPECT_EQ(PermissionError::denied(Permission::kSendKeyboard).text(),
            "permission denied: SendKeyboard");
  EXPECT_EQ(PermissionError::denied(Permission::kCreateVirtualDisplay).text(),
            "permission denied: CreateVirtualDisplay");
}

TEST(PermissionSetTest, ContainsAndSubset) {
  const PermissionSet granted{0x5};  // VIEW_SCREEN, SEND_POINTER
  EXPECT_TRUE(contains(granted, Permission::kViewScreen));
  EXPECT_TRUE(contains(granted, Permission::kSendPointer));
  EXPECT_FALSE(contains(granted, Permission::kSendKeyboard));
  EXPECT_TRUE(is_subset(PermissionSet{0x4}, granted));
  EXPECT_TRUE(is_subset(PermissionSet{0}, granted));
  EXPECT_TRUE(is_subset(granted, granted));
  EXPECT_FALSE(is_subset(PermissionSet{0xD}, granted));
}

TEST(PermissionSetTest, RequiredPermissionPerEventKind) {
  EXPECT_EQ(required_permission(EventKind::kPointerPosition), Permission::kSendPointer);
  EXPECT_EQ(required_permission(EventKind::kPointerButton), Permission::kSendPointer);
  EXPECT_EQ(required_permission(EventKind::kScroll), Permission::kSendPointer);
  EXPECT_EQ(required_permission(EventKind::kKeyboard), Permission::kSendKeyboard);
  EXPECT_EQ(required_permission(EventKind::kPause), std::nullopt);
  EXPECT_EQ(required_permission(EventKind::kStop), std::nullopt);
}

}  // namespace
}  // namespace vornakel::native_protocol
