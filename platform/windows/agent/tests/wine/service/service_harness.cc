// Drives the service through the Windows service control manager for end-to-end tests and prints
// what it sees, one line per command, because a Linux parent only sees 8-bit exit codes.
//   install <exe>            register "VornakelConnectHost" (own process, demand start)
//   start                    start it and wait until it leaves START_PENDING
//   control <code>           send a control
//   query                    print the status
//   stop                     send STOP and wait for STOPPED; prints the time it took
//   wait-stopped <ms>        wait for STOPPED
//   delete                   stop if needed, then delete the service
//   alive <pid>              "alive" or "gone"
//   resources <pid> <s>      CPU time used by <pid> over <s> seconds and its peak working set
//   sample <pid>             handle count, private bytes and working set of <pid>, at once
//   find <image name>        the pids of the running processes of that executable
//   kill <pid>               TerminateProcess with exit code 1
//   wait-exit <pid>          wait until <pid> ends; print when (Unix ms) and its exit code
//   serve                    reads one command per line from standard input and answers each,
//                            followed by a line "."; one Wine process for a whole soak run
#include <windows.h>
// After windows.h, which they depend on.
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace {

constexpr wchar_t kServiceName[] = L"VornakelConnectHost";

// In serve mode a command that fails must not leave its handles behind for the rest of the run.
struct ServiceHandleCloser {
  void operator()(SC_HANDLE handle) const { ::CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleCloser>;
struct HandleCloser {
  void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

DWORD number_of(const std::wstring& text) {
  return static_cast<DWORD>(std::wcstoul(text.c_str(), nullptr, 10));
}

// The size of a process's handle table as the system's process list gives it
// (SystemProcessInformation): under Wine the wineserver's table size, which grows and shrinks in
// steps of 32 entries.
bool handle_table_size(DWORD pid, DWORD& size) {
  std::vector<unsigned char> buffer(1 << 18);
  for (;;) {
    ULONG needed = 0;
    const NTSTATUS status = ::NtQuerySystemInformation(SystemProcessInformation, buffer.data(),
                                                       static_cast<ULONG>(buffer.size()), &needed);
    if (status == static_cast<NTSTATUS>(0xC0000004L)) {  // STATUS_INFO_LENGTH_MISMATCH
      buffer.resize(std::max<size_t>(buffer.size() * 2, needed));
      continue;
    }
    if (status < 0) return false;
    break;
  }
  for (size_t offset = 0; offset + sizeof(SYSTEM_PROCESS_INFORMATION) <= buffer.size();) {
    SYSTEM_PROCESS_INFORMATION entry{};
    std::memcpy(&entry, buffer.data() + offset, sizeof(entry));
    if (reinterpret_cast<ULONG_PTR>(entry.UniqueProcessId) == pid) {
      size = entry.HandleCount;
      return true;
    }
    if (entry.NextEntryOffset == 0) return false;
    offset += entry.NextEntryOffset;
  }
  return false;
}

// The open handles of a process under Wine, where GetProcessHandleCount answers 0 for every
// process: each handle value of its table is duplicated into this process and closed at once;
// a value that does not name a handle fails with ERROR_INVALID_HANDLE. (The system's handle
// list, SystemHandleInformation, is no way out: asked for while a process starts, it can crash
// the wineserver and every process of the prefix with it.) The duplicate lives for a moment
// only, which at most delays by that moment what the last close of an object does.
bool count_open_handles(HANDLE process, DWORD pid, DWORD& handles) {
  DWORD size = 0;
  if (!handle_table_size(pid, size)) return false;
  handles = 0;
  for (ULONG_PTR index = 1; index <= size; ++index) {
    HANDLE copy = nullptr;
    if (::DuplicateHandle(process, reinterpret_cast<HANDLE>(index * 4), ::GetCurrentProcess(),
                          &copy, 0, FALSE, 0)) {
      ::CloseHandle(copy);
      ++handles;
    } else if (::GetLastError() != ERROR_INVALID_HANDLE) {
      ++handles;  // there, but not to be duplicated
    }
  }
  return true;
}

void print_status(const char* prefix, const SERVICE_STATUS_PROCESS& status) {
  std::printf("%sstate=%lu accepted=%lu exit=%lu specific=%lu checkpoint=%lu hint=%lu pid=%lu\n",
              prefix, status.dwCurrentState, status.dwControlsAccepted, status.dwWin32ExitCode,
              status.dwServiceSpecificExitCode, status.dwCheckPoint, status.dwWaitHint,
              status.dwProcessId);
}

bool query(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) {
  DWORD needed = 0;
  return ::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                sizeof(status), &needed) != 0;
}

bool wait_for_state(SC_HANDLE service, DWORD state, DWORD timeout_ms,
                    SERVICE_STATUS_PROCESS& status, ULONGLONG& elapsed) {
  const ULONGLONG start = ::GetTickCount64();
  for (;;) {
    if (!query(service, status)) return false;
    elapsed = ::GetTickCount64() - start;
    if (status.dwCurrentState == state) return true;
    if (elapsed > timeout_ms) return false;
    ::Sleep(20);
  }
}

int fail(const char* what) {
  std::printf("error %s %lu\n", what, ::GetLastError());
  return 1;
}

int process_command(const std::vector<std::wstring>& args) {
  const std::wstring& command = args[0];
  if (command == L"alive" && args.size() == 2) {
    OwnedHandle process(
        ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, number_of(args[1])));
    DWORD code = 0;
    const bool alive =
        process && ::GetExitCodeProcess(process.get(), &code) && code == STILL_ACTIVE;
    std::printf("%s\n", alive ? "alive" : "gone");
    return 0;
  }
  if (command == L"resources" && args.size() == 3) {
    OwnedHandle process(
        ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, number_of(args[1])));
    if (!process) return fail("open-process");
    auto cpu_100ns = [&process]() {
      FILETIME created, exited, kernel, user;
      ::GetProcessTimes(process.get(), &created, &exited, &kernel, &user);
      auto value = [](const FILETIME& t) {
        return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
      };
      return value(kernel) + value(user);
    };
    const ULONGLONG seconds = std::wcstoul(args[2].c_str(), nullptr, 10);
    const ULONGLONG before = cpu_100ns();
    ::Sleep(static_cast<DWORD>(seconds * 1000));
    const ULONGLONG after = cpu_100ns();
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    ::GetProcessMemoryInfo(process.get(), &memory, sizeof(memory));
    std::printf("cpu_ms=%.3f seconds=%llu peak_working_set=%llu working_set=%llu\n",
                static_cast<double>(after - before) / 10000.0, seconds,
                static_cast<unsigned long long>(memory.PeakWorkingSetSize),
                static_cast<unsigned long long>(memory.WorkingSetSize));
    return 0;
  }
  if (command == L"sample" && args.size() == 2) {
    OwnedHandle process(
        ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_DUP_HANDLE, FALSE,
                      number_of(args[1])));
    if (!process) return fail("open-process");
    DWORD handles = 0;
    if (!::GetProcessHandleCount(process.get(), &handles)) return fail("handle-count");
    if (handles == 0 && !count_open_handles(process.get(), number_of(args[1]), handles)) {
      return fail("handle-table");
    }
    // PagefileUsage is the commit charge of the process: its private bytes.
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    if (!::GetProcessMemoryInfo(process.get(), &memory, sizeof(memory))) return fail("memory");
    std::printf("handles=%lu private=%llu working_set=%llu\n", handles,
                static_cast<unsigned long long>(memory.PagefileUsage),
                static_cast<unsigned long long>(memory.WorkingSetSize));
    return 0;
  }
  if (command == L"find" && args.size() == 2) {
    OwnedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot.get() == INVALID_HANDLE_VALUE) {
      snapshot.release();
      return fail("snapshot");
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    std::printf("pids=");
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
      if (_wcsicmp(entry.szExeFile, args[1].c_str()) == 0) {
        std::printf(" %lu", entry.th32ProcessID);
      }
    }
    std::printf("\n");
    return 0;
  }
  if (command == L"wait-exit" && args.size() == 2) {
    OwnedHandle process(
        ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, number_of(args[1])));
    if (!process) return fail("open-process");
    ::WaitForSingleObject(process.get(), INFINITE);
    FILETIME now{};
    ::GetSystemTimePreciseAsFileTime(&now);
    const ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    DWORD code = 0;
    ::GetExitCodeProcess(process.get(), &code);
    std::printf("exited-ms=%llu code=%lu\n", (ticks - 116444736000000000ull) / 10000u, code);
    return 0;
  }
  if (command == L"kill" && args.size() == 2) {
    OwnedHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, number_of(args[1])));
    if (!process || !::TerminateProcess(process.get(), 1)) return fail("terminate");
    std::printf("killed\n");
    return 0;
  }

  ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return fail("open-manager");

  if (command == L"install" && args.size() == 2) {
    const std::wstring binary = L"\"" + args[1] + L"\"";
    ServiceHandle created(
        ::CreateServiceW(manager.get(), kServiceName, L"Vornakel Connect Host", SERVICE_ALL_ACCESS,
                         SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                         binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!created) return fail("create-service");
    std::printf("installed\n");
    return 0;
  }

  ServiceHandle opened(::OpenServiceW(manager.get(), kServiceName, SERVICE_ALL_ACCESS));
  if (!opened) {
    if (command == L"delete") {
      std::printf("not-installed\n");
      return 0;
    }
    return fail("open-service");
  }
  SC_HANDLE service = opened.get();
  SERVICE_STATUS_PROCESS status{};
  ULONGLONG elapsed = 0;
  if (command == L"start") {
    if (!::StartServiceW(service, 0, nullptr)) return fail("start-service");
    const ULONGLONG start = ::GetTickCount64();
    while (query(service, status) && status.dwCurrentState == SERVICE_START_PENDING &&
           ::GetTickCount64() - start < 15000) {
      ::Sleep(20);
    }
    print_status("started ", status);
    return 0;
  }
  if (command == L"control" && args.size() == 2) {
    SERVICE_STATUS plain{};
    const DWORD code = number_of(args[1]);
    const BOOL ok = ::ControlService(service, code, &plain);
    std::printf("control %lu ok=%d error=%lu\n", code, ok ? 1 : 0, ok ? 0 : ::GetLastError());
    return 0;
  }
  if (command == L"query") {
    if (!query(service, status)) return fail("query");
    print_status("", status);
    return 0;
  }
  if (command == L"stop") {
    SERVICE_STATUS plain{};
    if (!::ControlService(service, SERVICE_CONTROL_STOP, &plain)) return fail("control-stop");
    std::printf("stop-report state=%lu\n", plain.dwCurrentState);
    const bool stopped = wait_for_state(service, SERVICE_STOPPED, 20000, status, elapsed);
    std::printf("stopped-after-ms=%llu\n", elapsed);
    print_status("final ", status);
    return stopped ? 0 : 1;
  }
  if (command == L"wait-stopped" && args.size() == 2) {
    const bool stopped =
        wait_for_state(service, SERVICE_STOPPED, number_of(args[1]), status, elapsed);
    print_status("final ", status);
    return stopped ? 0 : 1;
  }
  if (command == L"delete") {
    if (query(service, status) && status.dwCurrentState != SERVICE_STOPPED) {
      SERVICE_STATUS plain{};
      ::ControlService(service, SERVICE_CONTROL_STOP, &plain);
      wait_for_state(service, SERVICE_STOPPED, 20000, status, elapsed);
    }
    if (!::DeleteService(service)) return fail("delete-service");
    std::printf("deleted\n");
    return 0;
  }
  return 2;
}

// The words of one command line (plain ASCII: command names, numbers and executable names).
std::vector<std::wstring> words_of(const char* line) {
  std::vector<std::wstring> words;
  std::wstring word;
  for (const char* c = line;; ++c) {
    if (*c == '\0' || *c == ' ' || *c == '\t' || *c == '\r' || *c == '\n') {
      if (!word.empty()) words.push_back(word);
      word.clear();
      if (*c == '\0') return words;
    } else {
      word.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*c)));
    }
  }
}

int serve() {
  char line[1024];
  while (std::fgets(line, sizeof(line), stdin) != nullptr) {
    const std::vector<std::wstring> words = words_of(line);
    if (!words.empty() && process_command(words) == 2) std::printf("error unknown-command 0\n");
    std::printf(".\n");
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  if (std::wstring(argv[1]) == L"serve" && argc == 2) return serve();
  const int result = process_command(std::vector<std::wstring>(argv + 1, argv + argc));
  std::fflush(stdout);
  return result;
}
