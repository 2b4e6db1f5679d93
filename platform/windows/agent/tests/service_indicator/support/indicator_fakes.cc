#include "service_indicator/support/indicator_fakes.h"

#include <gtest/gtest.h>

#include <sstream>

#include "common/utf16.h"

namespace vornakel::service_indicator::testing {

ScriptedEvents& ScriptedEvents::event(IndicatorEvent e, std::function<void()> before) {
  steps_.push_back(Step{e, std::move(before)});
  return *this;
}

ScriptedEvents& ScriptedEvents::nothing(std::function<void()> before) {
  steps_.push_back(Step{std::nullopt, std::move(before)});
  return *this;
}

ScriptedEvents& ScriptedEvents::nothing_times(int count) {
  for (int i = 0; i < count; ++i) nothing();
  return *this;
}

std::optional<IndicatorEvent> ScriptedEvents::wait_for(std::chrono::milliseconds limit) {
  ++waits;
  last_limit = limit;
  if (steps_.empty()) {
    ADD_FAILURE() << "the loop waited past the end of the script";
    return Closed{};
  }
  Step step = std::move(steps_.front());
  steps_.pop_front();
  if (step.before) step.before();
  if (!step.event) clock_.now_ += limit;
  return step.event;
}

Status MemorySink::write(std::string_view bytes) {
  if (++writes_ == fail_write_number) return Error::os_from_win32(232);  // the pipe is closing
  pending.append(bytes);
  return Ok();
}

Status MemorySink::flush() {
  flushed += pending;
  pending.clear();
  return Ok();
}

std::vector<std::string> MemorySink::lines() const {
  std::vector<std::string> out;
  std::istringstream stream(flushed);
  for (std::string line; std::getline(stream, line);) out.push_back(line);
  return out;
}

namespace {

std::string numbers(std::initializer_list<int32_t> values) {
  std::string out;
  for (int32_t v : values) out += (out.empty() ? "" : ",") + std::to_string(v);
  return out;
}

int id_of(ControlId id) { return static_cast<int>(id); }

}  // namespace

bool FakeWindowPort::log(std::string call) {
  const std::string word = call.substr(0, call.find(' '));
  calls.push_back(std::move(call));
  return word != failing;
}

std::optional<Rect> FakeWindowPort::work_area() {
  if (!log("work-area")) return std::nullopt;
  return work;
}

std::optional<Rect> FakeWindowPort::placed_monitor_work_area() {
  if (!log("monitor-work-area")) return std::nullopt;
  return work;
}

std::optional<Rect> FakeWindowPort::work_area_near(const Rect& rect) {
  if (!log("work-area-near " + numbers({rect.left, rect.top, rect.right, rect.bottom}))) {
    return std::nullopt;
  }
  return work_near.value_or(work);
}

void FakeWindowPort::show_window() {
  (void)log("show-window");
  if (hidden_shows > 0) {
    --hidden_shows;
  } else {
    visible = true;
  }
}

bool FakeWindowPort::window_visible() { return visible; }

bool FakeWindowPort::window_above() { return above; }

bool FakeWindowPort::raise_to_top() {
  if (!log("raise")) return false;
  above = false;
  return true;
}

std::optional<Rect> FakeWindowPort::window_rect() {
  if (rect_fails) return std::nullopt;
  return window;
}

bool FakeWindowPort::move_window(const Rect& rect) {
  if (!log("move " + numbers({rect.left, rect.top, rect.right, rect.bottom}))) return false;
  window = rect;
  return true;
}

bool FakeWindowPort::show_control(ControlId id, bool shown) {
  return log("show " + std::to_string(id_of(id)) + (shown ? " 1" : " 0"));
}

bool FakeWindowPort::move_control(ControlId id, const ControlRect& r) {
  return log("control " + std::to_string(id_of(id)) + " " + numbers({r.x, r.y, r.width, r.height}));
}

bool FakeWindowPort::set_control_text(ControlId id, std::u16string_view text) {
  return log("text " + std::to_string(id_of(id)) + " " + utf8(text));
}

Status FakeLauncher::start_window(WindowThreadStart start) {
  if (fail_for == start.desktop) return Error::message("no thread for this window");
  if (send_ready) start.events.send(WindowReady{});
  started.push_back(std::move(start));
  return Ok();
}

std::string utf8(std::u16string_view text) { return utf16_to_utf8_lossy(text); }

}  // namespace vornakel::service_indicator::testing
