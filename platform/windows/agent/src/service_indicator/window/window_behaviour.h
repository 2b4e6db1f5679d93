// What an indicator window does with the user's actions and the system's notices, apart from the
// window system itself: asking for a stop, flipping the pause flag, collapsing and expanding,
// keeping the anchor the user dragged it to, refreshing its texts on the timer, and reporting its
// end. The Win32 window procedure decodes each message and calls the matching member.
#ifndef VORNAKEL_SERVICE_INDICATOR_WINDOW_WINDOW_BEHAVIOUR_H_
#define VORNAKEL_SERVICE_INDICATOR_WINDOW_WINDOW_BEHAVIOUR_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "common/result.h"
#include "service_indicator/indicator_event.h"
#include "service_indicator/window/window_layout.h"

namespace vornakel::service_indicator {

// The calls on its own window that the behaviour needs. Each returns false when the call failed.
class WindowPort {
 public:
  virtual ~WindowPort() = default;
  // The work area of the monitor nearest to the window.
  virtual std::optional<Rect> work_area() = 0;
  // The work area, now, of the monitor the last work_area call found: the tick's question, which
  // needs no search for the monitor (under Wine each search costs as much as the read).
  virtual std::optional<Rect> placed_monitor_work_area() = 0;
  // The work area of the monitor nearest to `rect` (where a drag is taking the window).
  virtual std::optional<Rect> work_area_near(const Rect& rect) = 0;
  virtual std::optional<Rect> window_rect() = 0;
  // Moves and sizes the window, inserted as topmost, without activating it.
  virtual bool move_window(const Rect& rect) = 0;
  // Shows the window without activating it; whether it is visible is asked separately, since the
  // call reports the previous visibility, not what became of the window.
  virtual void show_window() = 0;
  virtual bool window_visible() = 0;
  // Whether any top-level window is above this one in the z-order (one question to the window
  // system: this is asked every second).
  virtual bool window_above() = 0;
  // To the top of the always-on-top band, without activating it, moving or sizing it.
  virtual bool raise_to_top() = 0;
  virtual bool show_control(ControlId id, bool shown) = 0;
  // Without changing z-order or activation.
  virtual bool move_control(ControlId id, const ControlRect& rect) = 0;
  virtual bool set_control_text(ControlId id, std::u16string_view text) = 0;
};

class WindowBehaviour {
 public:
  WindowBehaviour(WindowPort& port, IndicatorEventSender events,
                  std::shared_ptr<IndicatorFlags> flags,
                  std::chrono::steady_clock::time_point start_instant);

  // The placement rule for the given state; false at the first failing call. Setup reports that
  // failure itself; later ones go through the handlers below.
  bool place(bool expanded);

  // Setup's last step. The first show of a process can be overridden by how its parent asked
  // it to start (a hidden start makes it hide the window), so a window that is not visible
  // afterwards is shown once more; false when it still is not. Once visible, its destruction is
  // reported.
  bool show();
  void mark_shown() { shown_ = true; }
  bool shown() const { return shown_; }
  bool expanded() const { return expanded_; }

  // WM_CLOSE, WM_HOTKEY and the Stop button: ask for a stop; the window stays.
  void request_stop();
  // WM_COMMAND. False for ids the window does not handle (default processing).
  bool on_command(int32_t id);
  // Whether a hit test at screen row `y` falls in the drag band (the caption).
  bool is_drag_band(int32_t y);
  // WM_MOVING, WM_SIZING: the rectangle a move or size loop is about to give the window, kept
  // inside the work area of its monitor at every step (the remote could otherwise hold a drag past
  // the edge for as long as it liked). Left as it is when the work area cannot be read.
  Rect on_moving(const Rect& proposed);
  // WM_EXITSIZEMOVE: the user left the window somewhere; its corner becomes the anchor.
  void on_exit_size_move();
  // WM_SETTINGCHANGE, WM_DISPLAYCHANGE.
  void on_display_change();
  // WM_TIMER: the status text and the pause button's text.
  void on_timer(std::chrono::steady_clock::time_point now);
  // WM_TIMER too, after on_timer: the placement again when the work area changed (the notices of
  // a change do not cross desktops, so the "Winlogon" window would never hear of one), and back
  // to the top of the always-on-top band when another window is above it (another program's
  // topmost window, or one the remote opened), doing nothing while it is on top. Any window
  // counts, covering or not, seen or not: one raise puts the window above them all, and telling
  // them apart would cost several questions every second.
  void hold_ground();
  // WM_DESTROY.
  void on_destroy();

 private:
  // After setup a failed placement leaves the window as it is and asks for a stop through the
  // flag alone: the main loop notices it within one wait.
  void place_or_stop(bool expanded);

  WindowPort& port_;
  IndicatorEventSender events_;
  std::shared_ptr<IndicatorFlags> flags_;
  std::chrono::steady_clock::time_point start_instant_;
  std::optional<Point> anchor_;
  // Which state the pause button's text was last set for; nullopt before the first tick and after
  // a failed update.
  std::optional<bool> pause_text_shows_;
  // The work area the last placement was made for.
  std::optional<Rect> placed_in_;
  bool shown_ = false;
  bool expanded_ = true;
};

// Tries the stop shortcuts in order. `try_register` returns nullopt when the key registered and
// the failure's code otherwise; the result is the first key that registered, or the code of the
// last attempt.
Result<StopShortcut, int32_t> register_stop_shortcut(
    const std::function<std::optional<int32_t>(uint32_t virtual_key)>& try_register);

}  // namespace vornakel::service_indicator

#endif  // VORNAKEL_SERVICE_INDICATOR_WINDOW_WINDOW_BEHAVIOUR_H_
