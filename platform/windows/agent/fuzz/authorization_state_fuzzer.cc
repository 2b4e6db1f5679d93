// Sequences of requests, approvals, ends, actions, clock steps and carries through the
// authorization state, against a small model of the session rules kept here: phases, the lease,
// the envelope and event rules, permissions, the pause flag and a replay window kept as a plain
// set of used numbers. Oracle: the model and the state agree on every accept and refuse (the
// refusal itself, not only its kind), on what reaches the backend, and on the state after each
// step.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/utf16.h"
#include "native_protocol/authorization/authorization_state.h"
#include "support/fuzz_oracles.h"

namespace {

using namespace vornakel::native_protocol;
using vornakel::fuzz::require;

using SessionId = std::array<uint8_t, 16>;

// Names that probe the blank rule (Unicode White_Space only) and the 128-byte limit.
const std::vector<std::string>& requester_names() {
  static const std::vector<std::string> names = {"Ana",
                                                 "",
                                                 " \t\r\n",
                                                 "\xC2\xA0",
                                                 "\xC2\x85",
                                                 "\xE3\x80\x80",
                                                 "\xE2\x80\x8B" /* zero width space: not blank */,
                                                 "\xEF\xBB\xBF" /* byte order mark: not blank */,
                                                 " a ",
                                                 std::string(128, 'n'),
                                                 std::string(129, 'n'),
                                                 "\xE2\x80\xA8\xE2\x80\xA9\xE1\x9A\x80"};
  return names;
}

bool blank_by_model(const std::string& name) {
  static const std::set<char32_t> kWhite = {0x09,   0x0A,   0x0B,   0x0C,   0x0D,   0x20,   0x85,
                                            0xA0,   0x1680, 0x2000, 0x2001, 0x2002, 0x2003, 0x2004,
                                            0x2005, 0x2006, 0x2007, 0x2008, 0x2009, 0x200A, 0x2028,
                                            0x2029, 0x202F, 0x205F, 0x3000};
  const auto scalars = vornakel::fuzz::decode_well_formed_utf8(name);
  return std::all_of(scalars->begin(), scalars->end(),
                     [](char32_t c) { return kWhite.count(c) != 0; });
}

class ScriptedBackend final : public InputBackend {
 public:
  bool fail_next = false;
  std::vector<InputAction> executed;
  vornakel::Result<void, AdapterError> execute(const InputAction& action) override {
    executed.push_back(action);
    if (fail_next) return AdapterError::platform("scripted failure");
    return {};
  }
  vornakel::Result<void, AdapterError> release_all() override { return {}; }
};

struct Model {
  Phase phase = Phase::kIdle;
  EndReason end_reason = EndReason::kNotEnded;
  bool paused = false;
  // Pending or active: the session's facts.
  SessionId session_id{};
  uint64_t lease_end = 0;    // pending lease end, or the active expiry
  uint32_t permissions = 0;  // requested while pending, granted while active
  std::set<uint64_t> used;   // every sequence accepted since the request
  uint64_t highest = 0;

  void end(EndReason reason) {
    phase = Phase::kEnded;
    end_reason = reason;
    paused = true;
  }
};

using Refusal = std::optional<SessionError>;

Refusal model_request(Model& m, const VerifiedAuthorization& a) {
  if (m.phase == Phase::kPending || m.phase == Phase::kActive) return SessionError::invalid_state();
  if (blank_by_model(a.requester_name) || a.requester_name.size() > 128 || a.lease_end_s == 0) {
    return SessionError::invalid_request();
  }
  m = Model{};
  m.phase = Phase::kPending;
  m.session_id = a.session_id;
  m.lease_end = a.lease_end_s;
  m.permissions = a.permissions.mask;
  return std::nullopt;
}

Refusal model_approve(Model& m, uint32_t approved, uint64_t now) {
  if (m.phase != Phase::kPending) return SessionError::invalid_state();
  if (now >= m.lease_end) {
    m.phase = Phase::kEnded;
    m.end_reason = EndReason::kLeaseExpired;
    return SessionError::expired();
  }
  if ((approved | m.permissions) != m.permissions) return SessionError::permission_expansion();
  m.phase = Phase::kActive;
  m.permissions = approved;
  return std::nullopt;
}

std::optional<ValidationError> model_event(const Model& m, const InputAction& event) {
  const auto may = [&](Permission p) { return (m.permissions >> static_cast<int>(p)) & 1u; };
  const auto reason_ok = [](const std::string& reason) {
    if (reason.size() > 64) return false;
    return std::all_of(reason.begin(), reason.end(), [](char c) { return c >= 0x21 && c <= 0x7E; });
  };
  if (const auto* move = std::get_if<MoveAction>(&event)) {
    if (!may(Permission::kSendPointer))
      return ValidationError::permission(PermissionError::denied(Permission::kSendPointer));
    if (!std::isfinite(move->x) || !std::isfinite(move->y))
      return ValidationError::invalid_field("pointer coordinates");
    if (move->mode == MoveAction::Mode::kAbsolute &&
        !(move->x >= 0 && move->x <= 1 && move->y >= 0 && move->y <= 1)) {
      return ValidationError::invalid_field("pointer coordinates");
    }
    if (move->mode == MoveAction::Mode::kRelative &&
        !(move->x >= -32768 && move->x <= 32767 && move->y >= -32768 && move->y <= 32767)) {
      return ValidationError::invalid_field("relative pointer delta");
    }
    if (move->display_id.size() > 128) return ValidationError::limit_exceeded("display_id", 128);
    return std::nullopt;
  }
  if (const auto* button = std::get_if<ButtonAction>(&event)) {
    if (!may(Permission::kSendPointer))
      return ValidationError::permission(PermissionError::denied(Permission::kSendPointer));
    if (button->button < 1 || button->button > 32)
      return ValidationError::invalid_field("pointer button");
    return std::nullopt;
  }
  if (const auto* scroll = std::get_if<ScrollAction>(&event)) {
    if (!may(Permission::kSendPointer))
      return ValidationError::permission(PermissionError::denied(Permission::kSendPointer));
    const auto far = [](int32_t v) { return v < -12000 || v > 12000; };
    if (far(scroll->horizontal) || far(scroll->vertical))
      return ValidationError::invalid_field("scroll delta");
    return std::nullopt;
  }
  if (const auto* key = std::get_if<KeyAction>(&event)) {
    if (!may(Permission::kSendKeyboard))
      return ValidationError::permission(PermissionError::denied(Permission::kSendKeyboard));
    if (key->usage < 1 || key->usage > 65535)
      return ValidationError::invalid_field("keyboard HID usage");
    return std::nullopt;
  }
  if (const auto* pause = std::get_if<PauseAction>(&event)) {
    if (!reason_ok(pause->reason)) return ValidationError::invalid_field("reason_code");
    return std::nullopt;
  }
  if (!reason_ok(std::get<StopAction>(event).reason))
    return ValidationError::invalid_field("reason_code");
  return std::nullopt;
}

std::optional<ReplayResult> model_replay(Model& m, uint64_t sequence) {
  if (!m.used.empty() && sequence <= m.highest) {
    if (m.highest - sequence > 127) return ReplayResult::kTooOld;
    if (m.used.count(sequence) != 0) return ReplayResult::kDuplicate;
  }
  m.used.insert(sequence);
  m.highest = std::max(m.highest, sequence);
  return std::nullopt;
}

// The outcome on acceptance; whether the backend must be called is told through `injects`.
vornakel::Result<Outcome, SessionError> model_apply(Model& m, const ControlEnvelope& e,
                                                    uint64_t now, bool backend_fails,
                                                    bool& injects) {
  injects = false;
  if (m.phase != Phase::kActive) return SessionError::invalid_state();
  if (now >= m.lease_end) {
    m.end(EndReason::kLeaseExpired);
    return SessionError::expired();
  }
  if (e.session_id.size() != 16 ||
      !std::equal(e.session_id.begin(), e.session_id.end(), m.session_id.begin())) {
    return SessionError::protocol(ValidationError::binding_mismatch("session_id"));
  }
  if (e.sequence == 0) return SessionError::protocol(ValidationError::invalid_field("sequence"));
  if (e.permission_epoch != 1)
    return SessionError::protocol(ValidationError::binding_mismatch("permission_epoch"));
  if (auto invalid = model_event(m, e.event)) return SessionError::protocol(*invalid);
  if (auto verdict = model_replay(m, e.sequence)) return SessionError::replay(*verdict);
  if (const auto* pause = std::get_if<PauseAction>(&e.event)) {
    m.paused = pause->paused;
    return pause->paused ? Outcome::kPaused : Outcome::kResumed;
  }
  if (std::holds_alternative<StopAction>(e.event)) {
    m.end(EndReason::kPeerStopped);
    return Outcome::kStopped;
  }
  if (m.paused) return SessionError::input_paused();
  injects = true;
  if (backend_fails) {
    return SessionError::adapter(AdapterError::platform("scripted failure").message());
  }
  return Outcome::kInjected;
}

float take_float(FuzzedDataProvider& in) {
  static constexpr float kEdges[] = {0.0f,
                                     1.0f,
                                     -0.0f,
                                     1.0000001f,
                                     -1e-9f,
                                     0.5f,
                                     32767.0f,
                                     32767.5f,
                                     -32768.0f,
                                     -32768.5f,
                                     std::numeric_limits<float>::infinity(),
                                     std::numeric_limits<float>::quiet_NaN()};
  return in.ConsumeBool() ? in.PickValueInArray(kEdges) : in.ConsumeFloatingPoint<float>();
}

InputAction take_event(FuzzedDataProvider& in) {
  static const std::string kReasons[] = {
      "peer_requested",     "peer_stop",          "",     "a b",
      std::string(64, '~'), std::string(65, 'x'), "\x7f", "caf\xC3\xA9"};
  switch (in.ConsumeIntegralInRange(0, 5)) {
    case 0: {
      MoveAction move;
      move.mode = in.ConsumeBool() ? MoveAction::Mode::kAbsolute : MoveAction::Mode::kRelative;
      move.x = take_float(in);
      move.y = take_float(in);
      move.display_id = std::string(in.ConsumeIntegralInRange<size_t>(0, 130), 'D');
      return move;
    }
    case 1:
      return ButtonAction{in.ConsumeBool() ? in.ConsumeIntegralInRange<uint32_t>(0, 34)
                                           : in.ConsumeIntegral<uint32_t>(),
                          in.ConsumeBool()};
    case 2: {
      const auto delta = [&in] {
        return in.ConsumeBool() ? in.ConsumeIntegralInRange(-12002, 12002)
                                : in.ConsumeIntegral<int32_t>();
      };
      const int32_t vertical = delta();
      return ScrollAction{vertical, delta()};
    }
    case 3:
      return KeyAction{in.ConsumeBool() ? in.ConsumeIntegralInRange<uint32_t>(0, 3)
                                        : in.ConsumeIntegralInRange<uint32_t>(65534, 65537),
                       in.ConsumeIntegral<uint8_t>(), in.ConsumeBool()};
    case 4:
      return PauseAction{in.PickValueInArray(kReasons), in.ConsumeBool()};
    default:
      return StopAction{in.PickValueInArray(kReasons)};
  }
}

void compare(const AuthorizationState& state, const Model& m) {
  require(state.phase() == m.phase, "phase");
  require(state.end_reason() == m.end_reason, "end reason");
  require(state.input_paused() == m.paused, "pause flag");
  require(state.pending().has_value() == (m.phase == Phase::kPending),
          "a request is pending exactly while Pending");
  require(state.active().has_value() == (m.phase == Phase::kActive),
          "an authorization is active exactly while Active");
  if (state.pending()) {
    require(state.pending()->lease_end_s == m.lease_end &&
                state.pending()->requested.mask == m.permissions &&
                state.pending()->session_id == m.session_id,
            "the pending request");
  }
  if (state.active()) {
    require(state.active()->expires_at_s == m.lease_end &&
                state.active()->granted.mask == m.permissions &&
                state.active()->session_id == m.session_id && state.active()->permission_epoch == 1,
            "the active authorization");
    require(state.replay_window().any_accepted == !m.used.empty() &&
                (m.used.empty() || state.replay_window().highest == m.highest),
            "the highest sequence used");
  }
}

template <typename T>
void same_result(const vornakel::Result<T, SessionError>& actual,
                 const vornakel::Result<T, SessionError>& expected) {
  require(actual.ok() == expected.ok(), "the state and the model agree on accept or refuse");
  if (actual.ok()) {
    if constexpr (!std::is_void_v<T>)
      require(actual.value() == expected.value(), "the same outcome");
  } else if (!(actual.error() == expected.error())) {
    std::fprintf(stderr, "state: %s\nmodel: %s\n", actual.error().text().c_str(),
                 expected.error().text().c_str());
    vornakel::fuzz::fail("the same refusal");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  uint64_t now = 1'800'000'000;
  AuthorizationState state;
  Model model;
  ScriptedBackend backend;
  VerifiedAuthorization last;  // the authorization a carry renews
  const SessionId base_id = {7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7};

  // Most runs start from an established session, as the input host does, so that the steps reach
  // the replay window and the event rules instead of spending themselves on getting there.
  if (in.ConsumeIntegralInRange(0, 3) != 0) {
    last.requester_name = "Remote operator";
    last.session_id = base_id;
    last.lease_end_s = now + 30;
    last.permissions.mask = 0xFFFF;
    const uint32_t granted = in.ConsumeBool() ? 0xFFFFu : in.ConsumeIntegral<uint16_t>();
    require(!model_request(model, last) && state.request(last).ok(), "a valid request");
    require(!model_approve(model, granted, now) && state.approve(PermissionSet{granted}, now).ok(),
            "a valid approval");
  }

  for (int step = 0; step < 64 && in.remaining_bytes() > 0; ++step) {
    switch (in.ConsumeIntegralInRange(0, 6)) {
      case 0: {
        VerifiedAuthorization a;
        a.requester_name =
            requester_names()[in.ConsumeIntegralInRange<size_t>(0, requester_names().size() - 1)];
        a.session_id = base_id;
        a.session_id[15] = in.ConsumeIntegralInRange<uint8_t>(7, 8);
        a.lease_end_s = in.ConsumeBool() ? now + in.ConsumeIntegralInRange<uint64_t>(0, 40) - 5
                                         : in.ConsumeIntegralInRange<uint64_t>(0, 1);
        a.permissions.mask = in.ConsumeIntegral<uint16_t>();
        last = a;
        const Refusal expected = model_request(model, a);
        const auto actual = state.request(a);
        same_result<void>(actual, expected ? vornakel::Result<void, SessionError>(*expected)
                                           : vornakel::Result<void, SessionError>());
        break;
      }
      case 1: {
        const uint32_t approved = in.ConsumeIntegral<uint16_t>();
        const Refusal expected = model_approve(model, approved, now);
        same_result<void>(state.approve(PermissionSet{approved}, now),
                          expected ? vornakel::Result<void, SessionError>(*expected)
                                   : vornakel::Result<void, SessionError>());
        break;
      }
      case 2: {
        const EndReason reason =
            in.ConsumeBool() ? EndReason::kPeerStopped : EndReason::kLeaseExpired;
        state.end(reason);
        model.end(reason);
        break;
      }
      case 3:
      case 4: {
        ControlEnvelope e;
        e.session_id.assign(model.session_id.begin(), model.session_id.end());
        switch (in.ConsumeIntegralInRange(0, 15)) {
          case 0:
            e.session_id.push_back(0);
            break;
          case 1:
            e.session_id.pop_back();
            break;
          case 2:
            e.session_id[in.ConsumeIntegralInRange<size_t>(0, 15)] ^= 1;
            break;
          default:
            break;
        }
        const uint64_t top = model.highest;
        switch (in.ConsumeIntegralInRange(0, 4)) {
          case 0:
            e.sequence = in.ConsumeIntegralInRange<uint64_t>(0, 300);
            break;
          case 1:
            e.sequence =
                top + 1 - std::min<uint64_t>(top, in.ConsumeIntegralInRange<uint64_t>(0, 130));
            break;
          case 2:
            e.sequence = top + in.ConsumeIntegralInRange<uint64_t>(1, 200);
            break;
          case 3:
            // A jump of 129 leaves the old highest one step out of the window; or the next one.
            e.sequence = top + 1 + (in.ConsumeBool() ? 128 : 0);
            break;
          default:
            e.sequence = in.ConsumeIntegral<uint64_t>();
            break;
        }
        e.permission_epoch = in.ConsumeIntegralInRange(0, 15) == 0 ? 2 : 1;
        e.event = take_event(in);
        backend.fail_next = in.ConsumeIntegralInRange(0, 7) == 0;
        const size_t calls_before = backend.executed.size();
        bool injects = false;
        const auto expected = model_apply(model, e, now, backend.fail_next, injects);
        same_result<Outcome>(state.apply(e, now, backend), expected);
        require(backend.executed.size() == calls_before + (injects ? 1 : 0),
                "only accepted input actions reach the backend, once each");
        break;
      }
      case 5:
        now += in.ConsumeIntegralInRange<uint64_t>(0, 12);
        break;
      default: {
        // A carry: the loop's rule for the new lease end, then the rebuilt state.
        const uint64_t carried = now + in.ConsumeIntegralInRange<uint64_t>(0, 32) - 1;
        const auto lease = carried_lease_end(last.lease_end_s, carried, now);
        // Once the lease has run out, no carry brings the session back.
        const bool accepted = now < last.lease_end_s && carried > now && carried <= now + 30;
        require(lease.has_value() == accepted,
                "a carry lies in (now, now + 30] while the lease runs");
        if (!accepted) break;
        require(*lease == std::max(last.lease_end_s, carried), "a carry never shortens the lease");
        last.lease_end_s = *lease;
        Model fresh;
        Refusal expected = model_request(fresh, last);
        if (!expected) expected = model_approve(fresh, last.permissions.mask, now);
        if (!expected) fresh.paused = model.paused;
        auto rebuilt = rebuild_after_carry(state, last, now);
        require(rebuilt.ok() == !expected.has_value(),
                "the rebuilt state is established or refused alike");
        if (!rebuilt.ok()) {
          require(rebuilt.error() == *expected, "the same refusal on rebuilding");
          break;
        }
        state = std::move(rebuilt).value();
        model = fresh;
        break;
      }
    }
    compare(state, model);
  }
  return 0;
}
