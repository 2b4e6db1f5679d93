// The ticket path built for Windows: what the issuer signs there verifies there.
#include <gtest/gtest.h>

#include <chrono>

#include "native_protocol/authorization/start_record.h"
#include "native_protocol/authorization/ticket_verification.h"
#include "native_protocol/authorization/unix_clock.h"
#include "ticket_issuer.h"

namespace vornakel::native_protocol {
namespace {

TEST(TicketVerifyWin32Test, IssuedRecordVerifiesAtTheSystemClock) {
  SystemUnixClock clock;
  const uint64_t now = clock.now_unix_s();
  EXPECT_GT(now, 1'600'000'000u);
  auto issued = ticket_issuer::issue(ticket_issuer::default_options(now));
  ASSERT_TRUE(issued.ok());
  auto start = parse_start(ticket_issuer::start_line(issued.value().start));
  ASSERT_TRUE(start.ok());
  auto binding = check_host_identity(input_host_identity(start.value()));
  ASSERT_TRUE(binding.ok());
  auto decoded = decode_signed_ticket(issued.value().signed_ticket, kTicketSizeLimit);
  ASSERT_TRUE(decoded.ok()) << decoded.error().text();
  auto ticket = decode_session_ticket(decoded.value().ticket, kTicketSizeLimit);
  ASSERT_TRUE(ticket.ok()) << ticket.error().text();
  const auto key = ticket_issuer::key_pair_from_seed(ticket_issuer::default_options(now).seed);
  EXPECT_EQ(verify_ticket_signature(key.public_key, signed_message(decoded.value().ticket),
                                    decoded.value().signature),
            SignatureVerdict::kValid);
  auto verified = verify_authorization(start.value(), binding.value(), now);
  ASSERT_TRUE(verified.ok()) << authorization_failure_word(verified.error());
}

}  // namespace
}  // namespace vornakel::native_protocol
