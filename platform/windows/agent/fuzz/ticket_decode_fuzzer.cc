// Decodes arbitrary bytes as both ticket messages. Whatever decodes must be canonical: its
// re-encoding is the input itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "native_protocol/authorization/ticket_codec.h"
#include "native_protocol/authorization/ticket_verification.h"

using namespace vornakel::native_protocol;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);
  auto signed_ticket = decode_signed_ticket(input, kTicketSizeLimit);
  if (signed_ticket.ok()) {
    auto again = encode_signed_ticket(signed_ticket.value());
    if (!again.ok() || Bytes(input.begin(), input.end()) != again.value()) std::abort();
    auto inner = decode_session_ticket(signed_ticket.value().ticket, kTicketSizeLimit);
    if (inner.ok()) (void)check_ticket_claims(inner.value(), TicketVerificationContext{});
  }
  auto ticket = decode_session_ticket(input, kTicketSizeLimit);
  if (ticket.ok()) {
    auto again = encode_session_ticket(ticket.value());
    if (!again.ok() || Bytes(input.begin(), input.end()) != again.value()) std::abort();
    (void)check_ticket_claims(ticket.value(), TicketVerificationContext{});
  }
  return 0;
}
