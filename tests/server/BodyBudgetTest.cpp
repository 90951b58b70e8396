#include "server/BodyBudget.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/ConnectionLimits.h"
#include "server/RequestFramer.h"

namespace qb {
namespace {

constexpr size_t kMiB = 1024 * 1024;

TEST(BodyBudget, SharesTheTotalFairlyAmongPeers) {
  struct Step {
    const char* peer;
    size_t bytes;
    bool granted;
  };
  struct Row {
    const char* name;
    size_t total;
    std::vector<Step> steps;
    size_t held;  // in all, after the steps
  };
  const Row rows[] = {
      {"one peer takes at most half",
       1024 * kMiB,
       {{"a", 300 * kMiB, true}, {"a", 200 * kMiB, true}, {"a", 100 * kMiB, false},
        {"a", 12 * kMiB, true}, {"a", 1, false}},
       512 * kMiB},
      {"others still get theirs",
       1024 * kMiB,
       {{"a", 512 * kMiB, true}, {"b", 300 * kMiB, true}, {"c", 300 * kMiB, false},
        {"c", 212 * kMiB, true}, {"b", 1, false}},
       1024 * kMiB},
      {"a share is always room for one largest request",
       512 * kMiB,
       {{"a", kMaxRequestBytes + 1, true}, {"a", 1, false}, {"b", 255 * kMiB, true},
        {"c", 1 * kMiB, false}},
       kMaxRequestBytes + 1 + 255 * kMiB},
      {"nothing is a grant that always fits", 0, {{"a", 0, true}, {"a", 1, false}}, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    BodyBudget budget(row.total);
    for (const Step& step : row.steps) {
      const size_t before = budget.HeldBy(step.peer);
      EXPECT_EQ(budget.Take(step.peer, step.bytes), step.granted) << step.peer << step.bytes;
      EXPECT_EQ(budget.HeldBy(step.peer), before + (step.granted ? step.bytes : 0));
    }
    EXPECT_EQ(budget.Held(), row.held);
  }
}

TEST(BodyBudget, WhatIsGivenBackCanBeTakenAgain) {
  BodyBudget budget(512 * kMiB);
  ASSERT_TRUE(budget.Take("a", 200 * kMiB));
  ASSERT_TRUE(budget.Take("b", 256 * kMiB));
  EXPECT_FALSE(budget.Take("c", 100 * kMiB));
  budget.Give("b", 256 * kMiB);
  EXPECT_EQ(budget.HeldBy("b"), 0u);
  EXPECT_TRUE(budget.Take("c", 100 * kMiB));
  budget.Give("nobody", 100 * kMiB);  // never granted: changes nothing
  EXPECT_EQ(budget.Held(), 300 * kMiB);
}

// The grants live in the connections' tickets: closing a connection (its
// ticket ends, wherever it was moved to) gives its grant back.
TEST(BodyBudget, AConnectionGivesItsGrantBackWhenItCloses) {
  ConnectionLimits limits(8, 8, 8, 1024 * kMiB);
  std::vector<ConnectionLimits::Ticket> tickets;
  for (const char* peer : {"a", "a", "b"}) {
    tickets.push_back(limits.TryOpen());
    ASSERT_TRUE(tickets.back().SetPeer(peer));
  }
  EXPECT_TRUE(tickets[0].CoverBody(300 * kMiB));
  EXPECT_TRUE(tickets[0].CoverBody(500 * kMiB));  // grows by 200
  EXPECT_TRUE(tickets[0].CoverBody(10 * kMiB));   // covered already
  EXPECT_EQ(tickets[0].BodyCovered(), 500 * kMiB);
  EXPECT_FALSE(tickets[1].CoverBody(13 * kMiB));  // past peer a's half
  EXPECT_EQ(tickets[1].BodyCovered(), 0u);
  EXPECT_TRUE(tickets[2].CoverBody(500 * kMiB));
  EXPECT_EQ(limits.BodiesHeld(), 1000 * kMiB);

  ConnectionLimits::Ticket moved = std::move(tickets[0]);
  EXPECT_EQ(limits.BodiesHeld(), 1000 * kMiB);
  moved = ConnectionLimits::Ticket();
  EXPECT_EQ(limits.BodiesHeld(), 500 * kMiB);
  EXPECT_TRUE(tickets[1].CoverBody(500 * kMiB));
  tickets.clear();
  EXPECT_EQ(limits.BodiesHeld(), 0u);
}

TEST(BodyBudget, TheRefusalSaysSoAndAnnouncesItsBody) {
  const std::string_view answer = kBodyBudgetAnswer;
  ASSERT_TRUE(answer.starts_with("HTTP/1.1 503 "));
  const size_t headerEnd = answer.find("\r\n\r\n");
  ASSERT_NE(headerEnd, std::string_view::npos);
  const std::string_view body = answer.substr(headerEnd + 4);
  EXPECT_NE(answer.find("\r\nContent-Length: " + std::to_string(body.size()) + "\r\n"),
            std::string_view::npos);
  EXPECT_NE(answer.find("\r\nConnection: close\r\n"), std::string_view::npos);
}

}  // namespace
}  // namespace qb
