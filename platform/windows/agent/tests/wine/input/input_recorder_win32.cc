// A window that records the input it receives, for the end-to-end input session tests: every key
// transition with its virtual key, scan code and extended bit, every button and wheel event with
// the pointer position, written one line each to a log file and flushed at once.
//
//   vornakel_input_recorder.exe <log file> <seconds to live> [--timestamps]
//
// It covers the whole primary screen (so an absolute move anywhere lands on it), takes the
// foreground, writes "ready" as its first line, and closes after the given time or as soon as a
// file named "<log file>.stop" appears. With --timestamps every key line ends with " t=" and the
// arrival time in microseconds since the Unix epoch (for latency measurements).
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

FILE* g_log = nullptr;
bool g_timestamps = false;
std::wstring g_stop_file;
ULONGLONG g_deadline = 0;

void log_line(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(g_log, format, args);
  va_end(args);
  std::fputc('\n', g_log);
  std::fflush(g_log);
}

// Button and wheel messages carry client coordinates (wheels: screen coordinates); the window sits
// at the screen origin, but convert anyway so that the log always shows screen pixels.
POINT screen_point(HWND window, LPARAM lparam, bool already_screen) {
  POINT point{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
  if (!already_screen) ClientToScreen(window, &point);
  return point;
}

long long unix_microseconds() {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  const unsigned long long ticks =
      (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return static_cast<long long>(ticks / 10 - 11644473600000000ull);
}

void log_key(const char* what, WPARAM wparam, LPARAM lparam) {
  if (g_timestamps) {
    log_line("%s vk=0x%02X t=%lld", what, static_cast<unsigned>(wparam), unix_microseconds());
    return;
  }
  const unsigned scan = (static_cast<unsigned>(lparam) >> 16) & 0xFF;
  const unsigned extended = (static_cast<unsigned>(lparam) >> 24) & 1;
  log_line("%s vk=0x%02X scan=0x%02X ext=%u extra=%lld", what, static_cast<unsigned>(wparam), scan,
           extended, static_cast<long long>(GetMessageExtraInfo()));
}

void log_button(HWND window, const char* what, LPARAM lparam) {
  POINT p = screen_point(window, lparam, false);
  log_line("%s x=%ld y=%ld", what, p.x, p.y);
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      log_key("keydown", wparam, lparam);
      return 0;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      log_key("keyup", wparam, lparam);
      return 0;
    case WM_LBUTTONDOWN:
      log_button(window, "button1 down", lparam);
      return 0;
    case WM_LBUTTONUP:
      log_button(window, "button1 up", lparam);
      return 0;
    case WM_RBUTTONDOWN:
      log_button(window, "button2 down", lparam);
      return 0;
    case WM_RBUTTONUP:
      log_button(window, "button2 up", lparam);
      return 0;
    case WM_MBUTTONDOWN:
      log_button(window, "button3 down", lparam);
      return 0;
    case WM_MBUTTONUP:
      log_button(window, "button3 up", lparam);
      return 0;
    case WM_XBUTTONDOWN:
    case WM_XBUTTONUP: {
      // X button 1 is "back" (button 4), X button 2 "forward" (button 5).
      const int number = GET_XBUTTON_WPARAM(wparam) == XBUTTON1 ? 4 : 5;
      POINT p = screen_point(window, lparam, false);
      log_line("button%d %s x=%ld y=%ld", number, message == WM_XBUTTONDOWN ? "down" : "up", p.x,
               p.y);
      return TRUE;
    }
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL: {
      POINT p = screen_point(window, lparam, true);
      log_line("%s delta=%d x=%ld y=%ld", message == WM_MOUSEWHEEL ? "wheel" : "hwheel",
               static_cast<int>(GET_WHEEL_DELTA_WPARAM(wparam)), p.x, p.y);
      return 0;
    }
    case WM_TIMER:
      if (GetTickCount64() >= g_deadline ||
          GetFileAttributesW(g_stop_file.c_str()) != INVALID_FILE_ATTRIBUTES) {
        DestroyWindow(window);
      }
      return 0;
    case WM_DESTROY:
      log_line("closed");
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || argc < 3) return 2;
  g_timestamps = argc > 3 && std::wstring(argv[3]) == L"--timestamps";
  g_log = _wfopen(argv[1], L"wb");
  if (g_log == nullptr) return 3;
  g_stop_file = std::wstring(argv[1]) + L".stop";
  g_deadline = GetTickCount64() + 1000ull * static_cast<ULONGLONG>(_wtoi(argv[2]));

  WNDCLASSW window_class{};
  window_class.lpfnWndProc = window_proc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  window_class.lpszClassName = L"VornakelInputRecorder";
  if (!RegisterClassW(&window_class)) return 4;

  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  HWND window = CreateWindowExW(WS_EX_TOPMOST, window_class.lpszClassName, L"Input recorder",
                                WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr, nullptr,
                                instance, nullptr);
  if (window == nullptr) return 5;
  SetForegroundWindow(window);
  SetFocus(window);
  SetTimer(window, 1, 50, nullptr);
  log_line("ready screen=%dx%d foreground=%d", width, height, GetForegroundWindow() == window);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  std::fclose(g_log);
  return 0;
}
