#include "server/OriginGate.h"

#include <gtest/gtest.h>

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

  gate.Answer("https://a.example", true);
  // Arriving after the answer and before the listener took it: goes with it.
  OriginGate::Held late = Request("late", t0);
  EXPECT_EQ(gate.Hold("https://a.example", late), HoldResult::kHeld);
  std::vector<OriginGate::Answered> answered = gate.TakeAnswered();
  ASSERT_EQ(answered.size(), 1u);
  EXPECT_EQ(answered[0].origin, "https://a.example");
  EXPECT_TRUE(answered[0].allowed);
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

  gate.Answer("https://b.example", false);
  answered = gate.TakeAnswered();
  ASSERT_EQ(answered.size(), 1u);
  EXPECT_FALSE(answered[0].allowed);
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
  gate.Answer("https://o0.example", true);
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
