// Stands in for the node runtime in end-to-end tests of the service. It records how it was
// started (command line, arguments, working directory, desktop, session, environment) as lines on
// its standard output, which the service points at "host-service.log", and then behaves like a
// well-mannered agent: it ends when "stop-host" says "stop". Files in the private "tmp" folder
// steer it: "spawn-grandchild" (read at start) makes it start a child of its own,
// "ignore-stop-host" makes it stay deaf to "stop-host", and "exit-request" (deleted when seen)
// makes it exit with code 3. For soak runs, "exit-after-ms" and "crash-after-ms" (read at start,
// a decimal number) make it exit with code 3, or die of an access violation, that long after its
// start; it logs the Unix time in milliseconds of its start ("start-ms=") and of that end
// ("exit-ms=", "crash-ms=").
#include <windows.h>
// After windows.h, which it depends on.
#include <shellapi.h>

#include <cstdint>
#include <cstdlib>
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

uint64_t unix_ms() {
  FILETIME now{};
  ::GetSystemTimePreciseAsFileTime(&now);
  const uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return (ticks - 116444736000000000ull) / 10000u;
}

// The number in a steering file, or 0 when there is none.
uint64_t steering_ms(const std::wstring& path) {
  return std::strtoull(read_small_file(path).c_str(), nullptr, 10);
}

// A real access violation, as a crashing runtime would die: a read of a page that may not be
// touched (well-defined for the compiler, refused by the memory manager).
void crash_with_access_violation() {
  void* page = ::VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS);
  const volatile char* forbidden = static_cast<const volatile char*>(page);
  say(L"crash-ms=" + std::to_wstring(unix_ms()));
  [[maybe_unused]] const char never = *forbidden;
}

std::wstring environment(const wchar_t* name) {
  wchar_t buffer[1024] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, buffer, 1024);
  return length > 0 && length < 1024 ? std::wstring(buffer, length) : std::wstring();
}

void record_start(int argc, wchar_t** argv) {
  say(L"start");
  say(L"start-ms=" + std::to_wstring(unix_ms()));
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
  const uint64_t started = ::GetTickCount64();
  const uint64_t exit_after = steering_ms(tmp + L"exit-after-ms");
  const uint64_t crash_after = steering_ms(tmp + L"crash-after-ms");
  say(L"ready");
  for (;;) {
    const uint64_t lived = ::GetTickCount64() - started;
    if (crash_after > 0 && lived >= crash_after) {
      crash_with_access_violation();
      return 4;
    }
    if (exit_after > 0 && lived >= exit_after) {
      say(L"exit-ms=" + std::to_wstring(unix_ms()));
      return 3;
    }
    if (::DeleteFileW((tmp + L"exit-request").c_str())) {
      say(L"exiting on request");
      return 3;
    }
    if (read_small_file(private_dir + L"\\stop-host") == "stop" &&
        !exists(tmp + L"ignore-stop-host")) {
      say(L"saw stop-host");
      return 0;
    }
    ::Sleep(exit_after > 0 || crash_after > 0 ? 10 : 100);
  }
}
