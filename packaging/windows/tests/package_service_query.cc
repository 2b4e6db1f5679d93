// Reads the service "VornakelConnectHost" back from the service control manager for the package's
// tests and demonstration, one "key=value" line per fact (a Linux parent sees only 8 bits of an
// exit code, so everything worth knowing is printed).
//   config   binary=, type=, start=, error=, account=, display=; "not-installed" when absent
//   start    starts it, waits while it is START_PENDING, then prints state= and exit=
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kServiceName[] = L"VornakelConnectHost";

std::string utf8(const wchar_t* text) {
  if (text == nullptr || *text == L'\0') return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.resize(static_cast<size_t>(size) - 1);
  return out;
}

int fail(const char* what) {
  std::printf("error %s %lu\n", what, ::GetLastError());
  return 1;
}

class ServiceHandle {
 public:
  explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  ~ServiceHandle() {
    if (handle_ != nullptr) ::CloseServiceHandle(handle_);
  }
  SC_HANDLE get() const { return handle_; }

 private:
  SC_HANDLE handle_;
};

int print_config(SC_HANDLE service) {
  DWORD needed = 0;
  ::QueryServiceConfigW(service, nullptr, 0, &needed);
  if (needed == 0 || needed > 64 * 1024) return fail("query-config-size");
  std::vector<QUERY_SERVICE_CONFIGW> storage(needed / sizeof(QUERY_SERVICE_CONFIGW) + 1);
  auto* config = storage.data();
  if (!::QueryServiceConfigW(service, config,
                             static_cast<DWORD>(storage.size() * sizeof(QUERY_SERVICE_CONFIGW)),
                             &needed)) {
    return fail("query-config");
  }
  std::printf("binary=%s\n", utf8(config->lpBinaryPathName).c_str());
  std::printf("type=%lu\n", config->dwServiceType);
  std::printf("start=%lu\n", config->dwStartType);
  std::printf("error=%lu\n", config->dwErrorControl);
  std::printf("account=%s\n", utf8(config->lpServiceStartName).c_str());
  std::printf("display=%s\n", utf8(config->lpDisplayName).c_str());
  return 0;
}

int start(SC_HANDLE service) {
  if (!::StartServiceW(service, 0, nullptr)) return fail("start");
  SERVICE_STATUS_PROCESS status{};
  const ULONGLONG begun = ::GetTickCount64();
  for (;;) {
    DWORD needed = 0;
    if (!::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                sizeof status, &needed)) {
      return fail("query-status");
    }
    if (status.dwCurrentState != SERVICE_START_PENDING || ::GetTickCount64() - begun > 15000) {
      break;
    }
    ::Sleep(20);
  }
  std::printf("state=%lu\nexit=%lu\n", status.dwCurrentState, status.dwWin32ExitCode);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  const std::wstring command = argv[1];
  if (command != L"config" && command != L"start") return 2;
  const ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (manager.get() == nullptr) return fail("open-manager");
  const DWORD access =
      command == L"start" ? SERVICE_START | SERVICE_QUERY_STATUS : SERVICE_QUERY_CONFIG;
  const ServiceHandle service(::OpenServiceW(manager.get(), kServiceName, access));
  if (service.get() == nullptr) {
    if (::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) {
      std::printf("not-installed\n");
      return 0;
    }
    return fail("open-service");
  }
  return command == L"start" ? start(service.get()) : print_config(service.get());
}
