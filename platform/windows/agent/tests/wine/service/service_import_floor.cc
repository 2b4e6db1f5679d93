// The memory floor for the service's working set under Wine: a program that imports the same
// system DLLs as vornakel_windows_service (so Wine maps and initialises the same libraries) and
// then only sleeps. The benchmark subtracts its peak working set from the service's.
#include <windows.h>
// After windows.h, which it depends on.
#include <shellscalingapi.h>

int wmain(int argc, wchar_t**) {
  // Never true when run by the benchmark; the calls keep the imports in the program.
  if (argc > 7) {
    ::GetSystemMetrics(0);
    UINT x = 0;
    UINT y = 0;
    ::GetDpiForMonitor(nullptr, MDT_EFFECTIVE_DPI, &x, &y);
    ::RegisterServiceCtrlHandlerExW(L"", nullptr, nullptr);
  }
  for (;;) ::Sleep(1000);
}
