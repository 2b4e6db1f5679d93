#include <windows.h>
// After windows.h, which it depends on.
#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/win32/unique_handle.h"
#include "common/win32/wide.h"
#include "service_host/protected_path.h"
#include "service_host/win32/file_metadata_win32.h"

namespace vornakel {
namespace {

// The layout of a mount-point (junction) reparse buffer; MinGW's headers do not export it.
struct MountPointHeader {
  DWORD tag;
  WORD data_length;
  WORD reserved;
  WORD substitute_offset;
  WORD substitute_length;
  WORD print_offset;
  WORD print_length;
};

// Turns the empty directory `link` into a junction to `target`. False when the file system
// refuses (Wine, for one, keeps no reparse points).
bool make_junction(const std::wstring& link, const std::wstring& target) {
  win32::UniqueHandle dir(::CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                        nullptr));
  if (!dir) return false;
  const std::wstring substitute = L"\\??\\" + target;
  const size_t names_bytes = (substitute.size() + 1 + 1) * sizeof(wchar_t);
  std::vector<BYTE> buffer(sizeof(MountPointHeader) + names_bytes);
  MountPointHeader header{};
  header.tag = IO_REPARSE_TAG_MOUNT_POINT;
  header.data_length = static_cast<WORD>(8 + names_bytes);
  header.substitute_offset = 0;
  header.substitute_length = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
  header.print_offset = static_cast<WORD>((substitute.size() + 1) * sizeof(wchar_t));
  header.print_length = 0;
  std::memcpy(buffer.data(), &header, sizeof header);
  std::memcpy(buffer.data() + sizeof header, substitute.c_str(),
              (substitute.size() + 1) * sizeof(wchar_t));
  DWORD returned = 0;
  return ::DeviceIoControl(dir.get(), FSCTL_SET_REPARSE_POINT, buffer.data(),
                           static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
}

// A junction in the temporary folder to an empty directory beside it; both go again at the end.
// `made` is false where the file system keeps no junctions.
class TempJunction {
 public:
  explicit TempJunction(const std::wstring& name) {
    wchar_t temp[MAX_PATH];
    if (::GetTempPathW(MAX_PATH, temp) == 0) return;
    target_ = std::wstring(temp) + name + L"-target";
    link_ = std::wstring(temp) + name;
    ::CreateDirectoryW(target_.c_str(), nullptr);
    ::CreateDirectoryW(link_.c_str(), nullptr);
    made_ = make_junction(link_, target_);
  }
  ~TempJunction() {
    ::RemoveDirectoryW(link_.c_str());
    ::RemoveDirectoryW(target_.c_str());
  }
  void remove_target() { ::RemoveDirectoryW(target_.c_str()); }
  std::u16string link() const { return win32::to_u16(link_); }
  bool made() const { return made_; }

 private:
  std::wstring target_;
  std::wstring link_;
  bool made_ = false;
};

constexpr char kSkipped[] = "this file system keeps no junctions (Wine); covered by unit tests";

TEST(ReparsePoint, JunctionIsRefusedWhateverItsTarget) {
  TempJunction junction(L"vornakel-junction");
  const Status status = check_protected_path(junction.link(), false);
  if (!junction.made()) GTEST_SKIP() << kSkipped;
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error(), Error::message("A protected installation path is a reparse point"));
}

TEST(ReparsePoint, DanglingJunctionExistsAndIsRefused) {
  // A link to a missing target must not count as absent: the files checked only when present
  // would otherwise be created through it.
  TempJunction junction(L"vornakel-dangling");
  junction.remove_target();
  if (!junction.made()) GTEST_SKIP() << kSkipped;
  EXPECT_TRUE(win32::path_exists(junction.link()));
  const Status status = check_protected_path(junction.link(), true);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error(), Error::message("A protected installation path is a reparse point"));
}

}  // namespace
}  // namespace vornakel
