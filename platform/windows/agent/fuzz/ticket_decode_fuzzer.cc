// Decodes arbitrary bytes as both ticket messages. Whatever decodes must be canonical: its
// re-encoding is the input itself, and its text fields are well-formed UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "native_protocol/authorization/ticket_codec.h"
#include "native_protocol/authorization/ticket_verification.h"
#include "support/fuzz_oracles.h"

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
    bool text_ok = vornakel::fuzz::is_well_formed_utf8(ticket.value().display_id) &&
                   vornakel::fuzz::is_well_formed_utf8(ticket.value().signing_key_id);
    for (const std::string& entitlement : ticket.value().entitlements) {
      text_ok = text_ok && vornakel::fuzz::is_well_formed_utf8(entitlement);
    }
    vornakel::fuzz::require(text_ok, "a decoded ticket's text is well-formed UTF-8");
    (void)check_ticket_claims(ticket.value(), TicketVerificationContext{});
  }
  return 0;
}
