// Fakes for every seam of the command loop and the input host start-up: clocks that only move when
// told, a scripted command stream, a desktop that switches on demand, a display list, a backend
// factory whose backends log what they inject, and standard output in memory.
#ifndef VORNAKEL_TESTS_NATIVE_PROTOCOL_SUPPORT_LOOP_FAKES_H_
#define VORNAKEL_TESTS_NATIVE_PROTOCOL_SUPPORT_LOOP_FAKES_H_

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "native_protocol/authorization/unix_clock.h"
#include "native_protocol/command_loop_seams.h"
#include "native_protocol/command_queue.h"
#include "native_protocol/framing.h"
#include "native_protocol/injection/display_source.h"
#include "native_protocol/injection/input_backend_factory.h"
#include "native_protocol/injection/input_desktop.h"

namespace vornakel::native_protocol::testing {

class FakeUnixClock final : public UnixClock {
 public:
  explicit FakeUnixClock(uint64_t now) : now_(now) {}
  uint64_t now_unix_s() override { return now_; }
  uint64_t now_ = 0;
};

class FakeMonotonicClock final : public MonotonicClock {
 public:
  std::chrono::steady_clock::time_point now() override { return now_; }
  std::chrono::steady_clock::time_point now_{};
};

// Both clocks together, moved by the same amount; whole seconds follow the elapsed milliseconds.
class FakeTime {
 public:
  explicit FakeTime(uint64_t unix_s) : unix(unix_s) {}
  void advance(std::chrono::milliseconds step);

  FakeUnixClock unix;
  FakeMonotonicClock monotonic;

 private:
  std::chrono::milliseconds sub_second_{0};
};

// The command stream as a script. An empty wait lets the full 100 ms pass on the fake clocks, the
// way the real queue wait does; a hook may run before an item is handed out.
class ScriptedCommands final : public CommandReceiver {
 public:
  struct Item {
    Received kind = Received::kNothing;
    std::string line;
    std::function<void()> before;
  };

  explicit ScriptedCommands(FakeTime& time) : time_(time) {}

  ScriptedCommands& line(std::string text, std::function<void()> before = {});
  ScriptedCommands& nothing(std::function<void()> before = {});
  ScriptedCommands& end_of_input(std::function<void()> before = {});

  Received receive(std::chrono::milliseconds limit, std::string& line) override;

  std::size_t waits() const { return waits_; }
  std::size_t remaining() const { return items_.size(); }
  std::chrono::milliseconds last_limit() const { return last_limit_; }

 private:
  FakeTime& time_;
  std::deque<Item> items_;
  std::size_t waits_ = 0;
  std::chrono::milliseconds last_limit_{0};
};

// Every injected event and release, in one log shared by all backends of a test.
struct BackendLog {
  std::vector<std::string> events;
  // Backend number (1 for the first created) -> number of release_all calls.
  std::vector<int> releases;
  std::vector<bool> destroyed;
};

class LoopBackend final : public InputBackend {
 public:
  LoopBackend(BackendLog& log, int number, std::string display_id)
      : log_(log), number_(number), display_id_(std::move(display_id)) {}
  ~LoopBackend() override;

  Result<void, AdapterError> execute(const InputAction& action) override;
  Result<void, AdapterError> release_all() override;

  std::optional<AdapterError> fail_execute;
  std::optional<AdapterError> fail_release;
  // Set on failure, the way SendInput leaves the thread's last error.
  std::function<void()> on_failure;

 private:
  BackendLog& log_;
  int number_;
  std::string display_id_;
  // The held state a real backend keeps, so a release can be checked for what it lets go.
  std::vector<uint32_t> held_keys_;
  uint8_t held_modifiers_ = 0;
};

class FakeBackendFactory final : public InputBackendFactory {
 public:
  Result<std::unique_ptr<InputBackend>, AdapterError> create_backend(
      const DisplayRecord& display) override;

  BackendLog log;
  std::vector<std::string> created_for;  // display ids, in order
  std::optional<AdapterError> fail_next;
  // The most recently created backend, for arranging failures; owned by the loop.
  LoopBackend* latest = nullptr;
};

// Switches to the queued name on the next refresh, releasing and destroying the backend the way the
// real desktop tracking does.
class FakeDesktop final : public InputDesktop {
 public:
  explicit FakeDesktop(std::string initial) : input_desktop_(std::move(initial)) {}

  Result<bool> refresh_input_desktop(std::unique_ptr<InputBackend>& backend) override;
  const std::string& name() const override { return name_; }

  // What OpenInputDesktop would report from now on.
  std::string input_desktop_;
  std::optional<Error> fail_next;
  int refreshes = 0;

 private:
  std::string name_;
};

class FakeDisplays final : public DisplaySource {
 public:
  explicit FakeDisplays(std::vector<DisplayRecord> initial) : records(std::move(initial)) {}
  Result<std::vector<DisplayRecord>, AdapterError> enumerate_displays() override;

  std::vector<DisplayRecord> records;
  std::optional<AdapterError> fail;
  // The enumeration (counted from 1) that throws std::bad_alloc, as one would when memory runs out.
  int throw_at_enumeration = 0;
  int enumerations = 0;
};

class MemoryStatusSink final : public StatusSink {
 public:
  Status write(std::string_view bytes) override;
  Status flush() override;

  // Everything written, and what had been flushed at each flush.
  std::string bytes;
  std::vector<std::string> flushed_at;
  bool fail_flush = false;

  std::vector<std::string> lines() const;
};

class FakeLastError final : public LastErrorReader {
 public:
  uint32_t last_error() override { return code; }
  uint32_t code = 0;
};

DisplayRecord display(std::string id, int32_t x, int32_t y, uint32_t width, uint32_t height,
                      bool primary);

}  // namespace vornakel::native_protocol::testing

#endif  // VORNAKEL_TESTS_NATIVE_PROTOCOL_SUPPORT_LOOP_FAKES_H_
