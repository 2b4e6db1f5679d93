// The indicator's top-level window on Win32: its class, its per-window state and its window
// procedure, which decodes each message for the portable WindowBehaviour and paints the logo.
#ifndef VORNAKEL_SERVICE_INDICATOR_WIN32_INDICATOR_WINDOW_WIN32_H_
#define VORNAKEL_SERVICE_INDICATOR_WIN32_INDICATOR_WINDOW_WIN32_H_

#include <windows.h>

#include <chrono>
#include <optional>
#include <string_view>

#include "service_indicator/brand.h"
#include "service_indicator/indicator_session.h"
#include "service_indicator/win32/window_resources_win32.h"
#include "service_indicator/window/window_behaviour.h"

namespace vornakel::service_indicator::win32 {

// WindowPort on one HWND and its child controls (found by id).
class HwndWindowPort final : public WindowPort {
 public:
  void bind(HWND window) { window_ = window; }

  std::optional<Rect> work_area() override;
  std::optional<Rect> placed_monitor_work_area() override;
  std::optional<Rect> work_area_near(const Rect& rect) override;
  std::optional<Rect> window_rect() override;
  bool move_window(const Rect& rect) override;
  void show_window() override;
  bool window_visible() override;
  bool window_above() override;
  bool raise_to_top() override;
  bool show_control(ControlId id, bool shown) override;
  bool move_control(ControlId id, const ControlRect& rect) override;
  bool set_control_text(ControlId id, std::u16string_view text) override;

 private:
  HWND window_ = nullptr;
  HMONITOR monitor_ = nullptr;
};

// Created by the window thread before the window and attached to it as its user data; the thread
// owns it and frees it (brush deleted, event sender dropped) once the window is gone.
struct IndicatorWindowState {
  IndicatorWindowState(const WindowThreadStart& start,
                       std::chrono::steady_clock::time_point start_instant);

  HwndWindowPort port;
  COLORREF ink;
  COLORREF paper;
  COLORREF mint;
  UniqueBrush paper_brush;
  WindowBehaviour behaviour;
};

// Registers "VornakelProtectedSessionIndicator" for the process. A second registration fails and
// is harmless: classes belong to the process, and the other window thread registered it first.
void register_indicator_class(HINSTANCE instance);

// Creates the top-level window (popup, border, topmost tool window) at its creation rectangle.
HWND create_indicator_window(HINSTANCE instance, IndicatorWindowState& state);

}  // namespace vornakel::service_indicator::win32

#endif  // VORNAKEL_SERVICE_INDICATOR_WIN32_INDICATOR_WINDOW_WIN32_H_
