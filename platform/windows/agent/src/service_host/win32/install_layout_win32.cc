#include <windows.h>

#include "common/win32/system_messages_win32.h"
#include "common/win32/unique_handle.h"
#include "common/win32/wide.h"
#include "service_host/install_layout.h"
#include "service_host/protected_path.h"

namespace vornakel {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class Win32InstallEnvironment : public InstallEnvironment {
 public:
  std::optional<std::u16string> variable(std::u16string_view name) const override {
    return win32::read_environment(win32::to_wide(name).c_str());
  }

  Status check_protected_path(const std::u16string& path, bool private_mode) const override {
    return vornakel::check_protected_path(path, private_mode);
  }

  Result<uint64_t> file_size(const std::u16string& path) const override {
    // Opened without FILE_FLAG_OPEN_REPARSE_POINT: the size is the target's.
    win32::UniqueHandle file(::CreateFileW(win32::to_wide(path).c_str(), 0, kShareAll, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return win32::last_file_system_error();
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.get(), &info)) return win32::last_file_system_error();
    return (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  }

  Result<std::string> read_file(const std::u16string& path, size_t limit) const override {
    win32::UniqueHandle file(::CreateFileW(win32::to_wide(path).c_str(), GENERIC_READ, kShareAll,
                                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return win32::last_file_system_error();
    std::string bytes(limit + 1, '\0');
    size_t filled = 0;
    while (filled < bytes.size()) {
      DWORD read = 0;
      if (!::ReadFile(file.get(), bytes.data() + filled, static_cast<DWORD>(bytes.size() - filled),
                      &read, nullptr)) {
        return win32::last_file_system_error();
      }
      if (read == 0) break;
      filled += read;
    }
    bytes.resize(filled);
    return bytes;
  }
};

}  // namespace

Result<InstallLayout> validate_install() {
  const Win32InstallEnvironment environment;
  return validate_install(environment);
}

}  // namespace vornakel
