// The sixteen grants of a session in their three forms: upper-case names in the start record,
// wire values 1 to 16 in the ticket, and a 16-bit mask in the session state.
#ifndef VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_PERMISSIONS_H_
#define VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_PERMISSIONS_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace vornakel::native_protocol {

// Permission values (wire value minus 1), the start record's form.
enum class Permission : uint8_t {
  kViewScreen = 0,
  kReceiveAudio,
  kSendPointer,
  kSendKeyboard,
  kSendTouch,
  kSendPen,
  kSendGamepad,
  kReadClipboard,
  kWriteClipboard,
  kSendFile,
  kReceiveFile,
  kCreateVirtualDisplay,
  kSwitchMonitor,
  kRequestReboot,
  kLocalRecording,
  kReverseShare,
};
inline constexpr int kPermissionCount = 16;

// Bit (wire value - 1) per granted permission; only bits 0 to 15 are ever set.
struct PermissionSet {
  uint32_t mask = 0;
  bool operator==(const PermissionSet&) const = default;
};

class PermissionError {
 public:
  enum class Kind {
    kUnknownPermission,
    kUnspecifiedPermission,
    kDuplicatePermission,
    kNonCanonicalOrder,
    kDenied
  };

  static PermissionError unknown(int32_t value) { return {Kind::kUnknownPermission, value}; }
  static PermissionError unspecified() { return {Kind::kUnspecifiedPermission, 0}; }
  static PermissionError duplicate(int32_t value) { return {Kind::kDuplicatePermission, value}; }
  static PermissionError non_canonical_order() { return {Kind::kNonCanonicalOrder, 0}; }
  static PermissionError denied(Permission needed) {
    return {Kind::kDenied, static_cast<int32_t>(needed)};
  }

  Kind kind() const { return kind_; }
  // The offending wire value, or for kDenied the needed permission's value.
  int32_t value() const { return value_; }
  std::string text() const;

  bool operator==(const PermissionError&) const = default;

 private:
  PermissionError(Kind kind, int32_t value) : kind_(kind), value_(value) {}
  Kind kind_;
  int32_t value_;
};

// "VIEW_SCREEN" ... "REVERSE_SHARE", matched exactly.
std::optional<Permission> parse_permission_name(std::string_view name);
std::string_view permission_name(Permission permission);
// "ViewScreen" ... "ReverseShare", as shown in error texts.
std::string_view permission_display_name(Permission permission);

// Validates a ticket's list: values 1 to 16, no duplicates, strictly increasing.
Result<PermissionSet, PermissionError> permission_set_from_wire(std::span<const int32_t> wire);
// For a list already accepted by permission_set_from_wire.
std::vector<Permission> permission_values_from_wire(std::span<const int32_t> wire);

constexpr uint32_t permission_bit(Permission permission) {
  return 1u << static_cast<uint32_t>(permission);
}
constexpr bool contains(PermissionSet set, Permission permission) {
  return (set.mask & permission_bit(permission)) != 0;
}
// Whether every permission of `inner` is in `outer`.
constexpr bool is_subset(PermissionSet inner, PermissionSet outer) {
  return (inner.mask & ~outer.mask) == 0;
}

// Control event kinds as the gate weighs them.
enum class EventKind { kPointerPosition, kPointerButton, kScroll, kKeyboard, kPause, kStop };

// The permission an event kind needs, or nullopt for pause and stop.
std::optional<Permission> required_permission(EventKind kind);

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_PERMISSIONS_H_
