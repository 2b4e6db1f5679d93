#include "service_host/win32/protected_path_win32.h"

#include "common/win32/system_messages_win32.h"
#include "common/win32/unique_handle.h"
#include "common/win32/wide.h"
#include "service_host/protected_path.h"
#include "service_host/win32/path_security.h"

namespace vornakel {
namespace win32 {
namespace {

bool is_privileged_sid(PSID sid) {
  return sid != nullptr && (::IsWellKnownSid(sid, WinLocalSystemSid) ||
                            ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid));
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
      const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
      entry.mask = allowed->Mask;
      entry.privileged_sid = is_privileged_sid(const_cast<DWORD*>(&allowed->SidStart));
    }
    return entry;
  }

 private:
  PACL dacl_;
};

}  // namespace

Status evaluate_owner_and_dacl(PSID owner, PACL dacl, bool private_mode) {
  PathSecurityFacts facts;
  facts.owner_present = owner != nullptr;
  facts.owner_privileged = is_privileged_sid(owner);
  Win32AceList aces(dacl);
  facts.dacl = dacl != nullptr ? &aces : nullptr;
  return evaluate_path_security(facts, private_mode);
}

}  // namespace win32

Status check_protected_path(const std::u16string& path, bool private_mode) {
  const std::wstring wide = win32::to_wide(path);
  {
    // The link itself is opened, not its target; backup semantics let directories open too.
    win32::UniqueHandle file(::CreateFileW(
        wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return win32::last_file_system_error();
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.get(), &info)) return win32::last_file_system_error();
    VK_RETURN_IF_ERROR(evaluate_attributes(info.dwFileAttributes));
  }
  Result<win32::PathSecurity> security = win32::read_path_security(wide);
  if (!security.ok()) return security.take_error();
  return win32::evaluate_owner_and_dacl(security.value().owner, security.value().dacl,
                                        private_mode);
}

}  // namespace vornakel
