// Stands in for the media engine ("runtime/ffmpeg.exe") in end-to-end tests of the capture host.
// A console program, like the real engine. It reports how it was started on its standard error,
// one "engine <item>=<value>" line each: its process id, the raw command line, the arguments as
// Windows splits them, the desktop it was given and the one its thread is on, and its three
// standard handles (value and file type). The arguments it recognises steer it; any others are
// only reported:
//   --echo             copy standard input to standard output until end of input
//   --grandchild       start a copy of itself that sleeps forever, report its id
//   --sleep MS         sleep before exiting
//   --exit-code N      exit with N (decimal or 0x hex, any 32-bit value); default 0
//   --start-counter    write only "counter=<QueryPerformanceCounter at entry>" to standard
//                      output and exit 0 (for the launch-time figure)
// When VORNAKEL_STANDIN_ENGINE_MARKER names a file, the engine creates it once it has reported and
// started its grandchild, so that a test can tell that it ran even without standard handles, and
// knows when everything it will start is running.
#include <windows.h>
// After windows.h, which it depends on.
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "../standin_process.h"

namespace {

using vornakel::standin::utf8;

void write_all(HANDLE handle, const std::string& bytes) {
  DWORD written = 0;
  for (size_t done = 0; done < bytes.size(); done += written) {
    if (!::WriteFile(handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                     nullptr) ||
        written == 0) {
      return;
    }
  }
}

void report(const std::string& item, const std::string& value) {
  write_all(::GetStdHandle(STD_ERROR_HANDLE), "engine " + item + "=" + value + "\n");
}

std::string hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

std::string handle_report(DWORD which) {
  HANDLE handle = ::GetStdHandle(which);
  std::string type = "none";
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
    switch (::GetFileType(handle)) {
      case FILE_TYPE_PIPE:
        type = "pipe";
        break;
      case FILE_TYPE_DISK:
        type = "disk";
        break;
      case FILE_TYPE_CHAR:
        type = "char";
        break;
      default:
        type = "unknown";
        break;
    }
  }
  return hex(reinterpret_cast<uintptr_t>(handle)) + " " + type;
}

std::string thread_desktop_name() {
  wchar_t name[256] = {};
  if (!::GetUserObjectInformationW(::GetThreadDesktop(::GetCurrentThreadId()), UOI_NAME, name,
                                   sizeof(name), nullptr)) {
    return "<error " + std::to_string(::GetLastError()) + ">";
  }
  return utf8(name);
}

void echo_input() {
  std::vector<char> buffer(65536);
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), buffer.data(),
                    static_cast<DWORD>(buffer.size()), &read, nullptr) ||
        read == 0) {
      return;
    }
    write_all(::GetStdHandle(STD_OUTPUT_HANDLE), std::string(buffer.data(), read));
  }
}

}  // namespace

int wmain(int, wchar_t**) {
  LARGE_INTEGER entered{};
  ::QueryPerformanceCounter(&entered);
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  std::vector<std::wstring> args(argv + 1, argv + argc);
  ::LocalFree(argv);
  if (!args.empty() && args[0] == L"--be-grandchild") {
    ::Sleep(INFINITE);
    return 0;
  }
  if (!args.empty() && args[0] == L"--start-counter") {
    write_all(::GetStdHandle(STD_OUTPUT_HANDLE),
              "counter=" + std::to_string(entered.QuadPart) + "\n");
    return 0;
  }

  report("pid", std::to_string(::GetCurrentProcessId()));
  report("cmdline", utf8(::GetCommandLineW()));
  report("argc", std::to_string(args.size()));
  for (const std::wstring& arg : args) report("arg", utf8(arg));
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  ::GetStartupInfoW(&startup);
  report("desktop", startup.lpDesktop != nullptr ? utf8(startup.lpDesktop) : "<none>");
  report("thread-desktop", thread_desktop_name());
  report("stdin", handle_report(STD_INPUT_HANDLE));
  report("stdout", handle_report(STD_OUTPUT_HANDLE));
  report("stderr", handle_report(STD_ERROR_HANDLE));

  UINT exit_code = 0;
  DWORD sleep_ms = 0;
  bool echo = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const bool has_value = i + 1 < args.size();
    if (args[i] == L"--echo") {
      echo = true;
    } else if (args[i] == L"--grandchild") {
      report("grandchild",
             std::to_string(vornakel::standin::start_copy_of_self(L"--be-grandchild")));
    } else if (args[i] == L"--sleep" && has_value) {
      sleep_ms = static_cast<DWORD>(std::wcstoul(args[++i].c_str(), nullptr, 0));
    } else if (args[i] == L"--exit-code" && has_value) {
      exit_code = static_cast<UINT>(std::wcstoul(args[++i].c_str(), nullptr, 0));
    }
  }
  report("ready", "1");
  wchar_t marker[MAX_PATH] = {};
  if (::GetEnvironmentVariableW(L"VORNAKEL_STANDIN_ENGINE_MARKER", marker, MAX_PATH) > 0) {
    ::CloseHandle(::CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  }
  if (echo) echo_input();
  if (sleep_ms > 0) ::Sleep(sleep_ms);
  ::ExitProcess(exit_code);
}
