// The desktop side of the indicator's end-to-end tests under Wine, which has no "Winlogon" desktop
// and no other program that could hold the stop shortcut:
//
//   vornakel_indicator_harness.exe <stop file> [--winlogon] [--hold KEYS@DESKTOP]...
//
//   --winlogon          creates the "Winlogon" desktop on "WinSta0" and keeps it in use (Wine
//                       unlinks a desktop's name once the last program using it has gone, even
//                       while a handle to it is open, so a thread of the harness stays on it)
//   --hold F12,F11@Default
//                       registers Ctrl+Alt+Shift with each key as a hotkey of a hidden window on
//                       that desktop, so that the indicator finds them taken
//
// It prints "ready" and one line per held key once everything is in place, and ends when the stop
// file appears (or after ten minutes).
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Hold {
  std::wstring desktop;
  std::vector<UINT> keys;
};

UINT key_named(const std::wstring& name) {
  if (name == L"F12") return VK_F12;
  if (name == L"F11") return VK_F11;
  if (name == L"F10") return VK_F10;
  return 0;
}

bool parse_hold(const std::wstring& spec, Hold& hold) {
  const size_t at = spec.find(L'@');
  if (at == std::wstring::npos) return false;
  hold.desktop = spec.substr(at + 1);
  std::wstring keys = spec.substr(0, at) + L",";
  for (size_t start = 0, comma; (comma = keys.find(L',', start)) != std::wstring::npos;
       start = comma + 1) {
    const UINT key = key_named(keys.substr(start, comma - start));
    if (key == 0) return false;
    hold.keys.push_back(key);
  }
  return !hold.keys.empty();
}

// One thread per desktop: a hotkey belongs to the desktop of the window it is registered for.
void hold_keys(const Hold& hold, HANDLE registered, bool* ok) {
  HDESK desktop = OpenDesktopW(hold.desktop.c_str(), 0, FALSE, GENERIC_ALL);
  if (desktop == nullptr || !SetThreadDesktop(desktop)) {
    std::printf("cannot attach to %ls: error %lu\n", hold.desktop.c_str(), GetLastError());
    SetEvent(registered);
    return;
  }
  HWND window = CreateWindowExW(0, L"STATIC", L"shortcut holder", WS_POPUP, 0, 0, 1, 1, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
  bool all = window != nullptr;
  for (size_t i = 0; all && i < hold.keys.size(); ++i) {
    if (RegisterHotKey(window, static_cast<int>(i + 1), MOD_CONTROL | MOD_ALT | MOD_SHIFT,
                       hold.keys[i])) {
      std::printf("holding F%u@%ls\n", hold.keys[i] - VK_F1 + 1, hold.desktop.c_str());
    } else {
      std::printf("cannot hold F%u@%ls: error %lu\n", hold.keys[i] - VK_F1 + 1,
                  hold.desktop.c_str(), GetLastError());
      all = false;
    }
  }
  *ok = all;
  SetEvent(registered);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || argc < 2) return 2;
  const std::wstring stop_file = argv[1];
  bool winlogon = false;
  std::vector<Hold> holds;
  for (int i = 2; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--winlogon") {
      winlogon = true;
    } else if (arg == L"--hold" && i + 1 < argc) {
      Hold hold;
      if (!parse_hold(argv[++i], hold)) return 2;
      holds.push_back(hold);
    } else {
      return 2;
    }
  }

  HDESK created = nullptr;
  if (winlogon) {
    // Creating a desktop needs WINSTA_CREATEDESKTOP on the process's window station.
    HWINSTA station = OpenWindowStationW(L"WinSta0", FALSE, WINSTA_ALL_ACCESS);
    if (station == nullptr || !SetProcessWindowStation(station)) {
      std::printf("cannot attach to WinSta0: error %lu\n", GetLastError());
      return 3;
    }
    created = CreateDesktopW(L"Winlogon", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    if (created == nullptr) {
      std::printf("cannot create Winlogon: error %lu\n", GetLastError());
      return 3;
    }
    holds.insert(holds.begin(), Hold{L"Winlogon", {}});
  }

  std::vector<std::thread> holders;
  for (size_t i = 0; i < holds.size(); ++i) {
    HANDLE registered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool ok = false;
    holders.emplace_back(hold_keys, std::cref(holds[i]), registered, &ok);
    WaitForSingleObject(registered, 10000);
    CloseHandle(registered);
    if (!ok) {
      std::fflush(stdout);
      ExitProcess(4);
    }
  }
  std::printf("ready\n");
  std::fflush(stdout);

  for (int waited = 0; waited < 600 * 20; ++waited) {
    if (GetFileAttributesW(stop_file.c_str()) != INVALID_FILE_ATTRIBUTES) break;
    Sleep(50);
  }
  if (created != nullptr) CloseDesktop(created);
  // The holder threads sit in their message loops; the process ends with them.
  std::fflush(stdout);
  ExitProcess(0);
}
