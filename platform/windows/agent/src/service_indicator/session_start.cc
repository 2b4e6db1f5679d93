#include "service_indicator/session_start.h"

#include <array>
#include <variant>

#include "service_indicator/display_text.h"
#include "service_indicator/strict_record.h"

namespace vornakel::service_indicator {
namespace {

constexpr std::array<MemberSpec, 3> kStartMembers = {{
    {"sessionId", MemberShape::kString},
    {"requesterName", MemberShape::kString},
    {"permissions", MemberShape::kStringArray},
}};

constexpr size_t kMaxNameScalars = 100;
constexpr size_t kMaxPermissions = 24;
constexpr size_t kMaxPermissionBytes = 40;

bool is_hex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The textual UUID shape only: version and variant are not looked at.
bool is_session_id(std::string_view id) {
  if (id.size() != 36) return false;
  for (size_t i = 0; i < id.size(); ++i) {
    const bool hyphen_position = i == 8 || i == 13 || i == 18 || i == 23;
    if (hyphen_position ? id[i] != '-' : !is_hex(id[i])) return false;
  }
  return true;
}

bool is_requester_name(std::string_view name) {
  const std::optional<size_t> scalars = count_displayable_scalars(name);
  return scalars && *scalars >= 1 && *scalars <= kMaxNameScalars;
}

bool is_permission_entry(std::string_view entry) {
  if (entry.empty() || entry.size() > kMaxPermissionBytes) return false;
  for (char c : entry) {
    if (!((c >= 'A' && c <= 'Z') || c == '_')) return false;
  }
  return true;
}

}  // namespace

Result<std::string> read_session_line(native_protocol::ByteSource& input) {
  namespace np = native_protocol;
  np::ReadOutcome outcome = np::read_framed_line(input, kSessionLineBound);
  if (auto* line = std::get_if<np::Line>(&outcome)) return std::move(line->bytes);
  if (auto* failed = std::get_if<np::IoError>(&outcome)) return std::move(failed->error);
  return Error::message(kSessionLineOutOfBound);
}

Result<Start> parse_start(std::string_view line) {
  auto values = parse_strict_record(line, kStartMembers, "invalid indicator session");
  if (!values.ok()) return values.take_error();
  std::vector<MemberValue>& v = values.value();
  return Start{std::move(v[0].text), std::move(v[1].text), std::move(v[2].items)};
}

Status validate_start(const Start& start) {
  if (!is_session_id(start.session_id)) return Error::message(kInvalidSessionMetadata);
  if (!is_requester_name(start.requester_name)) return Error::message(kInvalidSessionMetadata);
  if (start.permissions.empty() || start.permissions.size() > kMaxPermissions) {
    return Error::message(kInvalidSessionMetadata);
  }
  for (const std::string& entry : start.permissions) {
    if (!is_permission_entry(entry)) return Error::message(kInvalidSessionMetadata);
  }
  return Ok();
}

std::string details_text(const Start& start) {
  // The name is shown as signed: a hidden character cannot reorder or conceal what follows it.
  std::string text =
      "Connected: " + mark_hidden_characters(start.requester_name) + "\r\nGranted permissions:";
  for (const std::string& entry : start.permissions) text += "\r\n" + entry;
  return text;
}

}  // namespace vornakel::service_indicator
