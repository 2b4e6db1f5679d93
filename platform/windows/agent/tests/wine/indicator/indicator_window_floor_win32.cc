// The comparison program of scripts/bench/indicator_figures.sh: a Wine program that only shows one
// window. Like the indicator it writes a line, reads one line from standard input, then shows a
// topmost popup and writes {"type":"ready"}, and ends when standard input closes. The script
// measures both programs the same way in the same run.
#include <windows.h>

namespace {

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
  return DefWindowProcW(window, message, wparam, lparam);
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
  HWND window = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, window_class.lpszClassName,
                                L"One window", WS_POPUP | WS_BORDER, 100, 100, 360, 350, nullptr,
                                nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  ShowWindow(window, SW_SHOWNOACTIVATE);
  write_line("{\"type\":\"ready\"}\n");
  CloseHandle(CreateThread(nullptr, 0, wait_for_end_of_input, input, 0, nullptr));
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
