// Small pieces shared by the Windows stand-ins of the end-to-end tests (the agent runtime's and
// the media engine's): UTF-8 for their reports, and a copy of themselves left running for a job
// to end.
#ifndef VORNAKEL_TESTS_WINE_STANDIN_PROCESS_H_
#define VORNAKEL_TESTS_WINE_STANDIN_PROCESS_H_

#include <windows.h>

#include <string>

namespace vornakel::standin {

inline std::string utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
  return out;
}

// Starts this program again with the one argument `argument`, inheriting no handles (so only a
// job, never a closed pipe, can end it). Returns its process id, 0 when it could not be started.
inline DWORD start_copy_of_self(const wchar_t* argument) {
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) + L"\" " + argument;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(self, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &info)) {
    return 0;
  }
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return info.dwProcessId;
}

}  // namespace vornakel::standin

#endif  // VORNAKEL_TESTS_WINE_STANDIN_PROCESS_H_
