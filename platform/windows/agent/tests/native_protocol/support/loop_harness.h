// A command loop over fakes, set up the way the input host's start-up leaves it: attached to
// "Default", the primary of two displays current, one backend, an approved session.
#ifndef VORNAKEL_TESTS_NATIVE_PROTOCOL_SUPPORT_LOOP_HARNESS_H_
#define VORNAKEL_TESTS_NATIVE_PROTOCOL_SUPPORT_LOOP_HARNESS_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "native_protocol/command_loop.h"
#include "native_protocol/support/loop_fakes.h"

namespace vornakel::native_protocol::testing {

inline constexpr uint64_t kStartS = 1'800'000'000;
inline constexpr uint32_t kPointerAndKeyboard =
    permission_bit(Permission::kSendPointer) | permission_bit(Permission::kSendKeyboard);

// Command lines, line feed included.
std::string key_line(uint32_t seq, const std::string& code, bool down, int modifiers = 0);
std::string pointer_line(uint32_t seq, double x, double y, int buttons);
std::string scroll_line(uint32_t seq, int vertical, int horizontal);
std::string message_line(uint32_t seq, const std::string& type_and_members);
std::string carry_line(uint64_t expires_at_unix_s);
std::string display_line(const std::string& id);
std::string relative_line(int dx, int dy);

// The context the input host's start-up hands the loop: attached to the input desktop, a session
// approved now with `permissions` until `lease_end_s`, a backend made for `display`. Null, with
// the test failed, where a fake refuses.
std::unique_ptr<LoopContext> approved_context(const LoopSeams& seams, const DisplayRecord& display,
                                              uint32_t permissions = kPointerAndKeyboard,
                                              uint64_t lease_end_s = kStartS + 60);

class LoopTest : public ::testing::Test {
 public:
  LoopTest();

  // Builds the context; call after adjusting displays or permissions.
  void start(uint32_t permissions = kPointerAndKeyboard, uint64_t lease_end_s = kStartS + 60);
  Status run();
  // The error line the start-up code writes for the loop's failure.
  std::string error_line() const;

  FakeTime time{kStartS};
  ScriptedCommands commands{time};
  MemoryStatusSink status;
  FakeDesktop desktop{"Default"};
  FakeDisplays displays;
  FakeBackendFactory backends;
  FakeLastError last_error;
  std::unique_ptr<LoopContext> context;
};

}  // namespace vornakel::native_protocol::testing

#endif  // VORNAKEL_TESTS_NATIVE_PROTOCOL_SUPPORT_LOOP_HARNESS_H_
