// Test double of a path's owner and DACL, linked only into vornakel_windows_service_wine_test.
// Wine makes up every file's descriptor from Unix mode bits (owner: the user, Everyone may read),
// so no real installation tree can pass the protection checks there. This double returns the
// descriptor a test asks for, in SDDL:
//   VORNAKEL_TEST_PATH_SDDL           descriptor for every path (default: owner SYSTEM, full
//                                     control for SYSTEM and Administrators only, which passes
//                                     both the shared and the private mode)
//   VORNAKEL_TEST_PATH_SDDL_OVERRIDE  "<path suffix>|<sddl>": the descriptor for paths ending in
//                                     that suffix (compared without regard to case)
// Everything else (opening the path, existence, reparse attributes from the same handle, reading
// the configuration) stays real.
#include <windows.h>
// After windows.h, which it depends on.
#include <sddl.h>

#include <optional>

#include "common/win32/system_messages_win32.h"
#include "common/win32/wide.h"
#include "service_host/win32/path_security.h"

namespace vornakel::win32 {
namespace {

constexpr wchar_t kDefaultSddl[] = L"O:SYG:SYD:P(A;;FA;;;SY)(A;;FA;;;BA)";

bool ends_with_ignoring_case(const std::wstring& text, const std::wstring& suffix) {
  if (suffix.size() > text.size()) return false;
  return ::CompareStringOrdinal(text.c_str() + (text.size() - suffix.size()),
                                static_cast<int>(suffix.size()), suffix.c_str(),
                                static_cast<int>(suffix.size()), TRUE) == CSTR_EQUAL;
}

std::wstring sddl_for(const std::wstring& path) {
  if (std::optional<std::u16string> override_text =
          read_environment(L"VORNAKEL_TEST_PATH_SDDL_OVERRIDE")) {
    const std::wstring entry = to_wide(*override_text);
    const size_t bar = entry.find(L'|');
    if (bar != std::wstring::npos && ends_with_ignoring_case(path, entry.substr(0, bar))) {
      return entry.substr(bar + 1);
    }
  }
  if (std::optional<std::u16string> sddl = read_environment(L"VORNAKEL_TEST_PATH_SDDL")) {
    return to_wide(*sddl);
  }
  return kDefaultSddl;
}

}  // namespace

Result<PathSecurity> read_path_security(HANDLE /*file*/, const std::wstring& path) {
  PathSecurity security;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
          sddl_for(path).c_str(), SDDL_REVISION_1, security.descriptor.receive(), nullptr)) {
    return last_os_error();
  }
  BOOL defaulted = FALSE;
  if (!::GetSecurityDescriptorOwner(security.descriptor.get(), &security.owner, &defaulted)) {
    return last_os_error();
  }
  BOOL present = FALSE;
  if (!::GetSecurityDescriptorDacl(security.descriptor.get(), &present, &security.dacl,
                                   &defaulted)) {
    return last_os_error();
  }
  if (!present) security.dacl = nullptr;
  return security;
}

}  // namespace vornakel::win32
