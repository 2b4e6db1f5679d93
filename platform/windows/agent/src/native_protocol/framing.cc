#include "native_protocol/framing.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace vornakel::native_protocol {

Error generic_rejection() {
  // Fixed: a refusal must not need memory, the release of held input may follow it.
  return Error::fixed_message("Native input authorization or framing was rejected");
}

ReadOutcome read_framed_line(ByteSource& source, size_t bound) {
  std::string buffer;
  // One byte past the bound is enough to know the line is too long.
  const size_t limit = bound + 1;
  while (buffer.size() < limit) {
    auto filled = source.fill();
    if (!filled.ok()) return IoError{filled.take_error()};
    std::span<const uint8_t> available = filled.value();
    if (available.empty()) break;
    const size_t room = limit - buffer.size();
    const size_t scan = std::min(room, available.size());
    const auto* feed = static_cast<const uint8_t*>(std::memchr(available.data(), '\n', scan));
    const size_t take = feed != nullptr ? static_cast<size_t>(feed - available.data()) + 1 : scan;
    buffer.append(reinterpret_cast<const char*>(available.data()), take);
    source.consume(take);
    if (feed != nullptr) break;
  }
  if (buffer.empty()) return EndOfInput{};
  if (buffer.size() <= bound && buffer.back() == '\n') return Line{std::move(buffer)};
  return Rejected{generic_rejection()};
}

std::string_view host_stage_word(HostStage stage) {
  switch (stage) {
    case HostStage::kReadAuthorization:
      return "read-authorization";
    case HostStage::kVerifyHostBinding:
      return "verify-host-binding";
    case HostStage::kVerifyAuthorization:
      return "verify-authorization";
    case HostStage::kOpenInputDesktop:
      return "open-input-desktop";
    case HostStage::kCreateInputBackend:
      return "create-input-backend";
  }
  return {};
}

std::string_view loop_stage_word(LoopStage stage) {
  switch (stage) {
    case LoopStage::kCheckLease:
      return "check-lease";
    case LoopStage::kRefreshInputDesktop:
      return "refresh-input-desktop";
    case LoopStage::kRefreshDisplays:
      return "refresh-displays";
    case LoopStage::kRecreateInputBackend:
      return "recreate-input-backend";
    case LoopStage::kReceiveCommand:
      return "receive-command";
    case LoopStage::kParseCommand:
      return "parse-command";
    case LoopStage::kValidateControl:
      return "validate-control";
    case LoopStage::kCarryAuthorization:
      return "carry-authorization";
    case LoopStage::kDispatchInput:
      return "dispatch-input";
    case LoopStage::kAuthorizationExpired:
      return "authorization-expired";
    case LoopStage::kControlProtocolRejected:
      return "control-protocol-rejected";
    case LoopStage::kInputPaused:
      return "input-paused";
    case LoopStage::kInputApiRejected:
      return "input-api-rejected";
    case LoopStage::kControlGateRejected:
      return "control-gate-rejected";
  }
  return {};
}

std::string_view desktop_name_word(DesktopName name) {
  return name == DesktopName::kWinlogon ? "Winlogon" : "Default";
}

std::string_view authorization_failure_word(AuthorizationFailure failure) {
  switch (failure) {
    case AuthorizationFailure::kInvalidSessionStart:
      return "invalid-session-start";
    case AuthorizationFailure::kInvalidSignedTicket:
      return "invalid-signed-ticket";
    case AuthorizationFailure::kInvalidTicketKey:
      return "invalid-ticket-key";
    case AuthorizationFailure::kPermissionMismatch:
      return "permission-mismatch";
    case AuthorizationFailure::kInvalidHostBinding:
      break;
  }
  return "invalid-host-binding";
}

std::string_view indicator_stage_word(IndicatorStage stage) {
  return stage == IndicatorStage::kCreateDesktopWindows ? "create-desktop-windows"
                                                        : "read-visibility";
}

std::string_view window_stage_word(WindowStage stage) {
  switch (stage) {
    case WindowStage::kOpenDesktop:
      return "open-desktop";
    case WindowStage::kAttachDesktop:
      return "attach-desktop";
    case WindowStage::kModuleInstance:
      return "module-instance";
    case WindowStage::kCreateWindow:
      return "create-window";
    case WindowStage::kCreateControls:
      return "create-controls";
    case WindowStage::kRegisterHotkey:
      return "register-hotkey";
  }
  return {};
}

namespace {

std::string concat(std::initializer_list<std::string_view> pieces) {
  std::string out;
  for (std::string_view piece : pieces) out.append(piece);
  return out;
}

}  // namespace

StatusLine StatusLine::stage(HostStage stage) {
  return StatusLine(concat({R"({"type":"stage","stage":")", host_stage_word(stage), "\"}\n"}));
}

StatusLine StatusLine::ready() { return StatusLine("{\"type\":\"ready\"}\n"); }

StatusLine StatusLine::desktop(DesktopName name) {
  return StatusLine(concat({R"({"type":"desktop","name":")", desktop_name_word(name), "\"}\n"}));
}

ErrorLineBuffer::ErrorLineBuffer(LoopStage stage, uint32_t win32) {
  auto append = [this](std::string_view piece) {
    std::memcpy(bytes_ + size_, piece.data(), piece.size());
    size_ += piece.size();
  };
  append(R"({"type":"error","stage":")");
  append(loop_stage_word(stage));
  append(R"(","win32":)");
  // Room for the longest stage word and ten digits is checked below.
  size_ = static_cast<size_t>(std::to_chars(bytes_ + size_, bytes_ + sizeof(bytes_), win32).ptr -
                              bytes_);
  append("}\n");
}

// The longest line (the longest loop stage word, a ten-digit code; the literal's NUL stands for the
// line feed) fits.
static_assert(
    sizeof(R"({"type":"error","stage":"control-protocol-rejected","win32":4294967295})") <=
    ErrorLineBuffer::kCapacity);

StatusLine StatusLine::error(LoopStage stage, uint32_t win32) {
  return StatusLine(std::string(ErrorLineBuffer(stage, win32).bytes()));
}

StatusLine StatusLine::authorization_error(AuthorizationFailure failure) {
  return StatusLine(concat({R"({"type":"error","stage":")", authorization_failure_word(failure),
                            R"(","win32":0})", "\n"}));
}

Status drain_pending(std::string& pending, const WriteSome& write_some, const Error& stalled) {
  size_t sent = 0;
  Status result = Ok();
  while (sent < pending.size()) {
    Result<size_t> taken = write_some(std::string_view(pending).substr(sent));
    if (!taken.ok()) {
      result = taken.take_error();
      break;
    }
    if (taken.value() == 0) {
      result = stalled;
      break;
    }
    sent += std::min(taken.value(), pending.size() - sent);
  }
  pending.erase(0, sent);
  return result;
}

StatusLine StatusLine::indicator_stage(IndicatorStage stage) {
  return StatusLine(concat({R"({"type":"stage","stage":")", indicator_stage_word(stage), "\"}\n"}));
}

StatusLine StatusLine::window_error(WindowStage stage, DesktopName desktop, int32_t code) {
  const std::string signed_code = std::to_string(code);
  return StatusLine(
      concat({R"({"type":"error","stage":")", window_stage_word(stage), R"(","desktop":")",
              desktop_name_word(desktop), R"(","win32":)", signed_code, "}\n"}));
}

StatusLine StatusLine::pause(bool paused) {
  return StatusLine(paused ? "{\"type\":\"pause\",\"paused\":true}\n"
                           : "{\"type\":\"pause\",\"paused\":false}\n");
}

StatusLine StatusLine::stop() { return StatusLine("{\"type\":\"stop\"}\n"); }

Status write_status_line(StatusSink& sink, const StatusLine& line, Flush flush) {
  VK_RETURN_IF_ERROR(sink.write(line.bytes()));
  if (flush == Flush::kNow) return sink.flush();
  return Ok();
}

Status write_error_line(StatusSink& sink, LoopStage stage, uint32_t win32) {
  const ErrorLineBuffer line(stage, win32);
  VK_RETURN_IF_ERROR(sink.write(line.bytes()));
  return sink.flush();
}

}  // namespace vornakel::native_protocol
