#include "service_indicator/indicator_session.h"

#include <utility>

#include "service_indicator/event_loop.h"
#include "service_indicator/input_watcher.h"
#include "service_indicator/session_start.h"

namespace vornakel::service_indicator {
namespace {

namespace np = native_protocol;

// The agent's session line, checked rule by rule; the details text it gives.
Result<std::string> read_session_details(np::ByteSource& input) {
  Result<std::string> line = read_session_line(input);
  if (!line.ok()) return line.take_error();
  Result<Start> start = parse_start(line.value());
  if (!start.ok()) return start.take_error();
  VK_RETURN_IF_ERROR(validate_start(start.value()));
  return details_text(start.value());
}

IndicatorEnd ended_by(Error error) { return IndicatorEnd{1, std::move(error)}; }

}  // namespace

Result<IndicatorEnd> run_indicator_session(IndicatorSeams& seams, std::string_view brand_text) {
  Result<Brand> brand = load_brand(brand_text);
  if (!brand.ok()) return brand.take_error();
  VK_RETURN_IF_ERROR(write_status_line(
      seams.status, np::StatusLine::indicator_stage(np::IndicatorStage::kReadVisibility)));
  Result<std::string> details = read_session_details(*seams.input);
  if (!details.ok()) return details.take_error();
  VK_RETURN_IF_ERROR(write_status_line(
      seams.status, np::StatusLine::indicator_stage(np::IndicatorStage::kCreateDesktopWindows)));

  auto queue = std::make_shared<IndicatorEventQueue>();
  auto flags = std::make_shared<IndicatorFlags>();
  for (DesktopName desktop : {DesktopName::kDefault, DesktopName::kWinlogon}) {
    Status started = seams.windows.start_window(WindowThreadStart{
        desktop, brand.value(), details.value(), IndicatorEventSender(queue), flags});
    // A window thread may already be up: from here on the process ends rather than returns.
    if (!started.ok()) return ended_by(started.take_error());
  }
  Status watching = start_input_watcher(seams.input, IndicatorEventSender(queue));
  if (!watching.ok()) return ended_by(watching.take_error());

  const auto deadline = seams.clock.now() + kReadyDeadline;
  EventLoopSeams loop{*queue, *flags, seams.status, seams.clock};
  Result<int> status = run_event_loop(loop, deadline);
  if (!status.ok()) return ended_by(status.take_error());
  return IndicatorEnd{status.value(), std::nullopt};
}

}  // namespace vornakel::service_indicator
