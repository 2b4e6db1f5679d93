#include "native_protocol/input_host_authorization.h"

namespace vornakel::native_protocol {

Result<AuthorizedSession> authorize_input_host(ByteSource& input, StatusSink& output,
                                               UnixClock& clock) {
  VK_RETURN_IF_ERROR(write_status_line(output, StatusLine::stage(HostStage::kReadAuthorization)));
  ReadOutcome read = read_framed_line(input, kStartRecordBound);
  if (auto* failed = std::get_if<IoError>(&read)) return failed->error;
  const auto* line = std::get_if<Line>(&read);
  if (line == nullptr) return generic_rejection();
  auto start = parse_start(line->bytes);
  if (!start.ok()) return generic_rejection();

  VK_RETURN_IF_ERROR(write_status_line(output, StatusLine::stage(HostStage::kVerifyHostBinding)));
  auto binding = check_host_identity(input_host_identity(start.value()));
  if (!binding.ok()) return generic_rejection();

  VK_RETURN_IF_ERROR(write_status_line(output, StatusLine::stage(HostStage::kVerifyAuthorization)));
  auto verified = verify_authorization(start.value(), binding.value(), clock.now_unix_s());
  if (!verified.ok()) {
    VK_RETURN_IF_ERROR(
        write_status_line(output, StatusLine::authorization_error(verified.error())));
    return generic_rejection();
  }

  VK_RETURN_IF_ERROR(write_status_line(output, StatusLine::stage(HostStage::kOpenInputDesktop)));
  auto state = establish(verified.value(), verified.value().permissions, clock.now_unix_s());
  if (!state.ok()) return Error::message(state.error().text());

  return AuthorizedSession{std::move(start).value(), binding.value(), std::move(verified).value(),
                           std::move(state).value()};
}

}  // namespace vornakel::native_protocol
