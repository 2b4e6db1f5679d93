// The comparison program of scripts/bench/indicator_figures.sh: what the indicator must do at the
// least, and nothing more. Like the indicator it writes a line and reads one line from standard
// input; then one thread per desktop ("Default" and "Winlogon") attaches to it, shows a topmost
// popup with one label and updates the label on a one-second timer. It writes {"type":"ready"}
// once both windows are shown and ends when standard input closes. The script measures both
// programs the same way in the same run.
#include <windows.h>

#include <initializer_list>

namespace {

constexpr UINT_PTR kTimerId = 1;
constexpr int kLabelId = 10;
HANDLE g_shown = nullptr;

bool write_line(const char* text) {
  DWORD written = 0;
  return WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, lstrlenA(text), &written, nullptr) != 0;
}

bool read_line(HANDLE input) {
  char byte = 0;
  DWORD read = 0;
  while (ReadFile(input, &byte, 1, &read, nullptr) && read == 1) {
    if (byte == '\n') return true;
  }
  return false;
}

DWORD WINAPI wait_for_end_of_input(void* input) {
  char byte = 0;
  DWORD read = 0;
  ReadFile(static_cast<HANDLE>(input), &byte, 1, &read, nullptr);
  ExitProcess(0);
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_TIMER) {
    static thread_local unsigned seconds = 0;
    wchar_t text[32];
    ++seconds;
    wsprintfW(text, L"Active  %u:%02u", seconds / 60, seconds % 60);
    SetWindowTextW(GetDlgItem(window, kLabelId), text);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

DWORD WINAPI run_desktop_window(void* name) {
  HDESK desktop = OpenDesktopW(static_cast<const wchar_t*>(name), 0, FALSE, 0x87);
  if (desktop == nullptr || !SetThreadDesktop(desktop)) ExitProcess(1);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  HWND window = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"VornakelWindowFloor",
                                L"One window", WS_POPUP | WS_BORDER, 100, 100, 360, 350, nullptr,
                                nullptr, instance, nullptr);
  if (window == nullptr) ExitProcess(1);
  CreateWindowExW(0, L"STATIC", L"Active  0:00", WS_CHILD | WS_VISIBLE, 20, 56, 320, 24, window,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLabelId)), instance, nullptr);
  SetTimer(window, kTimerId, 1000, nullptr);
  ShowWindow(window, SW_SHOWNOACTIVATE);
  ReleaseSemaphore(g_shown, 1, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  write_line("{\"type\":\"stage\",\"stage\":\"waiting\"}\n");
  if (!read_line(input)) return 1;
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = window_proc;
  window_class.hInstance = instance;
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  window_class.lpszClassName = L"VornakelWindowFloor";
  if (!RegisterClassW(&window_class)) return 1;
  g_shown = CreateSemaphoreW(nullptr, 0, 2, nullptr);
  static wchar_t default_name[] = L"Default";
  static wchar_t winlogon_name[] = L"Winlogon";
  for (wchar_t* name : {default_name, winlogon_name}) {
    CloseHandle(CreateThread(nullptr, 0, run_desktop_window, name, 0, nullptr));
  }
  for (int shown = 0; shown < 2; ++shown) WaitForSingleObject(g_shown, INFINITE);
  write_line("{\"type\":\"ready\"}\n");
  wait_for_end_of_input(input);
  return 0;
}
