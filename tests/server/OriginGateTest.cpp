#include "server/OriginGate.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>

#include "server/RefusalLog.h"

namespace qb {
namespace {

using HoldResult = OriginGate::HoldResult;
using Clock = OriginGate::Clock;

OriginGate::Held Request(const std::string& bytes, Clock::time_point since) {
  return {UniqueFd(), bytes, ConnectionLimits::Ticket(), since};
}

TEST(OriginGate, HoldsAFewRequestsPerOriginUntilTheAnswer) {
  OriginGate gate;
  const Clock::time_point t0 = Clock::now();
  struct Row {
    const char* name;
    std::string origin;
    HoldResult result;
  };
  std::vector<Row> rows = {{"first asks", "https://a.example", HoldResult::kAsk}};
  for (size_t i = 1; i < kMaxHeldPerOrigin; ++i) {
    rows.push_back({"more wait for the same question", "https://a.example", HoldResult::kHeld});
  }
  rows.push_back({"one too many is refused", "https://a.example", HoldResult::kRefused});
  rows.push_back({"another origin asks on its own", "https://b.example", HoldResult::kAsk});
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].name);
    OriginGate::Held held = Request(std::to_string(i), t0);
    EXPECT_EQ(gate.Hold(rows[i].origin, held), rows[i].result);
    // A refused request stays with the caller.
    EXPECT_EQ(held.request.empty(), rows[i].result != HoldResult::kRefused);
  }
  EXPECT_TRUE(gate.TakeAnswered().empty());

  gate.Answer("https://a.example", OriginAnswer::kAllow);
  // Arriving after the answer and before the listener took it: goes with it.
  OriginGate::Held late = Request("late", t0);
  EXPECT_EQ(gate.Hold("https://a.example", late), HoldResult::kHeld);
  std::vector<OriginGate::Answered> answered = gate.TakeAnswered();
  ASSERT_EQ(answered.size(), 1u);
  EXPECT_EQ(answered[0].origin, "https://a.example");
  EXPECT_TRUE(answered[0].allowed());
  std::vector<std::string> requests;
  for (const OriginGate::Held& held : answered[0].held) {
    requests.push_back(held.request);
  }
  std::vector<std::string> expected;
  for (size_t i = 0; i < kMaxHeldPerOrigin; ++i) {
    expected.push_back(std::to_string(i));
  }
  expected.push_back("late");
  EXPECT_EQ(requests, expected);
  EXPECT_EQ(gate.Origins(), 1u);  // b is still being asked

  gate.Answer("https://b.example", OriginAnswer::kDeny);
  answered = gate.TakeAnswered();
  ASSERT_EQ(answered.size(), 1u);
  EXPECT_FALSE(answered[0].allowed());
  EXPECT_EQ(answered[0].held.size(), 1u);
  EXPECT_EQ(gate.Origins(), 0u);
}

TEST(OriginGate, BoundsTheOriginsAskedAtOnce) {
  OriginGate gate;
  for (size_t i = 0; i < kMaxAskedOrigins; ++i) {
    OriginGate::Held held = Request("r", Clock::now());
    EXPECT_EQ(gate.Hold("https://o" + std::to_string(i) + ".example", held), HoldResult::kAsk);
  }
  OriginGate::Held held = Request("r", Clock::now());
  EXPECT_EQ(gate.Hold("https://one-more.example", held), HoldResult::kRefused);
  gate.Answer("https://o0.example", OriginAnswer::kAllow);
  gate.TakeAnswered();
  EXPECT_EQ(gate.Hold("https://one-more.example", held), HoldResult::kAsk);
}

TEST(OriginGate, RequestsWaitABoundedTime) {
  OriginGate gate;
  const Clock::time_point t0 = Clock::now();
  OriginGate::Held first = Request("first", t0);
  OriginGate::Held second = Request("second", t0 + std::chrono::seconds(30));
  EXPECT_EQ(gate.Hold("https://a.example", first), HoldResult::kAsk);
  EXPECT_EQ(gate.Hold("https://a.example", second), HoldResult::kHeld);
  EXPECT_TRUE(gate.TakeExpired(t0 + kConsentWait - std::chrono::milliseconds(1)).empty());
  std::vector<OriginGate::Held> expired = gate.TakeExpired(t0 + kConsentWait);
  ASSERT_EQ(expired.size(), 1u);
  EXPECT_EQ(expired[0].request, "first");
  // The question stays open: a new request waits for it without asking again.
  OriginGate::Held third = Request("third", t0 + kConsentWait);
  EXPECT_EQ(gate.Hold("https://a.example", third), HoldResult::kHeld);
  EXPECT_EQ(gate.TakeAll().size(), 2u);
}

// The user who keeps denying is not asked again for a while: the questions
// waiting for their turn close unanswered and new origins are refused at once.
TEST(OriginGate, PausesQuestionsAfterRepeatedDenials) {
  OriginGate gate;
  const Clock::time_point t0 = Clock::now();
  const auto at = [&](std::chrono::seconds offset) { return t0 + offset; };
  const auto hold = [&](const std::string& origin, Clock::time_point when) {
    OriginGate::Held held = Request("r", when);
    return gate.Hold(origin, held);
  };
  using std::chrono::seconds;
  struct Row {
    const char* name;
    seconds when;
    const char* origin;
    std::optional<OriginAnswer> answer;  // nullopt: a request is held instead
    HoldResult held;                     // for requests
  };
  const seconds window = kDenialWindow;
  const Row rows[] = {
      {"first origin asked", seconds(0), "https://1.example", std::nullopt, HoldResult::kAsk},
      {"denied", seconds(1), "https://1.example", OriginAnswer::kDeny, {}},
      {"second asked", seconds(9), "https://2.example", std::nullopt, HoldResult::kAsk},
      {"denied", seconds(10), "https://2.example", OriginAnswer::kDeny, {}},
      {"an allowed one does not count", seconds(11), "https://3.example", std::nullopt,
       HoldResult::kAsk},
      {"allowed", seconds(12), "https://3.example", OriginAnswer::kAllow, {}},
      {"the first denial has left the window", window + seconds(1), "https://4.example",
       std::nullopt, HoldResult::kAsk},
      {"waiting for its turn", window + seconds(1), "https://5.example", std::nullopt,
       HoldResult::kAsk},
      {"two denials within the window", window + seconds(2), "https://4.example",
       OriginAnswer::kDeny, {}},
      {"still asked", window + seconds(3), "https://6.example", std::nullopt, HoldResult::kAsk},
      {"the third denial within the window pauses", window + seconds(4), "https://6.example",
       OriginAnswer::kDeny, {}},
      {"paused: not asked", window + seconds(5), "https://7.example", std::nullopt,
       HoldResult::kNotAsking},
      {"paused until the hour is over", window + seconds(4) + kAskingPause - seconds(1),
       "https://7.example", std::nullopt, HoldResult::kNotAsking},
      {"asked again after the hour", window + seconds(4) + kAskingPause, "https://7.example",
       std::nullopt, HoldResult::kAsk},
  };
  std::vector<OriginGate::Answered> answered;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.answer) {
      gate.Answer(row.origin, *row.answer, at(row.when));
      for (OriginGate::Answered& one : gate.TakeAnswered()) {
        answered.push_back(std::move(one));
      }
    } else {
      EXPECT_EQ(hold(row.origin, at(row.when)), row.held);
    }
  }
  std::vector<std::pair<std::string, OriginGate::Outcome>> outcomes;
  for (const OriginGate::Answered& one : answered) {
    outcomes.emplace_back(one.origin, one.outcome);
  }
  using Outcome = OriginGate::Outcome;
  EXPECT_EQ(outcomes, (std::vector<std::pair<std::string, Outcome>>{
                          {"https://1.example", Outcome::kDenied},
                          {"https://2.example", Outcome::kDenied},
                          {"https://3.example", Outcome::kAllowed},
                          {"https://4.example", Outcome::kDenied},
                          // The question waiting for its turn closed with the pause.
                          {"https://5.example", Outcome::kNotAsked},
                          {"https://6.example", Outcome::kDenied},
                      }));
  EXPECT_EQ(gate.PausedUntil(at(window + seconds(5))), at(window + seconds(4)) + kAskingPause);
  EXPECT_EQ(gate.PausedUntil(at(window + seconds(4)) + kAskingPause), std::nullopt);
}

TEST(OriginGate, StopsAskingWhenTheUserSaysSoUntilTurnedBackOn) {
  OriginGate gate;
  const Clock::time_point t0 = Clock::now();
  OriginGate::Held first = Request("1", t0);
  OriginGate::Held second = Request("2", t0);
  EXPECT_EQ(gate.Hold("https://a.example", first), HoldResult::kAsk);
  EXPECT_EQ(gate.Hold("https://b.example", second), HoldResult::kAsk);
  EXPECT_TRUE(gate.IsOpen("https://b.example"));
  gate.Answer("https://a.example", OriginAnswer::kStopAsking, t0);
  // The question waiting for its turn is closed: the prompt skips it.
  EXPECT_FALSE(gate.IsOpen("https://b.example"));
  std::vector<OriginGate::Answered> answered = gate.TakeAnswered();
  ASSERT_EQ(answered.size(), 2u);
  EXPECT_EQ(answered[0].outcome, OriginGate::Outcome::kStopAsking);
  EXPECT_EQ(answered[1].outcome, OriginGate::Outcome::kNotAsked);
  OriginGate::Held third = Request("3", t0);
  EXPECT_EQ(gate.Hold("https://c.example", third), HoldResult::kNotAsking);
  EXPECT_EQ(third.request, "3");  // still the caller's
  gate.SetAsking(true);
  EXPECT_EQ(gate.Hold("https://c.example", third), HoldResult::kAsk);
  // Turned off by the configuration: the open question closes too.
  gate.SetAsking(false);
  EXPECT_FALSE(gate.IsOpen("https://c.example"));
  answered = gate.TakeAnswered();
  ASSERT_EQ(answered.size(), 1u);
  EXPECT_EQ(answered[0].outcome, OriginGate::Outcome::kNotAsked);
  EXPECT_EQ(answered[0].held.size(), 1u);
}

TEST(RefusalLog, LogsEachCauseAtMostOncePerInterval) {
  RefusalLog log(std::chrono::seconds(60), 2);
  const Clock::time_point t0 = Clock::now();
  struct Row {
    const char* name;
    std::string cause;
    std::chrono::seconds at;
    bool logged;
  };
  const Row rows[] = {
      {"first of a cause", "uid 1000", std::chrono::seconds(0), true},
      {"again within the minute", "uid 1000", std::chrono::seconds(59), false},
      {"other cause", "uid 0", std::chrono::seconds(1), true},
      {"full: a third cause is not logged", "host x", std::chrono::seconds(2), false},
      {"after the minute", "uid 1000", std::chrono::seconds(60), true},
      {"full until an old cause is forgotten", "host x", std::chrono::seconds(61), true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(log.ShouldLog(row.cause, t0 + row.at), row.logged);
  }
}

}  // namespace
}  // namespace qb
