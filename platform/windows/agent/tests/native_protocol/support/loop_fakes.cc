#include "native_protocol/support/loop_fakes.h"

#include <new>

#include <algorithm>
#include <sstream>
#include <type_traits>
#include <utility>
#include <variant>

namespace vornakel::native_protocol::testing {

void FakeTime::advance(std::chrono::milliseconds step) {
  monotonic.now_ += step;
  sub_second_ += step;
  while (sub_second_ >= std::chrono::seconds(1)) {
    sub_second_ -= std::chrono::seconds(1);
    ++unix.now_;
  }
}

ScriptedCommands& ScriptedCommands::line(std::string text, std::function<void()> before) {
  items_.push_back(Item{Received::kLine, std::move(text), std::move(before)});
  return *this;
}

ScriptedCommands& ScriptedCommands::nothing(std::function<void()> before) {
  items_.push_back(Item{Received::kNothing, {}, std::move(before)});
  return *this;
}

ScriptedCommands& ScriptedCommands::end_of_input(std::function<void()> before) {
  items_.push_back(Item{Received::kEndOfInput, {}, std::move(before)});
  return *this;
}

Received ScriptedCommands::receive(std::chrono::milliseconds limit, std::string& line) {
  ++waits_;
  last_limit_ = limit;
  if (items_.empty()) return Received::kEndOfInput;
  Item item = std::move(items_.front());
  items_.pop_front();
  if (item.before) item.before();
  if (item.kind == Received::kNothing) time_.advance(limit);
  if (item.kind == Received::kLine) line = std::move(item.line);
  return item.kind;
}

LoopBackend::~LoopBackend() { log_.destroyed[number_ - 1] = true; }

Result<void, AdapterError> LoopBackend::execute(const InputAction& action) {
  if (fail_execute) {
    if (on_failure) on_failure();
    return *fail_execute;
  }
  std::ostringstream text;
  text << "b" << number_ << ' ';
  std::visit(
      [&](const auto& a) {
        using A = std::decay_t<decltype(a)>;
        if constexpr (std::is_same_v<A, MoveAction>) {
          text << (a.mode == MoveAction::Mode::kAbsolute ? "move-abs " : "move-rel ")
               << a.display_id << ' ' << a.x << ' ' << a.y;
        } else if constexpr (std::is_same_v<A, ButtonAction>) {
          text << "button " << a.button << (a.down ? " down" : " up");
        } else if constexpr (std::is_same_v<A, ScrollAction>) {
          text << "scroll " << a.vertical << ' ' << a.horizontal;
        } else if constexpr (std::is_same_v<A, KeyAction>) {
          text << "key " << a.usage << (a.down ? " down" : " up") << " mods "
               << static_cast<int>(a.modifier_state);
          if (a.down) {
            held_keys_.push_back(a.usage);
          } else {
            held_keys_.erase(std::remove(held_keys_.begin(), held_keys_.end(), a.usage),
                             held_keys_.end());
          }
          held_modifiers_ = a.modifier_state;
        } else {
          text << "unexpected-action";
        }
      },
      action);
  log_.events.push_back(text.str());
  return {};
}

Result<void, AdapterError> LoopBackend::release_all() {
  ++log_.releases[number_ - 1];
  if (fail_release) return *fail_release;
  std::ostringstream text;
  text << "b" << number_ << " release";
  for (uint32_t key : held_keys_) text << " key " << key;
  if (held_modifiers_ != 0) text << " mods " << static_cast<int>(held_modifiers_);
  if (!held_keys_.empty() || held_modifiers_ != 0) log_.events.push_back(text.str());
  held_keys_.clear();
  held_modifiers_ = 0;
  return {};
}

Result<std::unique_ptr<InputBackend>, AdapterError> FakeBackendFactory::create_backend(
    const DisplayRecord& display) {
  if (fail_next) {
    AdapterError error = *fail_next;
    fail_next.reset();
    return error;
  }
  log.releases.push_back(0);
  log.destroyed.push_back(false);
  created_for.push_back(display.id);
  auto backend =
      std::make_unique<LoopBackend>(log, static_cast<int>(created_for.size()), display.id);
  latest = backend.get();
  return std::unique_ptr<InputBackend>(std::move(backend));
}

Result<bool> FakeDesktop::refresh_input_desktop(std::unique_ptr<InputBackend>& backend) {
  ++refreshes;
  if (fail_next) {
    Error error = *fail_next;
    fail_next.reset();
    return error;
  }
  if (input_desktop_ != "Default" && input_desktop_ != "Winlogon") return generic_rejection();
  if (input_desktop_ == name_) return false;
  // Released before the move and again after it, then destroyed, as the real tracking does.
  if (backend) (void)backend->release_all();
  name_ = input_desktop_;
  if (backend) {
    (void)backend->release_all();
    backend.reset();
  }
  return true;
}

Result<std::vector<DisplayRecord>, AdapterError> FakeDisplays::enumerate_displays() {
  if (++enumerations == throw_at_enumeration) throw std::bad_alloc();
  if (fail) return *fail;
  return records;
}

Status MemoryStatusSink::write(std::string_view text) {
  bytes.append(text);
  return Ok();
}

Status MemoryStatusSink::flush() {
  if (fail_flush) return Error::os_from_win32(232);  // the pipe is being closed
  flushed_at.push_back(bytes);
  return Ok();
}

std::vector<std::string> MemoryStatusSink::lines() const {
  std::vector<std::string> result;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size() - 1;
    result.push_back(bytes.substr(start, end - start + 1));
    start = end + 1;
  }
  return result;
}

DisplayRecord display(std::string id, int32_t x, int32_t y, uint32_t width, uint32_t height,
                      bool primary) {
  DisplayRecord record;
  record.device = id;
  record.name = id;
  record.id = std::move(id);
  record.x = x;
  record.y = y;
  record.width = width;
  record.height = height;
  record.primary = primary;
  return record;
}

}  // namespace vornakel::native_protocol::testing
