// Whether a path of the installation can be trusted: a real file or directory (never a link),
// owned by LocalSystem or Administrators, with a DACL that gives nobody else a dangerous right.
// Shared mode (program files) lets others read and execute; private mode (configuration and
// state) lets nobody else in at all.
#ifndef VORNAKEL_SERVICE_HOST_PROTECTED_PATH_H_
#define VORNAKEL_SERVICE_HOST_PROTECTED_PATH_H_

#include <cstdint>
#include <string>

#include "common/result.h"

namespace vornakel {

// Windows only: opens the path itself (never a link's target) once and judges that one object's
// attributes, owner and DACL.
Status check_protected_path(const std::u16string& path, bool private_mode);

// GENERIC_WRITE | GENERIC_ALL | WRITE_OWNER | WRITE_DAC | DELETE | FILE_WRITE_ATTRIBUTES |
// FILE_DELETE_CHILD | FILE_WRITE_EA | FILE_APPEND_DATA | FILE_WRITE_DATA
inline constexpr uint32_t kWriteTypeRights = 0x500D0156u;
inline constexpr uint32_t kReparsePointAttribute = 0x400u;
inline constexpr uint8_t kAccessAllowedAceType = 0;
inline constexpr uint8_t kAccessDeniedAceType = 1;

inline constexpr char kReparsePointRefused[] = "A protected installation path is a reparse point";
inline constexpr char kOwnershipNotProtected[] = "Installation ownership or ACL is not protected";
inline constexpr char kUnprivilegedAccess[] =
    "An unprivileged account can access protected host state";
inline constexpr char kUnsupportedAce[] = "Unsupported installation ACL entry";

// One ACE as the rules see it. Flags are deliberately absent: an inherit-only entry is judged as
// if it applied to the object itself, since it will apply to whatever is created below.
struct AceEntry {
  uint8_t type = 0;
  uint32_t mask = 0;
  bool privileged_sid = false;  // LocalSystem or BUILTIN\Administrators
};

// A DACL read entry by entry, because fetching an entry can fail on its own.
class AceList {
 public:
  virtual ~AceList() = default;
  virtual uint32_t count() const = 0;
  virtual Result<AceEntry> at(uint32_t index) const = 0;
};

struct PathSecurityFacts {
  bool owner_present = false;
  bool owner_privileged = false;
  const AceList* dacl = nullptr;  // null: the descriptor has a null DACL (everyone has full access)
};

// One file or directory opened for the check: the link itself when the path is a link.
class OpenedPath {
 public:
  virtual ~OpenedPath() = default;
  virtual Result<uint32_t> attributes() = 0;
  // The owner and DACL of the same object; what the facts point to lives as long as this object.
  virtual Result<PathSecurityFacts> security() = 0;
};

Status evaluate_attributes(uint32_t attributes);
Status evaluate_ace(const AceEntry& ace, bool private_mode);
// Owner first, then every ACE in order; the first failure is the result.
Status evaluate_path_security(const PathSecurityFacts& facts, bool private_mode);
// Attributes first, then owner and DACL, all read from `opened`: two reads by name could judge
// two different objects when the path is swapped for a link in between.
Status check_opened_path(OpenedPath& opened, bool private_mode);

}  // namespace vornakel

#endif  // VORNAKEL_SERVICE_HOST_PROTECTED_PATH_H_
