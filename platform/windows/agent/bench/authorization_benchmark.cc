// Cost of the authorization path: parsing the start record, the whole verification against the
// bare signature check it contains, and the gate every control action passes.
#include <benchmark/benchmark.h>
#include <sodium.h>

#include "native_protocol/authorization/authorization_state.h"
#include "native_protocol/authorization/start_record.h"
#include "native_protocol/authorization/ticket_verification.h"
#include "ticket_issuer.h"

namespace {

using namespace vornakel;
using namespace vornakel::native_protocol;

constexpr uint64_t kNow = 1'800'000'000;

ticket_issuer::IssueOptions largest_valid_options() {
  auto options = ticket_issuer::default_options(kNow);
  options.permissions.clear();
  for (int i = 0; i < kPermissionCount; ++i) options.permissions.push_back(Permission(i));
  for (int i = 0; i < 32; ++i) options.entitlements.push_back(std::string(64, char('A' + i)));
  options.display_id.assign(128, 'd');
  options.key_id.assign(64, 'k');
  return options;
}

// A ticket whose signed bytes are exactly the 4096-byte bound. It cannot satisfy every claim (the
// fields' own limits add up to less), so it fails at the first claim after the signature check:
// the whole decoding and the signature run over the full size.
ticket_issuer::IssueOptions at_bound_options() {
  auto options = largest_valid_options();
  for (size_t length = 129; length < 4096; ++length) {
    options.display_id.assign(length, 'd');
    auto issued = ticket_issuer::issue(options);
    if (issued.ok() && issued.value().signed_ticket.size() == kTicketSizeLimit) return options;
  }
  std::abort();
}

struct Prepared {
  Start start;
  HostBinding binding;
  Bytes message;
  Bytes signature;
  std::array<uint8_t, 32> public_key{};
};

Prepared prepare(const ticket_issuer::IssueOptions& options) {
  auto issued = ticket_issuer::issue(options).value();
  Prepared p;
  p.start = parse_start(ticket_issuer::start_line(issued.start)).value();
  p.binding = check_host_identity(input_host_identity(p.start)).value();
  const auto signed_ticket = decode_signed_ticket(issued.signed_ticket, kTicketSizeLimit).value();
  p.message = signed_message(signed_ticket.ticket);
  p.signature = signed_ticket.signature;
  p.public_key = ticket_issuer::key_pair_from_seed(options.seed).public_key;
  return p;
}

void BM_ParseTypicalStartRecord(benchmark::State& state) {
  const std::string line = ticket_issuer::start_line(
      ticket_issuer::issue(ticket_issuer::default_options(kNow)).value().start);
  for (auto _ : state) benchmark::DoNotOptimize(parse_start(line));
  state.SetBytesProcessed(int64_t(state.iterations() * line.size()));
}
BENCHMARK(BM_ParseTypicalStartRecord);

void BM_VerifyAuthorizationTypical(benchmark::State& state) {
  const Prepared p = prepare(ticket_issuer::default_options(kNow));
  for (auto _ : state) {
    auto verified = verify_authorization(p.start, p.binding, kNow);
    if (!verified.ok()) state.SkipWithError("typical ticket was refused");
    benchmark::DoNotOptimize(verified);
  }
}
BENCHMARK(BM_VerifyAuthorizationTypical);

void BM_VerifyAuthorizationLargestValid(benchmark::State& state) {
  const Prepared p = prepare(largest_valid_options());
  for (auto _ : state) {
    auto verified = verify_authorization(p.start, p.binding, kNow);
    if (!verified.ok()) state.SkipWithError("largest valid ticket was refused");
    benchmark::DoNotOptimize(verified);
  }
  state.counters["message_bytes"] = double(p.message.size());
}
BENCHMARK(BM_VerifyAuthorizationLargestValid);

void BM_VerifyAuthorizationAtBound(benchmark::State& state) {
  const Prepared p = prepare(at_bound_options());
  for (auto _ : state) benchmark::DoNotOptimize(verify_authorization(p.start, p.binding, kNow));
  state.counters["message_bytes"] = double(p.message.size());
}
BENCHMARK(BM_VerifyAuthorizationAtBound);

template <bool kAtBound>
void BM_BareSignatureCheck(benchmark::State& state) {
  if (sodium_init() < 0) state.SkipWithError("libsodium failed to initialise");
  const Prepared p = prepare(kAtBound ? at_bound_options() : largest_valid_options());
  for (auto _ : state) {
    benchmark::DoNotOptimize(crypto_sign_verify_detached(p.signature.data(), p.message.data(),
                                                         p.message.size(), p.public_key.data()));
  }
  state.counters["message_bytes"] = double(p.message.size());
}
BENCHMARK(BM_BareSignatureCheck<false>)->Name("BM_BareSignatureCheckLargestValid");
BENCHMARK(BM_BareSignatureCheck<true>)->Name("BM_BareSignatureCheckAtBound");

// The parts of the verification around the signature, at the bound.
void BM_Base64DecodeSignedTicketAtBound(benchmark::State& state) {
  const Prepared p = prepare(at_bound_options());
  for (auto _ : state) {
    benchmark::DoNotOptimize(decode_canonical_base64url(p.start.signed_ticket, kTicketSizeLimit));
  }
  state.counters["text_bytes"] = double(p.start.signed_ticket.size());
}
BENCHMARK(BM_Base64DecodeSignedTicketAtBound);

void BM_DecodeBothMessagesAtBound(benchmark::State& state) {
  const Prepared p = prepare(at_bound_options());
  const Bytes bytes = decode_canonical_base64url(p.start.signed_ticket, kTicketSizeLimit).value();
  for (auto _ : state) {
    auto signed_ticket = decode_signed_ticket(bytes, kTicketSizeLimit);
    benchmark::DoNotOptimize(decode_session_ticket(signed_ticket.value().ticket, kTicketSizeLimit));
  }
}
BENCHMARK(BM_DecodeBothMessagesAtBound);

class NoOpBackend final : public InputBackend {
 public:
  Result<void, AdapterError> execute(const InputAction&) override { return {}; }
  Result<void, AdapterError> release_all() override { return {}; }
};

void BM_ApplyPointerEnvelope(benchmark::State& state) {
  VerifiedAuthorization authorization;
  authorization.requester_name = "Remote operator";
  authorization.session_id = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  authorization.lease_end_s = kNow + 300;
  authorization.permissions = PermissionSet{0xD};
  AuthorizationState gate = establish(authorization, authorization.permissions, kNow).value();
  NoOpBackend backend;
  ControlEnvelope envelope{
      std::vector<uint8_t>(authorization.session_id.begin(), authorization.session_id.end()), 0, 1,
      MoveAction{"display-1", MoveAction::Mode::kAbsolute, 0.25f, 0.75f}};
  for (auto _ : state) {
    ++envelope.sequence;
    benchmark::DoNotOptimize(gate.apply(envelope, kNow, backend));
  }
}
BENCHMARK(BM_ApplyPointerEnvelope);

}  // namespace
