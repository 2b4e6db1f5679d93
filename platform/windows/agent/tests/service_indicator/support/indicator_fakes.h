// Fakes for the indicator's seams: a clock that moves only when told, a scripted event stream that
// lets the 100 ms pass on that clock when it has nothing to hand out, standard output in memory, a
// window whose calls are logged and can be made to fail, and a launcher that plays the windows.
#ifndef VORNAKEL_TESTS_SERVICE_INDICATOR_SUPPORT_INDICATOR_FAKES_H_
#define VORNAKEL_TESTS_SERVICE_INDICATOR_SUPPORT_INDICATOR_FAKES_H_

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "native_protocol/command_loop_seams.h"
#include "native_protocol/framing.h"
#include "service_indicator/indicator_event.h"
#include "service_indicator/indicator_session.h"
#include "service_indicator/window/window_behaviour.h"

namespace vornakel::service_indicator::testing {

class FakeClock final : public native_protocol::MonotonicClock {
 public:
  std::chrono::steady_clock::time_point now() override { return now_; }
  std::chrono::steady_clock::time_point now_{};
};

class ScriptedEvents final : public IndicatorEventSource {
 public:
  explicit ScriptedEvents(FakeClock& clock) : clock_(clock) {}

  // An event handed out at once; `before` runs first (to move the flags, for example).
  ScriptedEvents& event(IndicatorEvent e, std::function<void()> before = {});
  // A wait that runs out: the whole limit passes on the clock.
  ScriptedEvents& nothing(std::function<void()> before = {});
  ScriptedEvents& nothing_times(int count);

  std::optional<IndicatorEvent> wait_for(std::chrono::milliseconds limit) override;

  int waits = 0;
  std::chrono::milliseconds last_limit{0};
  size_t remaining() const { return steps_.size(); }

 private:
  struct Step {
    std::optional<IndicatorEvent> event;
    std::function<void()> before;
  };
  FakeClock& clock_;
  std::deque<Step> steps_;
};

class MemorySink final : public native_protocol::StatusSink {
 public:
  Status write(std::string_view bytes) override;
  Status flush() override;

  // Lines as flushed, line feeds removed.
  std::vector<std::string> lines() const;
  std::string flushed;
  std::string pending;
  // The write that fails: 1 for the first.
  int fail_write_number = 0;

 private:
  int writes_ = 0;
};

// Every call on the window, in order, as short words ("move 1548,718,1908,1068", "show 2 0",
// "control 10 44,12,154,24", "text 3 ‹  Show" in UTF-8, "show-window", "raise"); the window's
// rectangle and visibility and the windows above it are read without a word.
class FakeWindowPort final : public WindowPort {
 public:
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

  Rect work{0, 0, 1920, 1080};
  // What work_area_near answers; `work` when not set.
  std::optional<Rect> work_near;
  // How many show_window calls leave the window hidden (a parent that asked for a hidden start).
  int hidden_shows = 0;
  bool visible = false;
  // Whether a window is above this one; raise_to_top clears it.
  bool above = false;
  // Where the window is; move_window puts it there, a test may put it elsewhere (a drag).
  Rect window{12, 12, 372, 362};
  std::vector<std::string> calls;
  // The call (by its first word) that fails from now on.
  std::string failing;
  bool rect_fails = false;

 private:
  bool log(std::string call);
};

// Plays both windows: each start is recorded and may send events at once.
class FakeLauncher final : public WindowLauncher {
 public:
  Status start_window(WindowThreadStart start) override;

  std::vector<WindowThreadStart> started;
  bool send_ready = true;
  std::optional<DesktopName> fail_for;
};

std::string utf8(std::u16string_view text);

}  // namespace vornakel::service_indicator::testing

#endif  // VORNAKEL_TESTS_SERVICE_INDICATOR_SUPPORT_INDICATOR_FAKES_H_
