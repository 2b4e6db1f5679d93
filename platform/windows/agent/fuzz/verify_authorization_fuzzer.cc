// Runs a start record through the whole verification at a fixed clock (the one the seed corpus
// was issued for), so mutations of valid records reach the signature and claim checks. Run under a
// decimal-comma locale too, for the lease and clock numbers of the record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "native_protocol/authorization/authorization_state.h"
#include "native_protocol/authorization/start_record.h"
#include "native_protocol/authorization/ticket_verification.h"
#include "support/fuzz_oracles.h"

using namespace vornakel::native_protocol;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vornakel::fuzz::adopt_environment_locale();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr uint64_t kNow = 1'800'000'000;
  auto start = parse_start(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!start.ok()) return 0;
  auto binding = check_host_identity(input_host_identity(start.value()));
  if (!binding.ok()) return 0;
  auto verified = verify_authorization(start.value(), binding.value(), kNow);
  if (!verified.ok()) return 0;
  // A verified record must always establish a session.
  if (!establish(verified.value(), verified.value().permissions, kNow).ok()) std::abort();
  return 0;
}
