#include "native_protocol/authorization/permissions.h"

#include <array>

namespace vornakel::native_protocol {
namespace {

struct PermissionNames {
  std::string_view wire_name;
  std::string_view display_name;
};

constexpr std::array<PermissionNames, kPermissionCount> kNames = {{
    {"VIEW_SCREEN", "ViewScreen"},
    {"RECEIVE_AUDIO", "ReceiveAudio"},
    {"SEND_POINTER", "SendPointer"},
    {"SEND_KEYBOARD", "SendKeyboard"},
    {"SEND_TOUCH", "SendTouch"},
    {"SEND_PEN", "SendPen"},
    {"SEND_GAMEPAD", "SendGamepad"},
    {"READ_CLIPBOARD", "ReadClipboard"},
    {"WRITE_CLIPBOARD", "WriteClipboard"},
    {"SEND_FILE", "SendFile"},
    {"RECEIVE_FILE", "ReceiveFile"},
    {"CREATE_VIRTUAL_DISPLAY", "CreateVirtualDisplay"},
    {"SWITCH_MONITOR", "SwitchMonitor"},
    {"REQUEST_REBOOT", "RequestReboot"},
    {"LOCAL_RECORDING", "LocalRecording"},
    {"REVERSE_SHARE", "ReverseShare"},
}};

}  // namespace

std::string PermissionError::text() const {
  switch (kind_) {
    case Kind::kUnknownPermission:
      return "unknown permission value " + std::to_string(value_);
    case Kind::kUnspecifiedPermission:
      return "unspecified permission is not a grant";
    case Kind::kDuplicatePermission:
      return "duplicate permission value " + std::to_string(value_);
    case Kind::kNonCanonicalOrder:
      return "permissions are not in canonical increasing order";
    case Kind::kDenied:
      return "permission denied: " +
             std::string(permission_display_name(static_cast<Permission>(value_)));
  }
  return {};
}

std::optional<Permission> parse_permission_name(std::string_view name) {
  for (size_t i = 0; i < kNames.size(); ++i) {
    if (kNames[i].wire_name == name) return static_cast<Permission>(i);
  }
  return std::nullopt;
}

std::string_view permission_name(Permission permission) {
  return kNames[static_cast<size_t>(permission) % kNames.size()].wire_name;
}

std::string_view permission_display_name(Permission permission) {
  return kNames[static_cast<size_t>(permission) % kNames.size()].display_name;
}

Result<PermissionSet, PermissionError> permission_set_from_wire(std::span<const int32_t> wire) {
  PermissionSet set;
  uint32_t seen = 0;
  int32_t largest = 0;
  for (int32_t value : wire) {
    if (value < 0 || value > kPermissionCount) return PermissionError::unknown(value);
    if (value == 0) return PermissionError::unspecified();
    const uint32_t bit = 1u << static_cast<uint32_t>(value - 1);
    if ((seen & bit) != 0) return PermissionError::duplicate(value);
    seen |= bit;
    set.mask |= bit;
    if (value <= largest) return PermissionError::non_canonical_order();
    largest = value;
  }
  return set;
}

std::vector<Permission> permission_values_from_wire(std::span<const int32_t> wire) {
  std::vector<Permission> values;
  values.reserve(wire.size());
  for (int32_t value : wire) values.push_back(static_cast<Permission>(value - 1));
  return values;
}

std::optional<Permission> required_permission(EventKind kind) {
  switch (kind) {
    case EventKind::kPointerPosition:
    case EventKind::kPointerButton:
    case EventKind::kScroll:
      return Permission::kSendPointer;
    case EventKind::kKeyboard:
      return Permission::kSendKeyboard;
    case EventKind::kPause:
    case EventKind::kStop:
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace vornakel::native_protocol
