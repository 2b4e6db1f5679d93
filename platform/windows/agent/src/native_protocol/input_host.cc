#include "native_protocol/input_host.h"

#include <utility>

#include "native_protocol/command_queue.h"
#include "native_protocol/command_queue_reader.h"
#include "native_protocol/injection/display_record.h"

namespace vornakel::native_protocol {
namespace {

// Runs `step` with an exception turned into an error value. In this program only an allocation
// can throw; catching it here keeps the error line and the release of held input that follow.
template <typename Step>
Status without_exceptions(Step&& step) {
  try {
    return step();
  } catch (...) {
    return Error::fixed_message(kInputHostOutOfMemory);
  }
}

// The desktop, display and backend the loop starts with.
struct OpenedInput {
  DisplayRecord display;
  std::unique_ptr<InputBackend> backend;
};

// After the "open-input-desktop" stage line: attach to the input desktop and pick the primary
// display, then build the backend under its own stage line. Failures here write no error line.
Result<OpenedInput> open_input(InputHostSeams& seams) {
  std::unique_ptr<InputBackend> none;
  auto attached = seams.desktop.refresh_input_desktop(none);
  if (!attached.ok()) return attached.take_error();

  auto displays = seams.displays.enumerate_displays();
  if (!displays.ok()) return Error::message(displays.error().message());
  const DisplayRecord* primary = choose_primary(displays.value());
  if (primary == nullptr) return generic_rejection();

  VK_RETURN_IF_ERROR(
      write_status_line(seams.status, StatusLine::stage(HostStage::kCreateInputBackend)));
  auto backend = seams.backends.create_backend(*primary);
  if (!backend.ok()) return Error::message(backend.error().message());
  return OpenedInput{*primary, std::move(backend).value()};
}

// Windows delivers input only to the input desktop, and the thread moves only when the loop
// follows it at the top of a pass: a loop that ends in the wait after a switch (close, end of
// input, a refused injection) would release from the old desktop, and every key and button would
// stay down on the one the person now uses. So the desktop is followed once more (a change
// releases, moves and releases again), whatever that finds, before letting go of what is left.
void release_held_input(LoopContext& context) noexcept {
  try {
    (void)context.seams.desktop.refresh_input_desktop(context.backend);
  } catch (...) {
    // Out of memory while following: release where the thread is.
  }
  if (context.backend) {
    try {
      (void)context.backend->release_all();
    } catch (...) {
      // The backend still tries once more as it goes.
    }
  }
  // The backend lets go of anything still held once more as it goes.
  context.backend.reset();
}

// The loop has ended: nothing may stay pressed, then one error line if it failed. The release
// comes first, so that it does not depend on the line being written.
Status finish(LoopContext& context, Status loop_result) {
  release_held_input(context);
  if (loop_result.ok()) return loop_result;
  Status written = without_exceptions(
      [&context] { return write_error_line(context.seams.status, context.stage, context.win32); });
  if (!written.ok()) return written;
  return loop_result;
}

}  // namespace

Status run_session_loop(LoopContext& context) {
  return finish(context, without_exceptions([&context] { return run_command_loop(context); }));
}

Status run_input_host_session(InputHostSeams& seams) {
  // Nothing is held before the loop runs, and the loop guards itself; this keeps an allocation
  // failure anywhere else from ending the process through std::terminate.
  return without_exceptions([&seams] {
    auto authorized = authorize_input_host(*seams.input, seams.status, seams.clock);
    if (!authorized.ok()) return Status(authorized.take_error());
    return run_authorized_input_host(seams, std::move(authorized).value());
  });
}

Status run_authorized_input_host(InputHostSeams& seams, AuthorizedSession session) {
  auto opened = open_input(seams);
  if (!opened.ok()) return opened.take_error();
  OpenedInput input = std::move(opened).value();

  // The desktop and ready lines go out together: the agent sees both or neither.
  auto desktop = desktop_name_of(seams.desktop.name());
  if (!desktop) return generic_rejection();
  VK_RETURN_IF_ERROR(
      write_status_line(seams.status, StatusLine::desktop(*desktop), Flush::kDeferred));
  VK_RETURN_IF_ERROR(write_status_line(seams.status, StatusLine::ready()));

  auto queue = std::make_shared<CommandQueue>();
  CommandQueueReceiver receiver(queue);
  LoopSeams loop_seams{seams.clock,   seams.monotonic, receiver,       seams.status,
                       seams.desktop, seams.displays,  seams.backends, seams.last_error};
  LoopContext context(loop_seams, std::move(session.authorization), std::move(session.state),
                      std::move(input.display), std::move(input.backend));

  context.stage = LoopStage::kReceiveCommand;
  Status started = start_command_reader(seams.input, queue);
  if (!started.ok()) return finish(context, std::move(started));
  return run_session_loop(context);
}

}  // namespace vornakel::native_protocol
