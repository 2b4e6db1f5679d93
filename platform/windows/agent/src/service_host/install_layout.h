// The installation the service host trusts: where it lives, how its configuration is found, and
// the validation that every caller runs again before it relies on any of it.
#ifndef VORNAKEL_SERVICE_HOST_INSTALL_LAYOUT_H_
#define VORNAKEL_SERVICE_HOST_INSTALL_LAYOUT_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"

namespace vornakel {

struct InstallLayout {
  std::u16string version_dir;  // <ProgramFiles>\Vornakel Connect\versions\<version>
  std::u16string private_dir;  // <ProgramData>\Vornakel Connect\private
};

// Joins `relative` onto `dir` with one backslash, none when `dir` already ends with a separator.
// An empty `dir` still gets the backslash, so the result names the drive root rather than
// something below whatever the current directory happens to be. The relative text is kept as
// written, forward slashes included.
std::u16string join_path(std::u16string_view dir, std::u16string_view relative);

// What validation reads from the machine. The Win32 implementation reads the real environment,
// files and security descriptors; tests substitute their own.
class InstallEnvironment {
 public:
  virtual ~InstallEnvironment() = default;
  // The variable's value as the OS holds it; nullopt when it is not set.
  virtual std::optional<std::u16string> variable(std::u16string_view name) const = 0;
  virtual Status check_protected_path(const std::u16string& path, bool private_mode) const = 0;
  // The size recorded in the file's metadata (links followed); file-system error on failure.
  virtual Result<uint64_t> file_size(const std::u16string& path) const = 0;
  // The file's bytes, reading no more than `limit` + 1 of them so that a file that grew after its
  // size was checked is still caught; file-system error on failure.
  virtual Result<std::string> read_file(const std::u16string& path, size_t limit) const = 0;
};

// Resolves and checks the installation step by step; the first failure is the result.
Result<InstallLayout> validate_install(const InstallEnvironment& environment);

// The same against the real machine (Windows only).
Result<InstallLayout> validate_install();

inline constexpr char kProgramFilesUnavailable[] = "Program Files is unavailable";
inline constexpr char kProgramDataUnavailable[] = "ProgramData is unavailable";

}  // namespace vornakel

#endif  // VORNAKEL_SERVICE_HOST_INSTALL_LAYOUT_H_
