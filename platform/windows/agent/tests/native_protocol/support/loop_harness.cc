#include "native_protocol/support/loop_harness.h"

#include <utility>

#include "native_protocol/authorization/authorization_state.h"

namespace vornakel::native_protocol::testing {

std::string message_line(uint32_t seq, const std::string& type_and_members) {
  return "{\"type\":\"control\",\"message\":{\"v\":1,\"seq\":" + std::to_string(seq) + "," +
         type_and_members + "}}\n";
}

std::string key_line(uint32_t seq, const std::string& code, bool down, int modifiers) {
  return message_line(seq, "\"type\":\"key-transition\",\"code\":\"" + code +
                               "\",\"down\":" + (down ? "true" : "false") +
                               ",\"modifiers\":" + std::to_string(modifiers));
}

std::string pointer_line(uint32_t seq, double x, double y, int buttons) {
  return message_line(seq, "\"type\":\"pointer\",\"x\":" + std::to_string(x) + ",\"y\":" +
                               std::to_string(y) + ",\"buttons\":" + std::to_string(buttons));
}

std::string scroll_line(uint32_t seq, int vertical, int horizontal) {
  return message_line(seq, "\"type\":\"scroll\",\"horizontal\":" + std::to_string(horizontal) +
                               ",\"vertical\":" + std::to_string(vertical));
}

std::string carry_line(uint64_t expires_at_unix_s) {
  return "{\"type\":\"carry\",\"expiresAtUnixS\":" + std::to_string(expires_at_unix_s) + "}\n";
}

std::string display_line(const std::string& id) {
  return "{\"type\":\"display\",\"id\":\"" + id +
         "\",\"x\":0,\"y\":0,\"width\":1280,\"height\":1024}\n";
}

std::string relative_line(int dx, int dy) {
  return "{\"type\":\"relative\",\"dx\":" + std::to_string(dx) + ",\"dy\":" + std::to_string(dy) +
         "}\n";
}

LoopTest::LoopTest()
    : displays({display("\\\\.\\DISPLAY1", 0, 0, 1920, 1080, true),
                display("\\\\.\\DISPLAY2", 1920, 0, 1280, 1024, false)}) {}

std::unique_ptr<LoopContext> approved_context(const LoopSeams& seams, const DisplayRecord& display,
                                              uint32_t permissions, uint64_t lease_end_s) {
  std::unique_ptr<InputBackend> none;
  EXPECT_TRUE(seams.desktop.refresh_input_desktop(none).ok());
  VerifiedAuthorization session;
  session.requester_name = "Operator";
  for (uint8_t i = 0; i < 16; ++i) session.session_id[i] = static_cast<uint8_t>(0xA0 + i);
  session.lease_end_s = lease_end_s;
  session.permissions = PermissionSet{permissions};
  auto state = establish(session, session.permissions, seams.clock.now_unix_s());
  auto backend = seams.backends.create_backend(display);
  EXPECT_TRUE(state.ok());
  EXPECT_TRUE(backend.ok());
  if (!state.ok() || !backend.ok()) return nullptr;
  return std::make_unique<LoopContext>(seams, std::move(session), std::move(state).value(), display,
                                       std::move(backend).value());
}

void LoopTest::start(uint32_t permissions, uint64_t lease_end_s) {
  const DisplayRecord* primary = choose_primary(displays.records);
  ASSERT_NE(primary, nullptr);
  LoopSeams seams{time.unix, time.monotonic, commands, status,
                  desktop,   displays,       backends, last_error};
  context = approved_context(seams, *primary, permissions, lease_end_s);
  ASSERT_NE(context, nullptr);
}

Status LoopTest::run() { return run_command_loop(*context); }

std::string LoopTest::error_line() const {
  return StatusLine::error(context->stage, context->win32).bytes();
}

}  // namespace vornakel::native_protocol::testing
