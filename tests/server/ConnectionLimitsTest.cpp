#include "server/ConnectionLimits.h"

#include <gtest/gtest.h>

#include <vector>

namespace qb {
namespace {

TEST(ConnectionLimits, TicketsHoldSharesUntilTheyAreDestroyed) {
  ConnectionLimits limits(3, 1);
  std::vector<ConnectionLimits::Ticket> tickets;
  for (int i = 0; i < 3; ++i) {
    tickets.push_back(limits.TryOpen());
    ASSERT_TRUE(tickets.back().Valid());
  }
  EXPECT_FALSE(limits.CanOpen());
  EXPECT_FALSE(limits.TryOpen().Valid());

  // One large share for all of them.
  EXPECT_TRUE(tickets[0].TakeLarge());
  EXPECT_TRUE(tickets[0].TakeLarge());  // taken already: still held, not counted twice
  EXPECT_FALSE(tickets[1].TakeLarge());
  EXPECT_FALSE(limits.LargeFree());

  // A moved ticket carries its shares; the moved-from one holds none.
  ConnectionLimits::Ticket moved = std::move(tickets[0]);
  EXPECT_FALSE(tickets[0].Valid());
  EXPECT_TRUE(moved.HoldsLarge());
  EXPECT_FALSE(limits.CanOpen());

  moved = ConnectionLimits::Ticket();  // gives both shares back
  EXPECT_TRUE(limits.CanOpen());
  EXPECT_TRUE(limits.LargeFree());
  EXPECT_TRUE(tickets[1].TakeLarge());
  tickets.clear();
  for (int i = 0; i < 3; ++i) {
    tickets.push_back(limits.TryOpen());
    EXPECT_TRUE(tickets.back().Valid());
  }
}

TEST(ConnectionLimits, OnePeerGetsAtMostItsShare) {
  ConnectionLimits limits(10, 1, 2);
  std::vector<ConnectionLimits::Ticket> tickets;
  for (int i = 0; i < 2; ++i) {
    tickets.push_back(limits.TryOpen());
    EXPECT_TRUE(tickets.back().SetPeer("127.0.0.1"));  // up to exactly the bound
  }
  ConnectionLimits::Ticket third = limits.TryOpen();
  EXPECT_FALSE(third.SetPeer("127.0.0.1"));  // one over
  EXPECT_TRUE(third.SetPeer("::1"));         // another peer has its own share
  tickets.pop_back();                        // a closed connection gives its share back
  ConnectionLimits::Ticket fourth = limits.TryOpen();
  EXPECT_TRUE(fourth.SetPeer("127.0.0.1"));
  ConnectionLimits::Ticket moved = std::move(fourth);  // the share moves with the ticket
  EXPECT_FALSE(limits.TryOpen().SetPeer("127.0.0.1"));
  moved = ConnectionLimits::Ticket();
  EXPECT_TRUE(limits.TryOpen().SetPeer("127.0.0.1"));
}

}  // namespace
}  // namespace qb
