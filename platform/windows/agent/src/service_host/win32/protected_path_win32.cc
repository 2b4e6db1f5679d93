#include "service_host/win32/protected_path_win32.h"

#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include "common/win32/system_messages_win32.h"
#include "common/win32/unique_handle.h"
#include "common/win32/wide.h"
#include "service_host/protected_path.h"
#include "service_host/win32/path_security.h"

namespace vornakel {
namespace win32 {
namespace {

bool is_privileged_sid(PSID sid) {
  return sid != nullptr && ::IsValidSid(sid) &&
         (::IsWellKnownSid(sid, WinLocalSystemSid) ||
          ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid));
}

// Not an ACE type Windows defines; reported for entries too malformed to read.
constexpr uint8_t kUnjudgeableAceType = 0xFF;

bool sid_fits(const ACE_HEADER* header) {
  constexpr size_t kSidOffset = offsetof(ACCESS_ALLOWED_ACE, SidStart);
  constexpr size_t kSidHeader = offsetof(SID, SubAuthority);
  if (header->AceSize < kSidOffset + kSidHeader) return false;
  const auto* sid =
      reinterpret_cast<const SID*>(reinterpret_cast<const BYTE*>(header) + kSidOffset);
  return kSidOffset + ::GetSidLengthRequired(sid->SubAuthorityCount) <= header->AceSize;
}

class Win32AceList : public AceList {
 public:
  explicit Win32AceList(PACL dacl) : dacl_(dacl) {}

  uint32_t count() const override { return dacl_->AceCount; }

  Result<AceEntry> at(uint32_t index) const override {
    void* raw = nullptr;
    if (!::GetAce(dacl_, index, &raw)) return last_os_error();
    const auto* header = static_cast<const ACE_HEADER*>(raw);
    AceEntry entry;
    entry.type = header->AceType;
    // Only the plain allowed ACE is looked into; every other type is judged on its type alone,
    // and its body may not have the allowed ACE's layout.
    if (entry.type == ACCESS_ALLOWED_ACE_TYPE) {
      // An entry whose SID does not fit inside it cannot be judged; it is refused as unsupported
      // rather than read past its end.
      if (!sid_fits(header)) {
        entry.type = kUnjudgeableAceType;
        return entry;
      }
      const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
      entry.mask = allowed->Mask;
      entry.privileged_sid = is_privileged_sid(const_cast<DWORD*>(&allowed->SidStart));
    }
    return entry;
  }

 private:
  PACL dacl_;
};

// `aces` null stands for a null DACL.
PathSecurityFacts facts_of(PSID owner, const Win32AceList* aces) {
  PathSecurityFacts facts;
  facts.owner_present = owner != nullptr;
  facts.owner_privileged = is_privileged_sid(owner);
  facts.dacl = aces;
  return facts;
}

// The object behind one handle; the descriptor read from it is kept for as long as its facts are
// judged.
class OpenedFile : public OpenedPath {
 public:
  OpenedFile(HANDLE file, const std::wstring& path) : file_(file), path_(path) {}

  Result<uint32_t> attributes() override {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file_, &info)) return last_file_system_error();
    return static_cast<uint32_t>(info.dwFileAttributes);
  }

  Result<PathSecurityFacts> security() override {
    Result<PathSecurity> read = read_path_security(file_, path_);
    if (!read.ok()) return read.take_error();
    security_ = std::move(read.value());
    aces_.emplace(security_.dacl);
    return facts_of(security_.owner, security_.dacl != nullptr ? &*aces_ : nullptr);
  }

 private:
  HANDLE file_;
  const std::wstring& path_;
  PathSecurity security_;
  std::optional<Win32AceList> aces_;
};

}  // namespace

Status evaluate_owner_and_dacl(PSID owner, PACL dacl, bool private_mode) {
  Win32AceList aces(dacl);
  return evaluate_path_security(facts_of(owner, dacl != nullptr ? &aces : nullptr), private_mode);
}

}  // namespace win32

Status check_protected_path(const std::u16string& path, bool private_mode) {
  const std::wstring wide = win32::to_wide(path);
  // The link itself is opened, not its target; backup semantics let directories open too. The
  // attributes and the descriptor both come from this handle.
  win32::UniqueHandle file(
      ::CreateFileW(wide.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) return win32::last_file_system_error();
  win32::OpenedFile opened(file.get(), wide);
  return check_opened_path(opened, private_mode);
}

}  // namespace vornakel
