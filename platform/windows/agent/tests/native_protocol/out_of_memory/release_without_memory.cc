// Letting go of held input when memory has run out: the backend's release, the end of a session
// that failed at any allocation, and the process entry's last line.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "common/exit_status.h"
#include "native_protocol/authorization/authorization_state.h"
#include "native_protocol/injection/injecting_backend.h"
#include "native_protocol/input_host.h"
#include "native_protocol/support/loop_fakes.h"
#include "native_protocol/support/loop_harness.h"
#include "out_of_memory/allocation_hook.h"

namespace vornakel::native_protocol::testing {
namespace {

using vornakel::testing::NoMemoryAfter;

// The keyboard and mouse as the system sees them, in fixed storage: recording takes no memory.
struct Machine {
  std::array<bool, 256> keys{};   // by virtual-key code
  std::array<bool, 6> buttons{};  // 1 to 5
  int refuse_sends = 0;           // the next sends SendInput refuses
  int most_down = 0;              // the most keys and buttons down at once

  int down() const {
    int count = 0;
    for (bool key : keys) count += key ? 1 : 0;
    for (bool button : buttons) count += button ? 1 : 0;
    return count;
  }
};

class MachineInjector final : public InputInjector {
 public:
  explicit MachineInjector(Machine& machine) : machine_(machine) {}

  bool send_input(const InjectedEvent& event) override {
    if (machine_.refuse_sends > 0) {
      --machine_.refuse_sends;
      return false;
    }
    if (event.kind == InjectedEvent::Kind::kKeyboard) {
      machine_.keys[event.vk & 0xFF] = (event.flags & 0x2) == 0;
    } else {
      struct Flags {
        uint32_t press, release, data;
        int button;
      };
      static constexpr Flags kButtons[] = {{0x2, 0x4, 0, 1},
                                           {0x8, 0x10, 0, 2},
                                           {0x20, 0x40, 0, 3},
                                           {0x80, 0x100, 1, 4},
                                           {0x80, 0x100, 2, 5}};
      for (const Flags& b : kButtons) {
        if (b.data != event.mouse_data) continue;
        if (event.flags & b.press) machine_.buttons[b.button] = true;
        if (event.flags & b.release) machine_.buttons[b.button] = false;
      }
    }
    machine_.most_down = std::max(machine_.most_down, machine_.down());
    return true;
  }
  Result<void, AdapterError> set_cursor_pos(int32_t, int32_t) override { return {}; }
  std::optional<CursorPoint> cursor_pos() override { return CursorPoint{}; }
  int32_t primary_screen_width() override { return 1920; }
  int32_t primary_screen_height() override { return 1080; }
  bool enter_per_monitor_dpi_awareness() override { return true; }
  void restore_dpi_awareness() override {}
  uint32_t scan_code_for(uint16_t vk) override { return vk; }

 private:
  Machine& machine_;
};

// Standard output in fixed storage.
class FixedStatusSink final : public StatusSink {
 public:
  Status write(std::string_view bytes) override {
    if (size_ + bytes.size() > sizeof(bytes_)) return Error::fixed_message("output full");
    std::memcpy(bytes_ + size_, bytes.data(), bytes.size());
    size_ += bytes.size();
    return Ok();
  }
  Status flush() override { return Ok(); }
  std::string_view bytes() const { return std::string_view(bytes_, size_); }

 private:
  char bytes_[1024];
  std::size_t size_ = 0;
};

DisplayRecord primary() { return display("\\\\.\\DISPLAY1", 0, 0, 1920, 1080, true); }

void press_keys_and_buttons(InputBackend& backend) {
  ASSERT_TRUE(backend.execute(KeyAction{4, 0x02, true}).ok());  // left Shift, then A
  ASSERT_TRUE(backend.execute(ButtonAction{1, true}).ok());
  ASSERT_TRUE(backend.execute(ButtonAction{4, true}).ok());
}

TEST(ReleaseWithoutMemory, TheBackendLetsGoOfEverythingWithoutAllocating) {
  Machine machine;
  auto backend =
      std::make_unique<InjectingBackend>(primary(), std::make_unique<MachineInjector>(machine));
  press_keys_and_buttons(*backend);
  ASSERT_EQ(machine.down(), 4);
  bool released = false;
  {
    NoMemoryAfter none(0);
    released = backend->release_all().ok();
  }
  EXPECT_TRUE(released);
  EXPECT_EQ(machine.down(), 0);

  // A refused release is an error value, still made without memory; the rest goes up all the same.
  press_keys_and_buttons(*backend);
  machine.refuse_sends = 1;
  std::optional<Result<void, AdapterError>> refused;
  {
    NoMemoryAfter none(0);
    refused.emplace(backend->release_all());
  }
  ASSERT_FALSE(refused->ok());
  EXPECT_EQ(
      refused->error(),
      AdapterError::platform("not all input events were sent. they may have been blocked by UIPI"));
  EXPECT_EQ(machine.down(), 1);

  // The destructor tries again for whatever is left, and cannot throw while doing so.
  press_keys_and_buttons(*backend);
  machine.refuse_sends = 1;
  {
    NoMemoryAfter none(0);
    backend.reset();
  }
  EXPECT_EQ(machine.down(), 0);
}

// One session over fakes that need no memory, with the real backend and a script that presses
// keys and buttons, as the loop meets it whatever allocation fails.
struct Session {
  Session() {
    LoopSeams seams{time.unix, time.monotonic, commands, status,
                    desktop,   displays,       backends, last_error};
    context = approved_context(seams, primary());
    commands.line(key_line(1, "ShiftLeft", true, 8))
        .line(key_line(2, "KeyA", true, 8))
        .line(pointer_line(3, 0.5, 0.5, 1))
        .line(pointer_line(4, 0.25, 0.5, 9))
        .line(scroll_line(5, 1, 0))
        .line(key_line(6, "ControlRight", true, 10))
        .line("{\"type\":\"close\"}\n");
  }

  FakeTime time{kStartS};
  ScriptedCommands commands{time};
  FixedStatusSink status;
  FakeDesktop desktop{"Default"};
  FakeDisplays displays{{primary()}};
  Machine machine;
  InjectingBackendFactory backends{[this] { return std::make_unique<MachineInjector>(machine); }};
  FakeLastError last_error;
  std::unique_ptr<LoopContext> context;
};

TEST(ReleaseWithoutMemory, ASessionEndingAtAnyFailedAllocationReleasesAllAndWritesItsErrorLine) {
  const std::string_view error_start = "{\"type\":\"error\",\"stage\":\"";
  std::size_t allowed = 0;
  for (;; ++allowed) {
    ASSERT_LT(allowed, 20000u) << "the session never completed";
    Session session;
    std::optional<Status> result;
    {
      NoMemoryAfter some(allowed);
      result.emplace(run_session_loop(*session.context));
    }
    ASSERT_EQ(session.machine.down(), 0) << "after " << allowed << " allocations";
    ASSERT_FALSE(session.context->backend);
    const std::string_view out = session.status.bytes();
    if (result->ok()) {
      EXPECT_TRUE(out.empty());
      // The whole script ran: five keys and buttons were down before the end let them go.
      EXPECT_EQ(session.machine.most_down, 5);
      break;
    }
    // A failure is either the want of memory itself or a refusal it caused (a line that could not
    // be parsed); in both cases one error line, the last and only output of the loop.
    EXPECT_TRUE(result->error() == Error::message(kInputHostOutOfMemory) ||
                result->error() == generic_rejection())
        << result->error().text() << " after " << allowed << " allocations";
    ASSERT_EQ(out.substr(0, error_start.size()), error_start) << out;
    EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
  }
  EXPECT_GT(allowed, 10u);  // the loop needs memory: the early failures were exercised
}

// The entry's last word when the error cannot even be displayed.
TEST(ReleaseWithoutMemory, TheEntryWritesAFixedLineWhenNothingElseCanBeWritten) {
  struct Written {
    char bytes[128];
    std::size_t size = 0;
    void add(std::string_view text) {
      std::memcpy(bytes + size, text.data(), text.size());
      size += text.size();
    }
    std::string_view text() const { return std::string_view(bytes, size); }
  };
  auto write_error = [](Written& out) {
    return [&out](const Error& error) {
      const std::string line = "Windows host service: " + std::string(error.text()) + "\n";
      out.add(line);
    };
  };
  auto write_fixed = [](Written& out) { return [&out](std::string_view line) { out.add(line); }; };
  const std::string long_text(64, 'x');

  Written with_memory;
  EXPECT_EQ(exit_status_of([&] { return Status(Error::message(long_text)); },
                           write_error(with_memory), write_fixed(with_memory)),
            1);
  EXPECT_EQ(with_memory.text(), "Windows host service: " + long_text + "\n");

  Written success;
  EXPECT_EQ(exit_status_of([] { return Ok(); }, write_error(success), write_fixed(success)), 0);
  EXPECT_EQ(success.text(), "");

  Written without_memory;
  Status failure = Error::message(long_text);
  int exit_status = 0;
  {
    NoMemoryAfter none(0);
    exit_status = exit_status_of([&failure] { return std::move(failure); },
                                 write_error(without_memory), write_fixed(without_memory));
  }
  EXPECT_EQ(exit_status, 1);
  EXPECT_EQ(without_memory.text(), kOutOfMemoryLine);

  Written thrown;
  EXPECT_EQ(exit_status_of([]() -> Status { throw std::bad_alloc(); }, write_error(thrown),
                           write_fixed(thrown)),
            1);
  EXPECT_EQ(thrown.text(), kOutOfMemoryLine);
}

}  // namespace
}  // namespace vornakel::native_protocol::testing
