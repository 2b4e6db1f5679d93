#include "service_host/protected_path.h"

namespace vornakel {

Status evaluate_attributes(uint32_t attributes) {
  // Links are refused whatever they point to: the target could be swapped after the check.
  if (attributes & kReparsePointAttribute) return Error::message(kReparsePointRefused);
  return Ok();
}

Status evaluate_ace(const AceEntry& ace, bool private_mode) {
  switch (ace.type) {
    case kAccessDeniedAceType:
      return Ok();
    case kAccessAllowedAceType:
      if (ace.privileged_sid) return Ok();
      if (private_mode || (ace.mask & kWriteTypeRights) != 0) {
        return Error::message(kUnprivilegedAccess);
      }
      return Ok();
    default:
      // Object, callback, audit and future ACE types carry conditions these rules cannot judge.
      return Error::message(kUnsupportedAce);
  }
}

Status evaluate_path_security(const PathSecurityFacts& facts, bool private_mode) {
  if (!facts.owner_present || !facts.owner_privileged || facts.dacl == nullptr) {
    return Error::message(kOwnershipNotProtected);
  }
  const uint32_t count = facts.dacl->count();
  for (uint32_t index = 0; index < count; ++index) {
    Result<AceEntry> ace = facts.dacl->at(index);
    if (!ace.ok()) return ace.take_error();
    VK_RETURN_IF_ERROR(evaluate_ace(ace.value(), private_mode));
  }
  return Ok();
}

Status check_opened_path(OpenedPath& opened, bool private_mode) {
  Result<uint32_t> attributes = opened.attributes();
  if (!attributes.ok()) return attributes.take_error();
  VK_RETURN_IF_ERROR(evaluate_attributes(attributes.value()));
  Result<PathSecurityFacts> facts = opened.security();
  if (!facts.ok()) return facts.take_error();
  return evaluate_path_security(facts.value(), private_mode);
}

}  // namespace vornakel
