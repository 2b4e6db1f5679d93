// Framed input lines and status lines of the helpers (the input host and the session indicator).
// Input is read one line feed terminated line at a time under a fixed bound; output is one JSON
// object per line from a fixed vocabulary.
#ifndef VORNAKEL_NATIVE_PROTOCOL_FRAMING_H_
#define VORNAKEL_NATIVE_PROTOCOL_FRAMING_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "common/error.h"
#include "common/result.h"

namespace vornakel::native_protocol {

// Bounds include the line feed.
inline constexpr size_t kStartRecordBound = 32768;
inline constexpr size_t kCommandLineBound = 2048;

// The one error by which the input host refuses anything it is sent.
Error generic_rejection();

// A buffered byte stream in the fill/consume style: the reader looks at what is buffered and takes
// only what belongs to the current line, so the next line stays in the stream for the next read.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Returns the buffered bytes, reading more from the underlying stream when none are buffered.
  // An empty span means end of input.
  virtual Result<std::span<const uint8_t>> fill() = 0;
  // Drops the first `count` bytes of what fill() returned.
  virtual void consume(size_t count) = 0;
};

struct Line {
  std::string bytes;  // the line feed included
};
struct EndOfInput {};
struct Rejected {
  Error error;  // always generic_rejection()
};
struct IoError {
  Error error;  // the operating-system error of the read
};
using ReadOutcome = std::variant<Line, EndOfInput, Rejected, IoError>;

// Reads one line of at most `bound` bytes, line feed included. Never consumes more than bound + 1
// bytes and never anything after the first line feed; a rejected line is not resynchronised.
ReadOutcome read_framed_line(ByteSource& source, size_t bound);

// The stage lines of the input host's start-up, in the order they are written.
enum class HostStage {
  kReadAuthorization,
  kVerifyHostBinding,
  kVerifyAuthorization,
  kOpenInputDesktop,
  kCreateInputBackend,
};

// Words an error line of the command loop can carry.
enum class LoopStage {
  kCheckLease,
  kRefreshInputDesktop,
  kRefreshDisplays,
  kRecreateInputBackend,
  kReceiveCommand,
  kParseCommand,
  kValidateControl,
  kCarryAuthorization,
  kDispatchInput,
  kAuthorizationExpired,
  kControlProtocolRejected,
  kInputPaused,
  kInputApiRejected,
  kControlGateRejected,
};

// The two input desktops the host accepts.
enum class DesktopName { kDefault, kWinlogon };

// Failure reasons of the authorization error line, numbered as the verification reports them.
enum class AuthorizationFailure : uint8_t {
  kInvalidSessionStart = 1,
  kInvalidSignedTicket = 2,
  kInvalidTicketKey = 3,
  kPermissionMismatch = 4,
  kInvalidHostBinding = 5,  // also the word for any other number
};

std::string_view host_stage_word(HostStage stage);
std::string_view loop_stage_word(LoopStage stage);
std::string_view desktop_name_word(DesktopName name);
std::string_view authorization_failure_word(AuthorizationFailure failure);

// The session indicator's stage lines, in the order it writes them.
enum class IndicatorStage {
  kReadVisibility,
  kCreateDesktopWindows,
};

// The setup steps of an indicator window, as its error line names them.
enum class WindowStage {
  kOpenDesktop,
  kAttachDesktop,
  kModuleInstance,
  kCreateWindow,
  kCreateControls,
  kRegisterHotkey,
};

std::string_view indicator_stage_word(IndicatorStage stage);
std::string_view window_stage_word(WindowStage stage);

// One status line. Values come only from the fixed vocabularies above, so nothing needs escaping.
class StatusLine {
 public:
  static StatusLine stage(HostStage stage);
  static StatusLine ready();
  static StatusLine desktop(DesktopName name);
  static StatusLine error(LoopStage stage, uint32_t win32);
  static StatusLine authorization_error(AuthorizationFailure failure);

  // The session indicator's lines. Its error line carries the window's desktop and a signed code.
  static StatusLine indicator_stage(IndicatorStage stage);
  static StatusLine window_error(WindowStage stage, DesktopName desktop, int32_t code);
  static StatusLine pause(bool paused);
  static StatusLine stop();

  // The exact bytes, line feed included.
  const std::string& bytes() const { return bytes_; }

 private:
  explicit StatusLine(std::string bytes) : bytes_(std::move(bytes)) {}
  std::string bytes_;
};

// The command loop's error line in fixed storage: it is written after the loop has ended, perhaps
// because memory ran out, so making it must not need any.
class ErrorLineBuffer {
 public:
  ErrorLineBuffer(LoopStage stage, uint32_t win32);
  std::string_view bytes() const { return std::string_view(bytes_, size_); }

  static constexpr size_t kCapacity = 96;

 private:
  char bytes_[kCapacity];
  size_t size_ = 0;
};

// Standard output of the host.
class StatusSink {
 public:
  virtual ~StatusSink() = default;
  // Writes all of `bytes` or fails.
  virtual Status write(std::string_view bytes) = 0;
  virtual Status flush() = 0;
};

// One write call of a sink: how many of `bytes` it took (at least one on success), or its error.
using WriteSome = std::function<Result<size_t>(std::string_view bytes)>;

// Hands `pending` to `write_some` until none is left. Whatever was taken leaves `pending` before an
// error is returned, so that the next flush never sends the start of a line twice; a call that
// takes nothing fails with `stalled` instead of looping.
Status drain_pending(std::string& pending, const WriteSome& write_some, const Error& stalled);

enum class Flush {
  kNow,       // every line but the desktop line that directly precedes the ready line
  kDeferred,  // the next line's flush carries this one
};

// Writes the line whole and, unless deferred, flushes. A failed write or flush is returned; the
// caller ends the host with it and writes nothing more.
Status write_status_line(StatusSink& sink, const StatusLine& line, Flush flush = Flush::kNow);

// Writes and flushes the command loop's error line without taking any memory of its own.
Status write_error_line(StatusSink& sink, LoopStage stage, uint32_t win32);

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_FRAMING_H_
