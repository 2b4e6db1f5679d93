#include "service_indicator/window/window_behaviour.h"

#include <utility>

namespace vornakel::service_indicator {

WindowBehaviour::WindowBehaviour(WindowPort& port, IndicatorEventSender events,
                                 std::shared_ptr<IndicatorFlags> flags,
                                 std::chrono::steady_clock::time_point start_instant)
    : port_(port),
      events_(std::move(events)),
      flags_(std::move(flags)),
      start_instant_(start_instant) {}

bool WindowBehaviour::place(bool expanded) {
  const std::optional<Rect> work_area = port_.work_area();
  if (!work_area) return false;
  placed_in_ = work_area;
  if (!port_.move_window(place_window(*work_area, anchor_, expanded))) return false;
  for (ControlId id : {ControlId::kPause, ControlId::kDetails, ControlId::kTitle}) {
    if (!port_.show_control(id, expanded)) return false;
  }
  for (ControlId id : {ControlId::kStatus, ControlId::kStop, ControlId::kCollapse}) {
    if (!port_.move_control(id, *control_rect(id, expanded))) return false;
  }
  return port_.set_control_text(ControlId::kCollapse, collapse_button_text(expanded)) &&
         port_.set_control_text(ControlId::kStop, stop_button_text(expanded));
}

void WindowBehaviour::place_or_stop(bool expanded) {
  if (!place(expanded) && shown_) {
    flags_->request_stop();
    events_.wake();
  }
}

bool WindowBehaviour::show() {
  port_.show_window();
  if (!port_.window_visible()) port_.show_window();
  if (!port_.window_visible()) return false;
  shown_ = true;
  return true;
}

void WindowBehaviour::request_stop() {
  flags_->request_stop();
  events_.send(StopRequested{});
}

bool WindowBehaviour::on_command(int32_t id) {
  switch (static_cast<ControlId>(id)) {
    case ControlId::kStop:
      request_stop();
      return true;
    case ControlId::kPause:
      // The texts follow on the next tick, in both windows alike.
      flags_->toggle_pause();
      events_.wake();
      return true;
    case ControlId::kCollapse:
      expanded_ = !expanded_;
      place_or_stop(expanded_);
      return true;
    default:
      return false;
  }
}

bool WindowBehaviour::is_drag_band(int32_t y) {
  const std::optional<Rect> rect = port_.window_rect();
  if (!rect) return false;
  const int64_t offset = int64_t{y} - rect->top;
  return offset >= 0 && offset < drag_band_height(expanded_);
}

Rect WindowBehaviour::on_moving(const Rect& proposed) {
  const std::optional<Rect> work_area = port_.work_area_near(proposed);
  if (!work_area) return proposed;
  return keep_inside(*work_area, proposed);
}

void WindowBehaviour::on_exit_size_move() {
  const std::optional<Rect> rect = port_.window_rect();
  if (!rect) return;
  anchor_ = Point{rect->right, rect->bottom};
  place_or_stop(expanded_);
}

void WindowBehaviour::on_display_change() { place_or_stop(expanded_); }

void WindowBehaviour::on_timer(std::chrono::steady_clock::time_point now) {
  const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - start_instant_);
  const bool paused = flags_->input_paused();
  // A text that does not update now will on the next tick.
  (void)port_.set_control_text(ControlId::kStatus, status_text(elapsed, paused, expanded_));
  // The button's text changes only with the flag; setting it again would repaint the button
  // every second for nothing, which is most of what an idle indicator costs.
  if (pause_text_shows_ != paused) {
    pause_text_shows_ = port_.set_control_text(ControlId::kPause, pause_button_text(paused))
                            ? std::optional<bool>(paused)
                            : std::nullopt;
  }
}

void WindowBehaviour::hold_ground() {
  const std::optional<Rect> work_area = port_.placed_monitor_work_area();
  if (work_area && work_area != placed_in_) place_or_stop(expanded_);
  // Tried again on the next tick if it fails.
  if (port_.window_above()) (void)port_.raise_to_top();
}

void WindowBehaviour::on_destroy() {
  if (shown_) events_.send(Closed{});
}

Result<StopShortcut, int32_t> register_stop_shortcut(
    const std::function<std::optional<int32_t>(uint32_t virtual_key)>& try_register) {
  int32_t last_failure = 0;
  for (const StopShortcut& shortcut : kStopShortcuts) {
    const std::optional<int32_t> failure = try_register(shortcut.virtual_key);
    if (!failure) return shortcut;
    last_failure = *failure;
  }
  return last_failure;
}

}  // namespace vornakel::service_indicator
