#include "common/win32/system_messages_win32.h"

#include <windows.h>

#include "common/win32/unique_handle.h"
#include "common/win32/wide.h"

namespace vornakel::win32 {

SystemMessages::Lookup Win32SystemMessages::find(uint32_t code, bool nt_status) const {
  DWORD flags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  HMODULE source = nullptr;
  if (nt_status) {
    // ntdll is mapped into every process, so looking it up never loads anything.
    source = ::GetModuleHandleW(L"ntdll.dll");
    if (source == nullptr) return {std::nullopt, ::GetLastError()};
    flags |= FORMAT_MESSAGE_FROM_HMODULE;
  }
  UniqueLocal<wchar_t*> buffer;
  // With FORMAT_MESSAGE_ALLOCATE_BUFFER the "buffer" argument receives the allocated pointer.
  const DWORD length = ::FormatMessageW(flags, source, code, 0,
                                        reinterpret_cast<LPWSTR>(buffer.receive()), 0, nullptr);
  if (length == 0 || !buffer) return {std::nullopt, ::GetLastError()};
  return {wide_to_utf8_lossy(std::wstring_view(buffer.get(), length)), 0};
}

const SystemMessages& system_messages() {
  static const Win32SystemMessages instance;
  return instance;
}

std::string display_for_stderr(const Error& error) { return display(error, system_messages()); }

Error last_os_error() { return Error::os_from_win32(::GetLastError()); }

Error last_file_system_error() { return Error::file_system(::GetLastError()); }

}  // namespace vornakel::win32
