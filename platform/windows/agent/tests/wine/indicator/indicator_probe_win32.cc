// Reads the indicator's windows from outside, the way another program on the desktop sees them:
//
//   vornakel_indicator_probe.exe list     one "window" line per indicator window on "Default" and
//                                         "Winlogon", each followed by one "control" line per child
//   vornakel_indicator_probe.exe close    posts WM_CLOSE to every indicator window
//   vornakel_indicator_probe.exe cover    opens a topmost window of its own over the indicator
//                                         window on "Default" and watches, for at most 10 s,
//                                         whether the indicator comes back above it:
//                                         "cover covered=1 under=1 before=m:ss after=m:ss
//                                         foreground=1" (the status texts when the cover opened
//                                         and when it was first seen under the indicator; whether
//                                         the cover kept the foreground)
//   vornakel_indicator_probe.exe inject DESKTOP (marker|plain) (click X Y|down X Y|to X Y|up)...
//                                         on that desktop, what the input host does: SetCursorPos,
//                                         then SendInput of the left button's press or release
//                                         (or an absolute move) with the extra information 100
//                                         ("marker") or 0 ("plain"); screen pixels
//
// window desktop=D rect=L,T,R,B client=X,Y work=L,T,R,B style=0x... exstyle=0x... visible=V
// focus=ID title=T control desktop=D id=N class=C rect=X,Y,W,H visible=V style=0x... text=T
//
// Rectangles of controls are in the window's client pixels; texts are UTF-8 with "\r", "\n" and
// "\\" escaped, read with WM_GETTEXT. (Wine answers WM_GETFONT from another process with no
// font, so fonts are not read here.)
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kClass[] = L"VornakelProtectedSessionIndicator";

std::string utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\\') {
      out += "\\\\";
    } else {
      out += c;
    }
  }
  return out;
}

std::wstring text_of(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) {
    return L"<no answer>";
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, 2000, &copied);
  text.resize(copied);
  return text;
}

std::vector<HWND> indicator_windows(HDESK desktop) {
  std::vector<HWND> found;
  EnumDesktopWindows(
      desktop,
      [](HWND window, LPARAM param) -> BOOL {
        wchar_t name[64];
        if (GetClassNameW(window, name, 64) > 0 && std::wstring(name) == kClass) {
          reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

std::vector<HWND> children_of(HWND window) {
  std::vector<HWND> children;
  EnumChildWindows(
      window,
      [](HWND child, LPARAM param) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&children));
  return children;
}

void list_window(const char* desktop, HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  int focus = 0;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gui) && gui.hwndFocus) {
    focus = GetDlgCtrlID(gui.hwndFocus);
  }
  POINT client{0, 0};
  ClientToScreen(window, &client);
  const RECT& w = monitor.rcWork;
  std::printf(
      "window desktop=%s rect=%ld,%ld,%ld,%ld client=%ld,%ld work=%ld,%ld,%ld,%ld style=0x%08lX "
      "exstyle=0x%08lX visible=%d focus=%d title=%s\n",
      desktop, rect.left, rect.top, rect.right, rect.bottom, client.x, client.y, w.left, w.top,
      w.right, w.bottom, static_cast<unsigned long>(GetWindowLongW(window, GWL_STYLE)),
      static_cast<unsigned long>(GetWindowLongW(window, GWL_EXSTYLE)),
      IsWindowVisible(window) ? 1 : 0, focus, escaped(utf8(text_of(window))).c_str());
  for (HWND child : children_of(window)) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    wchar_t name[64] = L"";
    GetClassNameW(child, name, 64);
    std::printf(
        "control desktop=%s id=%d class=%s rect=%ld,%ld,%ld,%ld visible=%d style=0x%08lX "
        "text=%s\n",
        desktop, GetDlgCtrlID(child), utf8(name).c_str(), r.left, r.top, r.right - r.left,
        r.bottom - r.top, IsWindowVisible(child) ? 1 : 0,
        static_cast<unsigned long>(GetWindowLongW(child, GWL_STYLE)),
        escaped(utf8(text_of(child))).c_str());
  }
}

// The status label's text of an indicator window ("Session active  ·  0:07").
std::string status_of(HWND window) {
  HWND status = GetDlgItem(window, 10);
  return status == nullptr ? "?" : utf8(text_of(status));
}

// Whether `window` is above `other` in the z-order.
bool above(HWND window, HWND other) {
  for (HWND w = GetWindow(other, GW_HWNDPREV); w != nullptr; w = GetWindow(w, GW_HWNDPREV)) {
    if (w == window) return true;
  }
  return false;
}

void pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

int cover(HDESK desktop) {
  const std::vector<HWND> found = indicator_windows(desktop);
  if (found.empty()) return 3;
  HWND indicator = found.front();
  RECT r{};
  GetWindowRect(indicator, &r);
  HWND cover = CreateWindowExW(
      WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"STATIC", L"cover", WS_POPUP | WS_BORDER, r.left, r.top,
      r.right - r.left, r.bottom - r.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (cover == nullptr) return 3;
  ShowWindow(cover, SW_SHOW);
  SetForegroundWindow(cover);
  pump();
  const bool covered = above(cover, indicator);
  const std::string before = status_of(indicator);
  bool under = false;
  for (int waited = 0; waited < 100 && !under; ++waited) {
    Sleep(100);
    pump();
    under = above(indicator, cover);
  }
  std::printf("cover covered=%d under=%d before=%s after=%s foreground=%d\n", covered ? 1 : 0,
              under ? 1 : 0, before.c_str(), status_of(indicator).c_str(),
              GetForegroundWindow() == cover ? 1 : 0);
  DestroyWindow(cover);
  return 0;
}

bool send_mouse(DWORD flags, LONG x, LONG y, ULONG_PTR extra) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = x;
  input.mi.dy = y;
  input.mi.dwFlags = flags;
  input.mi.dwExtraInfo = extra;
  return SendInput(1, &input, sizeof input) == 1;
}

// The absolute coordinate of a screen pixel, over the primary screen's size.
LONG normalised(LONG v, int size) { return (v * 65535 + (size - 1) / 2) / (size - 1); }

int inject(int argc, LPWSTR* argv) {
  ULONG_PTR extra = 0;
  for (int i = 3; i < argc;) {
    const std::wstring word = argv[i++];
    auto number = [&]() { return i < argc ? _wtol(argv[i++]) : 0L; };
    if (word == L"marker" || word == L"plain") {
      extra = word == L"marker" ? 100 : 0;
    } else if (word == L"click" || word == L"down") {
      const LONG x = number(), y = number();
      SetCursorPos(x, y);
      Sleep(100);
      if (!send_mouse(MOUSEEVENTF_LEFTDOWN, 0, 0, extra)) return 4;
      if (word == L"click" && !send_mouse(MOUSEEVENTF_LEFTUP, 0, 0, extra)) return 4;
    } else if (word == L"to") {
      const LONG x = number(), y = number();
      if (!send_mouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE,
                      normalised(x, GetSystemMetrics(SM_CXSCREEN)),
                      normalised(y, GetSystemMetrics(SM_CYSCREEN)), extra)) {
        return 4;
      }
    } else if (word == L"up") {
      if (!send_mouse(MOUSEEVENTF_LEFTUP, 0, 0, extra)) return 4;
    } else {
      return 2;
    }
    Sleep(150);
  }
  std::printf("injected\n");
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || argc < 2) return 2;
  const std::wstring command = argv[1];
  if (command == L"cover" || (command == L"inject" && argc > 2)) {
    const wchar_t* name = command == L"cover" ? L"Default" : argv[2];
    HDESK desktop = OpenDesktopW(name, 0, FALSE, GENERIC_ALL);
    if (desktop == nullptr || !SetThreadDesktop(desktop)) return 3;
    const int status = command == L"cover" ? cover(desktop) : inject(argc, argv);
    std::fflush(stdout);
    return status;
  }
  if (argc != 2 || (command != L"list" && command != L"close")) return 2;
  for (const char* desktop_name : {"Default", "Winlogon"}) {
    const std::wstring wide_name(desktop_name,
                                 desktop_name + std::char_traits<char>::length(desktop_name));
    HDESK desktop = OpenDesktopW(wide_name.c_str(), 0, FALSE,
                                 DESKTOP_READOBJECTS | DESKTOP_ENUMERATE | DESKTOP_WRITEOBJECTS);
    if (desktop == nullptr) {
      std::printf("no desktop %s (error %lu)\n", desktop_name, GetLastError());
      continue;
    }
    // The probe owns no window, so it may move to each desktop in turn.
    SetThreadDesktop(desktop);
    for (HWND window : indicator_windows(desktop)) {
      if (command == L"list") {
        list_window(desktop_name, window);
      } else {
        PostMessageW(window, WM_CLOSE, 0, 0);
        std::printf("closed desktop=%s\n", desktop_name);
      }
    }
  }
  std::fflush(stdout);
  return 0;
}
