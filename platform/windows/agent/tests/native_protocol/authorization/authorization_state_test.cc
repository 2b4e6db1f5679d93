#include "native_protocol/authorization/authorization_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "native_protocol/support/printable_token_cases.h"
#include "native_protocol/support/ticket_test_support.h"

namespace vornakel::native_protocol {
namespace {

using testing::RecordingBackend;

constexpr uint64_t kNow = 1'800'000'000;
constexpr uint64_t kLeaseEnd = kNow + 300;
constexpr PermissionSet kPointerOnly{0x5};         // VIEW_SCREEN, SEND_POINTER
constexpr PermissionSet kPointerAndKeyboard{0xD};  // + SEND_KEYBOARD

VerifiedAuthorization authorization(PermissionSet permissions = kPointerAndKeyboard) {
  VerifiedAuthorization a;
  a.requester_name = "Remote operator";
  a.session_id = {0x0d, 0x5f, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
  a.requester_device_id = {7};
  a.requester_fingerprint = {9};
  a.lease_end_s = kLeaseEnd;
  a.permissions = permissions;
  return a;
}

AuthorizationState active(PermissionSet permissions = kPointerAndKeyboard) {
  return establish(authorization(permissions), permissions, kNow).value();
}

ControlEnvelope envelope(uint64_t sequence, InputAction event) {
  const auto id = authorization().session_id;
  return ControlEnvelope{std::vector<uint8_t>(id.begin(), id.end()), sequence, 1, std::move(event)};
}

ControlEnvelope key_envelope(uint64_t sequence) {
  return envelope(sequence, KeyAction{4, 0, true});
}

ControlEnvelope move_envelope(uint64_t sequence, float x = 0.5f, float y = 0.5f) {
  return envelope(sequence, MoveAction{"display-1", MoveAction::Mode::kAbsolute, x, y});
}

std::string refusal(AuthorizationState& state, const ControlEnvelope& e, uint64_t now = kNow) {
  RecordingBackend backend;
  auto result = state.apply(e, now, backend);
  return result.ok() ? "accepted" : result.error().text();
}

// --- replay window ---

TEST(AuthorizationStateReplayTest, OutOfOrderThenDuplicate) {
  ReplayWindow window;
  EXPECT_EQ(replay_check(window, 5), ReplayResult::kAccept);
  EXPECT_EQ(replay_check(window, 3), ReplayResult::kAccept);
  EXPECT_EQ(replay_check(window, 4), ReplayResult::kAccept);
  EXPECT_EQ(replay_check(window, 4), ReplayResult::kDuplicate);
  EXPECT_EQ(replay_check(window, 5), ReplayResult::kDuplicate);
  EXPECT_EQ(replay_check(window, 0), ReplayResult::kInvalidZero);
}

TEST(AuthorizationStateReplayTest, AgesOneHundredTwentySevenAndTwentyEight) {
  ReplayWindow window;
  ASSERT_EQ(replay_check(window, 200), ReplayResult::kAccept);
  EXPECT_EQ(replay_check(window, 73), ReplayResult::kAccept);  // age 127
  EXPECT_EQ(replay_check(window, 73), ReplayResult::kDuplicate);
  EXPECT_EQ(replay_check(window, 72), ReplayResult::kTooOld);   // age 128
  EXPECT_EQ(replay_check(window, 136), ReplayResult::kAccept);  // age 64: the upper word
  EXPECT_EQ(replay_check(window, 136), ReplayResult::kDuplicate);
  EXPECT_EQ(replay_check(window, 137), ReplayResult::kAccept);  // age 63: the lower word
  EXPECT_EQ(replay_check(window, 137), ReplayResult::kDuplicate);
}

TEST(AuthorizationStateReplayTest, BigJumpEmptiesTheWindow) {
  ReplayWindow window;
  ASSERT_EQ(replay_check(window, 1), ReplayResult::kAccept);
  ASSERT_EQ(replay_check(window, 1000), ReplayResult::kAccept);
  EXPECT_EQ(window.low, 1u);
  EXPECT_EQ(window.high, 0u);
  EXPECT_EQ(replay_check(window, 999), ReplayResult::kAccept);
  EXPECT_EQ(replay_check(window, 1), ReplayResult::kTooOld);
  ASSERT_EQ(replay_check(window, UINT64_MAX), ReplayResult::kAccept);
  EXPECT_EQ(replay_check(window, UINT64_MAX), ReplayResult::kDuplicate);
  EXPECT_EQ(replay_check(window, UINT64_MAX - 127), ReplayResult::kAccept);
}

TEST(AuthorizationStateReplayTest, ShiftsCarryAcrossTheTwoWords) {
  // Marks kept while the window slides by 1, 63, 64 and 65 stay at the right ages.
  for (uint64_t step : {1u, 63u, 64u, 65u, 100u, 127u}) {
    ReplayWindow window;
    ASSERT_EQ(replay_check(window, 1000), ReplayResult::kAccept);
    ASSERT_EQ(replay_check(window, 1000 - 10), ReplayResult::kAccept);
    ASSERT_EQ(replay_check(window, 1000 + step), ReplayResult::kAccept);
    EXPECT_EQ(replay_check(window, 1000), ReplayResult::kDuplicate) << step;
    EXPECT_EQ(replay_check(window, 1000 - 10),
              step + 10 > 127 ? ReplayResult::kTooOld : ReplayResult::kDuplicate)
        << step;
    EXPECT_EQ(replay_check(window, 999),
              step + 1 > 127 ? ReplayResult::kTooOld : ReplayResult::kAccept)
        << step;
  }
}

TEST(AuthorizationStateReplayTest, SlideOfTheWholeWindowOrMoreForgetsEveryMark) {
  for (uint64_t step : {128u, 129u, 1000u}) {
    ReplayWindow window;
    ASSERT_EQ(replay_check(window, 1000), ReplayResult::kAccept);
    ASSERT_EQ(replay_check(window, 1000 - 10), ReplayResult::kAccept);
    ASSERT_EQ(replay_check(window, 1000 + step), ReplayResult::kAccept);
    for (uint64_t age = 1; age < 128; ++age) {
      EXPECT_EQ(replay_check(window, 1000 + step - age), ReplayResult::kAccept)
          << step << " " << age;
    }
  }
}

TEST(AuthorizationStateReplayTest, VerdictNames) {
  EXPECT_EQ(SessionError::replay(ReplayResult::kDuplicate).text(),
            "control replay rejected: Duplicate");
  EXPECT_EQ(SessionError::replay(ReplayResult::kTooOld).text(), "control replay rejected: TooOld");
  EXPECT_EQ(SessionError::replay(ReplayResult::kInvalidZero).text(),
            "control replay rejected: InvalidZero");
}

// --- request, approve, end ---

TEST(AuthorizationStateLifecycleTest, NewStateIsIdle) {
  AuthorizationState state;
  EXPECT_EQ(state.phase(), Phase::kIdle);
  EXPECT_EQ(state.end_reason(), EndReason::kNotEnded);
  EXPECT_FALSE(state.input_paused());
  EXPECT_FALSE(state.active());
  EXPECT_FALSE(state.pending());
  EXPECT_EQ(refusal(state, key_envelope(1)), "operation is invalid for the current session state");
}

TEST(AuthorizationStateLifecycleTest, EstablishActivatesWithEpochOne) {
  AuthorizationState state = active();
  EXPECT_EQ(state.phase(), Phase::kActive);
  ASSERT_TRUE(state.active());
  EXPECT_EQ(state.active()->permission_epoch, 1u);
  EXPECT_EQ(state.active()->expires_at_s, kLeaseEnd);
  EXPECT_EQ(state.active()->granted, kPointerAndKeyboard);
  EXPECT_EQ(state.active()->requester_name, "Remote operator");
  EXPECT_FALSE(state.pending());
}

TEST(AuthorizationStateLifecycleTest, RequestRules) {
  AuthorizationState state;
  VerifiedAuthorization blank = authorization();
  blank.requester_name = " \t\xE3\x80\x80";
  EXPECT_EQ(state.request(blank).error().text(), "incoming request metadata is invalid");
  // Each White_Space character, every range at both ends, is blank on its own; U+200B is not.
  for (const char* space :
       {"\t", "\r", " ", "\xC2\x85", "\xC2\xA0", "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x8A",
        "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80"}) {
    blank.requester_name = space;
    EXPECT_EQ(state.request(blank).error(), SessionError::invalid_request()) << space;
  }
  blank.requester_name = "\xE2\x80\x8B";
  EXPECT_TRUE(AuthorizationState().request(blank).ok());
  VerifiedAuthorization long_name = authorization();
  long_name.requester_name = std::string(129, 'n');
  EXPECT_EQ(state.request(long_name).error(), SessionError::invalid_request());
  VerifiedAuthorization no_lease = authorization();
  no_lease.lease_end_s = 0;
  EXPECT_EQ(state.request(no_lease).error(), SessionError::invalid_request());
  EXPECT_EQ(state.phase(), Phase::kIdle);

  ASSERT_TRUE(state.request(authorization()).ok());
  EXPECT_EQ(state.phase(), Phase::kPending);
  EXPECT_EQ(state.request(authorization()).error(), SessionError::invalid_state());
  ASSERT_TRUE(state.approve(kPointerOnly, kNow).ok());
  EXPECT_EQ(state.request(authorization()).error(), SessionError::invalid_state());
}

TEST(AuthorizationStateLifecycleTest, ApprovalMayOnlyNarrow) {
  AuthorizationState state;
  ASSERT_TRUE(state.request(authorization(kPointerOnly)).ok());
  auto wider = state.approve(kPointerAndKeyboard, kNow);
  ASSERT_FALSE(wider.ok());
  EXPECT_EQ(wider.error().text(), "approved permissions are not a subset of requested permissions");
  EXPECT_EQ(state.phase(), Phase::kPending);
  ASSERT_TRUE(state.pending());
  ASSERT_TRUE(state.approve(PermissionSet{0x1}, kNow).ok());
  EXPECT_EQ(state.active()->granted, PermissionSet{0x1});
  EXPECT_EQ(state.approve(PermissionSet{0x1}, kNow).error(), SessionError::invalid_state());
}

TEST(AuthorizationStateLifecycleTest, ApprovalAtLeaseEndExpires) {
  AuthorizationState state;
  ASSERT_TRUE(state.request(authorization()).ok());
  auto late = state.approve(kPointerOnly, kLeaseEnd);
  ASSERT_FALSE(late.ok());
  EXPECT_EQ(late.error().text(), "session authorization expired");
  EXPECT_EQ(state.phase(), Phase::kEnded);
  EXPECT_EQ(state.end_reason(), EndReason::kLeaseExpired);
  EXPECT_FALSE(state.input_paused()) << "expiry found by approve leaves the flag";
  EXPECT_FALSE(state.pending());
  // An ended state may request again.
  EXPECT_TRUE(state.request(authorization()).ok());
  EXPECT_EQ(state.end_reason(), EndReason::kNotEnded);
}

TEST(AuthorizationStateLifecycleTest, EndDropsEverythingAndPauses) {
  AuthorizationState state = active();
  state.end(EndReason::kPeerStopped);
  EXPECT_EQ(state.phase(), Phase::kEnded);
  EXPECT_EQ(state.end_reason(), EndReason::kPeerStopped);
  EXPECT_TRUE(state.input_paused());
  EXPECT_FALSE(state.active());
  EXPECT_EQ(refusal(state, envelope(1, StopAction{"peer_stop"})),
            "operation is invalid for the current session state");
}

TEST(AuthorizationStateLifecycleTest, EstablishFailuresAreSessionErrors) {
  VerifiedAuthorization expired = authorization();
  EXPECT_EQ(establish(expired, kPointerOnly, kLeaseEnd).error(), SessionError::expired());
  EXPECT_EQ(establish(expired, PermissionSet{0x10000}, kNow).error(),
            SessionError::permission_expansion());
}

// --- apply ---

TEST(AuthorizationStateApplyTest, InputReachesTheBackendInOrder) {
  AuthorizationState state = active();
  RecordingBackend backend;
  EXPECT_EQ(state.apply(move_envelope(1), kNow, backend).value(), Outcome::kInjected);
  EXPECT_EQ(state.apply(envelope(2, ButtonAction{1, true}), kNow, backend).value(),
            Outcome::kInjected);
  EXPECT_EQ(state.apply(envelope(3, ScrollAction{-12000, 12000}), kNow, backend).value(),
            Outcome::kInjected);
  EXPECT_EQ(state.apply(key_envelope(4), kNow, backend).value(), Outcome::kInjected);
  ASSERT_EQ(backend.executed.size(), 4u);
  EXPECT_TRUE(std::holds_alternative<MoveAction>(backend.executed[0]));
  EXPECT_TRUE(std::holds_alternative<KeyAction>(backend.executed[3]));
}

TEST(AuthorizationStateApplyTest, LeaseExpiryEndsTheSession) {
  AuthorizationState state = active();
  RecordingBackend backend;
  EXPECT_TRUE(state.apply(key_envelope(1), kLeaseEnd - 1, backend).ok());
  auto expired = state.apply(key_envelope(2), kLeaseEnd, backend);
  ASSERT_FALSE(expired.ok());
  EXPECT_EQ(expired.error().text(), "session authorization expired");
  EXPECT_EQ(state.phase(), Phase::kEnded);
  EXPECT_EQ(state.end_reason(), EndReason::kLeaseExpired);
  EXPECT_TRUE(state.input_paused());
  EXPECT_EQ(state.apply(key_envelope(3), kNow, backend).error(), SessionError::invalid_state());
  EXPECT_EQ(backend.executed.size(), 1u);
}

TEST(AuthorizationStateApplyTest, EnvelopeRulesInOrder) {
  AuthorizationState state = active();
  ControlEnvelope wrong_session = key_envelope(1);
  wrong_session.session_id[0] ^= 1;
  EXPECT_EQ(refusal(state, wrong_session), "ticket binding mismatch for session_id");
  ControlEnvelope short_session = key_envelope(1);
  short_session.session_id.pop_back();
  EXPECT_EQ(refusal(state, short_session), "ticket binding mismatch for session_id");
  EXPECT_EQ(refusal(state, key_envelope(0)), "invalid field sequence");
  ControlEnvelope epoch = key_envelope(1);
  epoch.permission_epoch = 2;
  EXPECT_EQ(refusal(state, epoch), "ticket binding mismatch for permission_epoch");
  // Session mismatch wins over a zero sequence and a wrong epoch.
  ControlEnvelope all_wrong = key_envelope(0);
  all_wrong.session_id.clear();
  all_wrong.permission_epoch = 9;
  EXPECT_EQ(refusal(state, all_wrong), "ticket binding mismatch for session_id");
  // None of the refused envelopes used a sequence number.
  EXPECT_FALSE(state.replay_window().any_accepted);
}

TEST(AuthorizationStateApplyTest, PermissionPerEventKind) {
  AuthorizationState pointer_only = active(kPointerOnly);
  EXPECT_EQ(refusal(pointer_only, key_envelope(1)), "permission denied: SendKeyboard");
  EXPECT_EQ(refusal(pointer_only, move_envelope(2)), "accepted");

  AuthorizationState view_only = active(PermissionSet{0x1});
  EXPECT_EQ(refusal(view_only, move_envelope(1)), "permission denied: SendPointer");
  EXPECT_EQ(refusal(view_only, envelope(2, ButtonAction{1, true})),
            "permission denied: SendPointer");
  EXPECT_EQ(refusal(view_only, envelope(3, ScrollAction{1, 0})), "permission denied: SendPointer");
  EXPECT_EQ(refusal(view_only, envelope(4, PauseAction{"peer_requested", true})), "accepted");
  EXPECT_EQ(refusal(view_only, envelope(5, StopAction{"peer_stop"})), "accepted");
  // The permission is checked before the content: a bad button without SEND_POINTER is a denial.
  AuthorizationState view_again = active(PermissionSet{0x1});
  EXPECT_EQ(refusal(view_again, envelope(1, ButtonAction{0, true})),
            "permission denied: SendPointer");
}

TEST(AuthorizationStateApplyTest, EventContentRules) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  using Mode = MoveAction::Mode;
  const std::vector<std::pair<InputAction, std::string>> cases = {
      {MoveAction{"d", Mode::kAbsolute, 0.0f, 1.0f}, "accepted"},
      {MoveAction{"d", Mode::kAbsolute, -0.001f, 0.5f}, "invalid field pointer coordinates"},
      {MoveAction{"d", Mode::kAbsolute, 0.5f, 1.001f}, "invalid field pointer coordinates"},
      {MoveAction{"d", Mode::kAbsolute, nan, 0.5f}, "invalid field pointer coordinates"},
      {MoveAction{"d", Mode::kRelative, inf, 0.0f}, "invalid field pointer coordinates"},
      {MoveAction{"d", Mode::kRelative, -32768.0f, 32767.0f}, "accepted"},
      {MoveAction{"d", Mode::kRelative, -32769.0f, 0.0f}, "invalid field relative pointer delta"},
      {MoveAction{"d", Mode::kRelative, 0.0f, 32768.0f}, "invalid field relative pointer delta"},
      {MoveAction{std::string(128, 'd'), Mode::kAbsolute, 0.5f, 0.5f}, "accepted"},
      {MoveAction{std::string(129, 'd'), Mode::kAbsolute, 0.5f, 0.5f},
       "display_id exceeds limit 128"},
      {ButtonAction{1, true}, "accepted"},
      {ButtonAction{32, false}, "accepted"},
      {ButtonAction{0, true}, "invalid field pointer button"},
      {ButtonAction{33, true}, "invalid field pointer button"},
      {ScrollAction{12001, 0}, "invalid field scroll delta"},
      {ScrollAction{0, -12001}, "invalid field scroll delta"},
      {ScrollAction{INT32_MIN, 0}, "invalid field scroll delta"},
      {KeyAction{1, 0xFF, true}, "accepted"},
      {KeyAction{65535, 0, false}, "accepted"},
      {KeyAction{0, 0, true}, "invalid field keyboard HID usage"},
      {KeyAction{65536, 0, true}, "invalid field keyboard HID usage"},
      {PauseAction{"", true}, "accepted"},
      {PauseAction{std::string(64, '~'), false}, "accepted"},
      {PauseAction{std::string(65, 'r'), true}, "invalid field reason_code"},
      {PauseAction{"peer requested", true}, "invalid field reason_code"},
      {StopAction{"stop\x7f"}, "invalid field reason_code"},
  };
  for (const auto& [event, expected] : cases) {
    AuthorizationState state = active();
    EXPECT_EQ(refusal(state, envelope(1, event)), expected) << event.index() << " " << expected;
  }
}

TEST(AuthorizationStateApplyTest, EachBoundOfEachPointerCoordinate) {
  using Mode = MoveAction::Mode;
  struct Bound {
    Mode mode;
    float low, high, step;
    const char* refusal;
  };
  const Bound bounds[] = {
      {Mode::kAbsolute, 0.0f, 1.0f, 0.001f, "invalid field pointer coordinates"},
      {Mode::kRelative, -32768.0f, 32767.0f, 1.0f, "invalid field relative pointer delta"},
  };
  for (const Bound& b : bounds) {
    for (bool on_x : {true, false}) {
      for (float value : {b.low, b.high, b.low - b.step, b.high + b.step}) {
        const bool inside = value >= b.low && value <= b.high;
        const float middle = b.mode == Mode::kAbsolute ? 0.5f : 0.0f;
        MoveAction move{"d", b.mode, on_x ? value : middle, on_x ? middle : value};
        AuthorizationState state = active();
        EXPECT_EQ(refusal(state, envelope(1, move)), inside ? "accepted" : b.refusal)
            << (on_x ? "x " : "y ") << value;
      }
    }
  }
}

TEST(AuthorizationStateApplyTest, ReasonCodeIsEmptyOrAPrintableToken) {
  for (const auto& [reason, printable] : testing::printable_token_cases()) {
    const std::string expected =
        printable || reason.empty() ? "accepted" : "invalid field reason_code";
    AuthorizationState paused = active();
    EXPECT_EQ(refusal(paused, envelope(1, PauseAction{reason, true})), expected)
        << ::testing::PrintToString(reason);
    AuthorizationState stopped = active();
    EXPECT_EQ(refusal(stopped, envelope(1, StopAction{reason})), expected)
        << ::testing::PrintToString(reason);
  }
}

TEST(AuthorizationStateApplyTest, ReplayIsCheckedAfterTheEnvelope) {
  AuthorizationState state = active();
  EXPECT_EQ(refusal(state, key_envelope(7)), "accepted");
  EXPECT_EQ(refusal(state, key_envelope(7)), "control replay rejected: Duplicate");
  // A refused content rule does not use the sequence.
  EXPECT_EQ(refusal(state, envelope(8, KeyAction{0, 0, true})), "invalid field keyboard HID usage");
  EXPECT_EQ(refusal(state, key_envelope(8)), "accepted");
  for (uint64_t s = 9; s < 200; ++s) ASSERT_EQ(refusal(state, key_envelope(s)), "accepted");
  EXPECT_EQ(refusal(state, key_envelope(71)), "control replay rejected: TooOld");
}

TEST(AuthorizationStateApplyTest, PauseRefusesInputButUsesItsSequence) {
  AuthorizationState state = active();
  RecordingBackend backend;
  EXPECT_EQ(state.apply(envelope(1, PauseAction{"peer_requested", true}), kNow, backend).value(),
            Outcome::kPaused);
  EXPECT_TRUE(state.input_paused());
  auto paused = state.apply(key_envelope(2), kNow, backend);
  ASSERT_FALSE(paused.ok());
  EXPECT_EQ(paused.error().text(), "remote input is locally paused");
  EXPECT_EQ(refusal(state, key_envelope(2)), "control replay rejected: Duplicate");
  EXPECT_EQ(state.apply(envelope(3, PauseAction{"peer_requested", false}), kNow, backend).value(),
            Outcome::kResumed);
  EXPECT_EQ(state.apply(key_envelope(4), kNow, backend).value(), Outcome::kInjected);
  EXPECT_EQ(backend.executed.size(), 1u);
}

TEST(AuthorizationStateApplyTest, StopEndsEvenWhilePaused) {
  AuthorizationState state = active();
  RecordingBackend backend;
  ASSERT_TRUE(state.apply(envelope(1, PauseAction{"peer_requested", true}), kNow, backend).ok());
  EXPECT_EQ(state.apply(envelope(2, StopAction{"peer_stop"}), kNow, backend).value(),
            Outcome::kStopped);
  EXPECT_EQ(state.phase(), Phase::kEnded);
  EXPECT_EQ(state.end_reason(), EndReason::kPeerStopped);
  EXPECT_TRUE(backend.executed.empty());
}

TEST(AuthorizationStateApplyTest, BackendFailureIsAnAdapterError) {
  AuthorizationState state = active();
  RecordingBackend backend;
  backend.fail = AdapterError::platform("SendInput failed");
  auto result = state.apply(key_envelope(1), kNow, backend);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().kind(), SessionError::Kind::kAdapter);
  EXPECT_EQ(result.error().text(),
            "native adapter rejected event: Windows adapter operation failed: SendInput failed");
  EXPECT_EQ(refusal(state, key_envelope(1)), "control replay rejected: Duplicate");
}

TEST(AuthorizationStateApplyTest, SessionErrorTexts) {
  EXPECT_EQ(SessionError::invalid_state().text(),
            "operation is invalid for the current session state");
  EXPECT_EQ(SessionError::invalid_request().text(), "incoming request metadata is invalid");
  EXPECT_EQ(SessionError::permission_expansion().text(),
            "approved permissions are not a subset of requested permissions");
  EXPECT_EQ(SessionError::expired().text(), "session authorization expired");
  EXPECT_EQ(SessionError::protocol(ValidationError::invalid_field("sequence")).text(),
            "invalid field sequence");
  EXPECT_EQ(SessionError::input_paused().text(), "remote input is locally paused");
  EXPECT_EQ(SessionError::adapter("x").text(), "native adapter rejected event: x");
}

// --- carry ---

TEST(AuthorizationStateCarryTest, CarryWindow) {
  EXPECT_EQ(carried_lease_end(kNow + 10, kNow + 30, kNow), kNow + 30);
  EXPECT_EQ(carried_lease_end(kNow + 10, kNow + 31, kNow), std::nullopt);
  EXPECT_EQ(carried_lease_end(kNow + 10, kNow, kNow), std::nullopt);
  EXPECT_EQ(carried_lease_end(kNow + 10, kNow - 1, kNow), std::nullopt);
  // A lease that has run out cannot be carried, however close the carry is.
  EXPECT_EQ(carried_lease_end(kNow + 1, kNow + 1, kNow), kNow + 1);
  EXPECT_EQ(carried_lease_end(kNow, kNow + 1, kNow), std::nullopt);
  EXPECT_EQ(carried_lease_end(kNow - 1, kNow + 30, kNow), std::nullopt);
  EXPECT_EQ(carried_lease_end(0, UINT64_MAX, UINT64_MAX), std::nullopt);
  EXPECT_EQ(carried_lease_end(kNow + 300, kNow + 5, kNow), kNow + 300) << "never shortens";
  EXPECT_EQ(carried_lease_end(UINT64_MAX, UINT64_MAX, UINT64_MAX - 1), UINT64_MAX);
}

TEST(AuthorizationStateCarryTest, RebuildKeepsThePauseFlagAndResetsTheRest) {
  AuthorizationState state = active();
  RecordingBackend backend;
  ASSERT_TRUE(state.apply(key_envelope(50), kNow, backend).ok());
  ASSERT_TRUE(state.apply(envelope(51, PauseAction{"peer_requested", true}), kNow, backend).ok());
  VerifiedAuthorization updated = authorization();
  updated.lease_end_s = kLeaseEnd + 20;
  auto rebuilt = rebuild_after_carry(state, updated, kNow + 1);
  ASSERT_TRUE(rebuilt.ok());
  EXPECT_TRUE(rebuilt.value().input_paused());
  EXPECT_EQ(rebuilt.value().active()->expires_at_s, kLeaseEnd + 20);
  EXPECT_EQ(rebuilt.value().active()->permission_epoch, 1u);
  EXPECT_FALSE(rebuilt.value().replay_window().any_accepted);
  EXPECT_EQ(refusal(rebuilt.value(), key_envelope(50), kNow + 1), "remote input is locally paused");

  AuthorizationState running = active();
  auto resumed = rebuild_after_carry(running, updated, kNow + 1);
  ASSERT_TRUE(resumed.ok());
  EXPECT_FALSE(resumed.value().input_paused());

  VerifiedAuthorization lapsed = authorization();
  auto failed = rebuild_after_carry(state, lapsed, kLeaseEnd);
  ASSERT_FALSE(failed.ok());
  EXPECT_EQ(failed.error(), SessionError::expired());
}

}  // namespace
}  // namespace vornakel::native_protocol
