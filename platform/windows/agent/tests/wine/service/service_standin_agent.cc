// Stands in for the node runtime in end-to-end tests of the service. It records how it was
// started (command line, arguments, working directory, desktop, session, environment) as lines on
// its standard output, which the service points at "host-service.log", and then behaves like a
// well-mannered agent: it ends when "stop-host" says "stop". Files in the private "tmp" folder
// steer it: "spawn-grandchild" (read at start) makes it start a child of its own,
// "ignore-stop-host" makes it stay deaf to "stop-host", and "exit-request" (deleted when seen)
// makes it exit with code 3.
#include <windows.h>
// After windows.h, which it depends on.
#include <shellapi.h>

#include <string>

#include "../standin_process.h"

namespace {

using vornakel::standin::utf8;

void say_to(DWORD standard_handle, const std::wstring& what) {
  const std::string line =
      "agent[" + std::to_string(::GetCurrentProcessId()) + "] " + utf8(what) + "\n";
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(standard_handle), line.data(), static_cast<DWORD>(line.size()),
              &written, nullptr);
}

void say(const std::wstring& what) { say_to(STD_OUTPUT_HANDLE, what); }

// What a read from standard input gives: "eof" for the NUL device.
std::wstring probe_stdin() {
  char byte = 0;
  DWORD read = 0;
  if (!::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &read, nullptr)) {
    return L"error " + std::to_wstring(::GetLastError());
  }
  return read == 0 ? L"eof" : L"data";
}

bool exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string read_small_file(const std::wstring& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  char buffer[64] = {};
  DWORD read = 0;
  ::ReadFile(file, buffer, sizeof(buffer), &read, nullptr);
  ::CloseHandle(file);
  return std::string(buffer, read);
}

std::wstring environment(const wchar_t* name) {
  wchar_t buffer[1024] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, buffer, 1024);
  return length > 0 && length < 1024 ? std::wstring(buffer, length) : std::wstring();
}

void record_start(int argc, wchar_t** argv) {
  say(L"start");
  say(L"cmdline=" + std::wstring(::GetCommandLineW()));
  for (int i = 0; i < argc; ++i) say(L"arg=" + std::wstring(argv[i]));
  wchar_t cwd[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, cwd);
  say(L"cwd=" + std::wstring(cwd));
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  ::GetStartupInfoW(&startup);
  say(L"desktop=" + std::wstring(startup.lpDesktop != nullptr ? startup.lpDesktop : L"<none>"));
  DWORD session = 0;
  ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
  say(L"session=" + std::to_wstring(session));
  wchar_t* block = ::GetEnvironmentStringsW();
  for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1) {
    say(L"env=" + std::wstring(entry));
  }
  ::FreeEnvironmentStringsW(block);
  say(L"stdin=" + probe_stdin());
  say_to(STD_ERROR_HANDLE, L"stderr=reached");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc > 1 && std::wstring(argv[1]) == L"--grandchild") {
    for (;;) ::Sleep(1000);
  }
  record_start(argc, argv);
  std::wstring state_dir = environment(L"VORNAKEL_SERVICE_STATE_DIR");
  const std::wstring private_dir = state_dir.substr(0, state_dir.find_last_of(L"\\/"));
  const std::wstring tmp = private_dir + L"\\tmp\\";
  if (exists(tmp + L"spawn-grandchild")) {
    say(L"grandchild=" + std::to_wstring(vornakel::standin::start_copy_of_self(L"--grandchild")));
  }
  say(L"ready");
  for (;;) {
    if (::DeleteFileW((tmp + L"exit-request").c_str())) {
      say(L"exiting on request");
      return 3;
    }
    if (read_small_file(private_dir + L"\\stop-host") == "stop" &&
        !exists(tmp + L"ignore-stop-host")) {
      say(L"saw stop-host");
      return 0;
    }
    ::Sleep(100);
  }
}
