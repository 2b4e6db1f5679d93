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
#include <windows.h>
// After windows.h, which they depend on.
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr wchar_t kServiceName[] = L"VornakelConnectHost";

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

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring command = argv[1];

  if (command == L"alive" && argc == 3) {
    HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                   static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
    DWORD code = 0;
    const bool alive =
        process != nullptr && ::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    if (process != nullptr) ::CloseHandle(process);
    std::printf("%s\n", alive ? "alive" : "gone");
    return 0;
  }
  if (command == L"resources" && argc == 4) {
    HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE,
                                   static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
    if (process == nullptr) return fail("open-process");
    auto cpu_100ns = [process]() {
      FILETIME created, exited, kernel, user;
      ::GetProcessTimes(process, &created, &exited, &kernel, &user);
      auto value = [](const FILETIME& t) {
        return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
      };
      return value(kernel) + value(user);
    };
    const ULONGLONG seconds = std::wcstoul(argv[3], nullptr, 10);
    const ULONGLONG before = cpu_100ns();
    ::Sleep(static_cast<DWORD>(seconds * 1000));
    const ULONGLONG after = cpu_100ns();
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    ::GetProcessMemoryInfo(process, &memory, sizeof(memory));
    std::printf("cpu_ms=%.3f seconds=%llu peak_working_set=%llu working_set=%llu\n",
                static_cast<double>(after - before) / 10000.0, seconds,
                static_cast<unsigned long long>(memory.PeakWorkingSetSize),
                static_cast<unsigned long long>(memory.WorkingSetSize));
    ::CloseHandle(process);
    return 0;
  }

  SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) return fail("open-manager");

  if (command == L"install" && argc == 3) {
    const std::wstring binary = L"\"" + std::wstring(argv[2]) + L"\"";
    SC_HANDLE service =
        ::CreateServiceW(manager, kServiceName, L"Vornakel Connect Host", SERVICE_ALL_ACCESS,
                         SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                         binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    if (service == nullptr) return fail("create-service");
    std::printf("installed\n");
    ::CloseServiceHandle(service);
    ::CloseServiceHandle(manager);
    return 0;
  }

  SC_HANDLE service = ::OpenServiceW(manager, kServiceName, SERVICE_ALL_ACCESS);
  if (service == nullptr) {
    if (command == L"delete") {
      std::printf("not-installed\n");
      return 0;
    }
    return fail("open-service");
  }
  SERVICE_STATUS_PROCESS status{};
  ULONGLONG elapsed = 0;
  int result = 0;
  if (command == L"start") {
    if (!::StartServiceW(service, 0, nullptr)) return fail("start-service");
    const ULONGLONG start = ::GetTickCount64();
    while (query(service, status) && status.dwCurrentState == SERVICE_START_PENDING &&
           ::GetTickCount64() - start < 15000) {
      ::Sleep(20);
    }
    print_status("started ", status);
  } else if (command == L"control" && argc == 3) {
    SERVICE_STATUS plain{};
    const DWORD code = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
    const BOOL ok = ::ControlService(service, code, &plain);
    std::printf("control %lu ok=%d error=%lu\n", code, ok ? 1 : 0, ok ? 0 : ::GetLastError());
  } else if (command == L"query") {
    if (!query(service, status)) return fail("query");
    print_status("", status);
  } else if (command == L"stop") {
    SERVICE_STATUS plain{};
    if (!::ControlService(service, SERVICE_CONTROL_STOP, &plain)) return fail("control-stop");
    std::printf("stop-report state=%lu\n", plain.dwCurrentState);
    if (!wait_for_state(service, SERVICE_STOPPED, 20000, status, elapsed)) result = 1;
    std::printf("stopped-after-ms=%llu\n", elapsed);
    print_status("final ", status);
  } else if (command == L"wait-stopped" && argc == 3) {
    if (!wait_for_state(service, SERVICE_STOPPED, std::wcstoul(argv[2], nullptr, 10), status,
                        elapsed)) {
      result = 1;
    }
    print_status("final ", status);
  } else if (command == L"delete") {
    if (query(service, status) && status.dwCurrentState != SERVICE_STOPPED) {
      SERVICE_STATUS plain{};
      ::ControlService(service, SERVICE_CONTROL_STOP, &plain);
      wait_for_state(service, SERVICE_STOPPED, 20000, status, elapsed);
    }
    if (!::DeleteService(service)) return fail("delete-service");
    std::printf("deleted\n");
  } else {
    result = 2;
  }
  ::CloseServiceHandle(service);
  ::CloseServiceHandle(manager);
  std::fflush(stdout);
  return result;
}
