// However the session ends, the held input is let go on the desktop the person is on, even when the
// input desktop changed in the loop's last wait, and before the error line is written.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <utility>

#include "native_protocol/authorization/authorization_state.h"
#include "native_protocol/input_host.h"
#include "native_protocol/support/loop_fakes.h"
#include "native_protocol/support/loop_harness.h"

namespace vornakel::native_protocol::testing {
namespace {

// The machine as the person at it sees it: Windows delivers injected input only from a thread on
// the input desktop, so whatever is sent from anywhere else never reaches it.
struct Machine {
  explicit Machine(FakeDesktop& d, MemoryStatusSink& s) : desktop(d), status(s) {}
  bool reachable() const { return desktop.name() == desktop.input_desktop_; }

  FakeDesktop& desktop;
  MemoryStatusSink& status;
  std::set<std::string> down;                    // "key N", "button N"
  std::size_t status_bytes_at_last_release = 0;  // how much output there was when all went up
};

// A backend that keeps what it pressed, as the real one does, and releases it again as it goes.
class DesktopBoundBackend final : public InputBackend {
 public:
  explicit DesktopBoundBackend(Machine& machine) : machine_(machine) {}
  ~DesktopBoundBackend() override { (void)release_all(); }

  Result<void, AdapterError> execute(const InputAction& action) override {
    std::string name;
    bool down = false;
    if (const auto* key = std::get_if<KeyAction>(&action)) {
      name = "key " + std::to_string(key->usage);
      down = key->down;
    } else if (const auto* button = std::get_if<ButtonAction>(&action)) {
      name = "button " + std::to_string(button->button);
      down = button->down;
    } else {
      return {};
    }
    if (!machine_.reachable()) return AdapterError::platform_fixed("blocked");
    if (down) {
      held_.insert(name);
      machine_.down.insert(name);
    } else {
      held_.erase(name);
      machine_.down.erase(name);
    }
    return {};
  }

  Result<void, AdapterError> release_all() override {
    if (held_.empty()) return {};
    if (!machine_.reachable()) return AdapterError::platform_fixed("blocked");
    for (const std::string& name : held_) machine_.down.erase(name);
    held_.clear();
    machine_.status_bytes_at_last_release = machine_.status.bytes.size();
    return {};
  }

 private:
  Machine& machine_;
  std::set<std::string> held_;
};

class BoundBackends final : public InputBackendFactory {
 public:
  explicit BoundBackends(Machine& machine) : machine_(machine) {}
  Result<std::unique_ptr<InputBackend>, AdapterError> create_backend(
      const DisplayRecord&) override {
    return std::unique_ptr<InputBackend>(std::make_unique<DesktopBoundBackend>(machine_));
  }

 private:
  Machine& machine_;
};

enum class Ending { kClose, kEndOfInput, kRefusedInjection };

class SessionEndDesktopTest : public ::testing::TestWithParam<Ending> {
 protected:
  Status run_session() {
    const DisplayRecord primary = *choose_primary(displays.records);
    LoopSeams seams{time.unix, time.monotonic, commands, status,
                    desktop,   displays,       backends, last_error};
    auto context = approved_context(seams, primary);
    if (!context) return Error::message("the fakes refused the session");
    return run_session_loop(*context);
  }

  FakeTime time{kStartS};
  ScriptedCommands commands{time};
  MemoryStatusSink status;
  FakeDesktop desktop{"Default"};
  FakeDisplays displays{{display("\\\\.\\DISPLAY1", 0, 0, 1920, 1080, true)}};
  Machine machine{desktop, status};
  BoundBackends backends{machine};
  FakeLastError last_error;
};

TEST_P(SessionEndDesktopTest, NothingStaysDownOnTheDesktopSwitchedToInTheLastWait) {
  auto switch_to_winlogon = [this] { desktop.input_desktop_ = "Winlogon"; };
  commands.line(key_line(1, "KeyA", true)).line(pointer_line(2, 0.5, 0.5, 1));
  switch (GetParam()) {
    case Ending::kClose:
      commands.line("{\"type\":\"close\"}\n", switch_to_winlogon);
      break;
    case Ending::kEndOfInput:
      commands.end_of_input(switch_to_winlogon);
      break;
    case Ending::kRefusedInjection:
      commands.line(key_line(3, "KeyB", true), switch_to_winlogon);
      break;
  }
  const Status result = run_session();
  ASSERT_EQ(machine.down.size(), 0u) << *machine.down.begin();
  EXPECT_EQ(desktop.name(), "Winlogon");
  if (GetParam() != Ending::kRefusedInjection) {
    EXPECT_TRUE(result.ok());
    EXPECT_TRUE(status.bytes.empty());
    return;
  }
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(status.bytes, "{\"type\":\"error\",\"stage\":\"input-api-rejected\",\"win32\":0}\n");
  // Let go before the line: the release does not wait on the agent's pipe.
  EXPECT_EQ(machine.status_bytes_at_last_release, 0u);
}

INSTANTIATE_TEST_SUITE_P(EveryEnding, SessionEndDesktopTest,
                         ::testing::Values(Ending::kClose, Ending::kEndOfInput,
                                           Ending::kRefusedInjection));

}  // namespace
}  // namespace vornakel::native_protocol::testing
