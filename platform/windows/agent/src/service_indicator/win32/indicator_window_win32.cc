#include "service_indicator/win32/indicator_window_win32.h"

#include <string>

#include "common/win32/wide.h"
#include "service_indicator/window/paint_cycle.h"

namespace vornakel::service_indicator::win32 {
namespace {

using vornakel::win32::to_wide;

Rect rect_of(const RECT& r) { return Rect{r.left, r.top, r.right, r.bottom}; }

HWND control(HWND window, ControlId id) { return ::GetDlgItem(window, static_cast<int>(id)); }

IndicatorWindowState* state_of(HWND window) {
  return reinterpret_cast<IndicatorWindowState*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

COLORREF colour_for(const IndicatorWindowState& state, LogoColour colour) {
  switch (colour) {
    case LogoColour::kInk:
      return state.ink;
    case LogoColour::kPaper:
      return state.paper;
    case LogoColour::kMint:
      return state.mint;
  }
  return state.ink;
}

// The background, then the logo: three rounded squares, each with a 2-pixel solid pen. Every brush
// and pen is made for this paint and deleted after it, with the context's own put back first.
class IndicatorPaint final : public PaintTarget {
 public:
  IndicatorPaint(HWND window, const IndicatorWindowState& state) : window_(window), state_(state) {}

  bool begin() override {
    dc_ = ::BeginPaint(window_, &paint_info_);
    return dc_ != nullptr;
  }
  void draw() override {
    UniqueBrush background(::CreateSolidBrush(state_.paper));
    if (background) ::FillRect(dc_, &paint_info_.rcPaint, background.get());
    for (const LogoShape& shape : logo_shapes(state_.behaviour.expanded())) {
      UniqueBrush fill(::CreateSolidBrush(colour_for(state_, shape.fill)));
      UniquePen outline(::CreatePen(PS_SOLID, kLogoPenWidth, colour_for(state_, shape.outline)));
      if (!fill || !outline) continue;
      HGDIOBJ previous_brush = ::SelectObject(dc_, fill.get());
      HGDIOBJ previous_pen = ::SelectObject(dc_, outline.get());
      ::RoundRect(dc_, shape.rect.left, shape.rect.top, shape.rect.right, shape.rect.bottom,
                  shape.corner, shape.corner);
      ::SelectObject(dc_, previous_pen);
      ::SelectObject(dc_, previous_brush);
    }
  }
  void end() override { ::EndPaint(window_, &paint_info_); }
  void validate() override { ::ValidateRect(window_, nullptr); }

 private:
  HWND window_;
  const IndicatorWindowState& state_;
  PAINTSTRUCT paint_info_{};
  HDC dc_ = nullptr;
};

RECT win32_rect(const Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

LRESULT CALLBACK indicator_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    auto* state = static_cast<IndicatorWindowState*>(create->lpCreateParams);
    state->port.bind(window);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    return ::DefWindowProcW(window, message, wparam, lparam);
  }
  IndicatorWindowState* state = state_of(window);
  if (state == nullptr) {
    if (message == WM_DESTROY) ::PostQuitMessage(0);
    return ::DefWindowProcW(window, message, wparam, lparam);
  }
  WindowBehaviour& behaviour = state->behaviour;
  switch (message) {
    case WM_PAINT: {
      IndicatorPaint paint(window, *state);
      paint_once(paint);
      return 0;
    }
    case WM_CTLCOLORSTATIC: {
      // Labels and the read-only details box: ink on paper.
      HDC dc = reinterpret_cast<HDC>(wparam);
      ::SetTextColor(dc, state->ink);
      ::SetBkColor(dc, state->paper);
      return reinterpret_cast<LRESULT>(state->paper_brush.get());
    }
    case WM_TIMER:
      behaviour.on_timer(std::chrono::steady_clock::now());
      behaviour.hold_ground();
      return 0;
    case WM_COMMAND:
      if (behaviour.on_command(LOWORD(wparam))) return 0;
      break;
    case WM_CLOSE:
    case WM_HOTKEY:
      // Alt+F4, the system's close command and the shortcut ask for a stop; the window stays.
      behaviour.request_stop();
      return 0;
    case WM_NCHITTEST:
      if (behaviour.is_drag_band(static_cast<int16_t>(HIWORD(lparam)))) return HTCAPTION;
      break;
    case WM_MOVING:
    case WM_SIZING: {
      // The loop moves the window to whatever this rectangle holds on return.
      auto* proposed = reinterpret_cast<RECT*>(lparam);
      *proposed = win32_rect(behaviour.on_moving(rect_of(*proposed)));
      return TRUE;
    }
    case WM_EXITSIZEMOVE:
      behaviour.on_exit_size_move();
      return 0;
    case WM_SETTINGCHANGE:
    case WM_DISPLAYCHANGE:
      behaviour.on_display_change();
      return 0;
    case WM_DESTROY:
      behaviour.on_destroy();
      ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

// GetMonitorInfoW documents no last error: a failure is reported with code 0 rather than with
// whatever an earlier call left behind.
std::optional<Rect> work_area_of(HMONITOR monitor) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!::GetMonitorInfoW(monitor, &info)) {
    ::SetLastError(ERROR_SUCCESS);
    return std::nullopt;
  }
  return rect_of(info.rcWork);
}

}  // namespace

std::optional<Rect> HwndWindowPort::work_area() {
  monitor_ = ::MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST);
  return work_area_of(monitor_);
}

std::optional<Rect> HwndWindowPort::placed_monitor_work_area() {
  // A monitor that has gone fails the read; the nearest one is found again.
  if (monitor_ != nullptr) {
    if (std::optional<Rect> area = work_area_of(monitor_)) return area;
  }
  return work_area();
}

std::optional<Rect> HwndWindowPort::work_area_near(const Rect& rect) {
  const RECT r = win32_rect(rect);
  return work_area_of(::MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST));
}

std::optional<Rect> HwndWindowPort::window_rect() {
  RECT rect;
  if (!::GetWindowRect(window_, &rect)) return std::nullopt;
  return rect_of(rect);
}

bool HwndWindowPort::move_window(const Rect& r) {
  // Without SWP_NOCOPYBITS Windows keeps the old client contents at the top left, so a collapse
  // would go on showing the expanded logo (the logo's size changes and nothing else repaints it).
  return ::SetWindowPos(window_, HWND_TOPMOST, r.left, r.top, r.right - r.left, r.bottom - r.top,
                        SWP_NOACTIVATE | SWP_NOCOPYBITS) != FALSE;
}

void HwndWindowPort::show_window() {
  // The return value is the previous visibility; window_visible says what came of it.
  ::ShowWindow(window_, SW_SHOWNOACTIVATE);
}

bool HwndWindowPort::window_visible() { return ::IsWindowVisible(window_) != FALSE; }

bool HwndWindowPort::window_above() { return ::GetWindow(window_, GW_HWNDPREV) != nullptr; }

bool HwndWindowPort::raise_to_top() {
  return ::SetWindowPos(window_, HWND_TOPMOST, 0, 0, 0, 0,
                        SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE) != FALSE;
}

bool HwndWindowPort::show_control(ControlId id, bool shown) {
  HWND child = control(window_, id);
  if (child == nullptr) return false;
  // ShowWindow reports the previous visibility, not a failure.
  ::ShowWindow(child, shown ? SW_SHOW : SW_HIDE);
  return true;
}

bool HwndWindowPort::move_control(ControlId id, const ControlRect& r) {
  HWND child = control(window_, id);
  return child != nullptr && ::SetWindowPos(child, nullptr, r.x, r.y, r.width, r.height,
                                            SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
}

bool HwndWindowPort::set_control_text(ControlId id, std::u16string_view text) {
  HWND child = control(window_, id);
  if (child == nullptr) return false;
  return ::SetWindowTextW(child, to_wide(text).c_str()) != FALSE;
}

IndicatorWindowState::IndicatorWindowState(const WindowThreadStart& start,
                                           std::chrono::steady_clock::time_point start_instant)
    : ink(colour_value(start.brand.ink)),
      paper(colour_value(start.brand.paper)),
      mint(colour_value(start.brand.mint)),
      paper_brush(::CreateSolidBrush(paper)),
      behaviour(port, start.events, start.flags, start_instant) {}

void register_indicator_class(HINSTANCE instance) {
  const std::wstring class_name = to_wide(kWindowClassName);
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.style = CS_DROPSHADOW;
  window_class.lpfnWndProc = indicator_window_proc;
  window_class.hInstance = instance;
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  window_class.lpszClassName = class_name.c_str();
  (void)::RegisterClassExW(&window_class);
}

HWND create_indicator_window(HINSTANCE instance, IndicatorWindowState& state) {
  const Size size = window_size(true);
  return ::CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, to_wide(kWindowClassName).c_str(),
                           to_wide(kWindowTitle).c_str(), WS_POPUP | WS_BORDER, kCreatedAt.x,
                           kCreatedAt.y, size.width, size.height, nullptr, nullptr, instance,
                           &state);
}

}  // namespace vornakel::service_indicator::win32
