#include "native_protocol/injection/win32/test_window.h"

namespace vornakel::native_protocol::testing {
namespace {

constexpr wchar_t kClassName[] = L"VornakelInputTestWindow";

bool is_input_message(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
         (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST && message != WM_MOUSEMOVE);
}

}  // namespace

TestWindow::TestWindow() {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = &TestWindow::procedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = kClassName;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  RegisterClassW(&window_class);  // fails harmlessly when already registered
  window_ = CreateWindowExW(WS_EX_TOPMOST, kClassName, L"input test", WS_POPUP | WS_VISIBLE, 200,
                            150, 640, 480, nullptr, nullptr, GetModuleHandleW(nullptr), this);
  if (window_ == nullptr) return;
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  SetActiveWindow(window_);
  SetFocus(window_);
  pump_until([this](const std::vector<ReceivedMessage>&) {
    return GetForegroundWindow() == window_ && GetFocus() == window_;
  });
  received_.clear();
}

TestWindow::~TestWindow() {
  if (window_ != nullptr) DestroyWindow(window_);
  pump();
}

RECT TestWindow::screen_rect() const {
  RECT rect{};
  GetWindowRect(window_, &rect);
  return rect;
}

void TestWindow::pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

bool TestWindow::pump_until(const std::function<bool(const std::vector<ReceivedMessage>&)>& done) {
  const ULONGLONG deadline = GetTickCount64() + 2000;
  while (true) {
    pump();
    if (done(received_)) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE,
                              static_cast<DWORD>(deadline - now < 50 ? deadline - now : 50),
                              QS_ALLINPUT);
  }
}

LRESULT CALLBACK TestWindow::procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr && is_input_message(message)) {
    self->received_.push_back({message, wparam, lparam, GetMessageExtraInfo()});
  }
  if (message == WM_MOUSEACTIVATE) return MA_ACTIVATE;
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace vornakel::native_protocol::testing
