#include "context/ListeningPlace.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

// The wording is read by people and by scripts around `--status`: it stays
// exactly as the listener has always logged it.
TEST(ListeningPlace, WordsEachWayOfTakingConnections) {
  using Way = ListeningPlace::Way;
  struct Row {
    ListeningPlace place;
    const char* text;
  };
  const Row rows[] = {
      {{Way::kNowhere, 3210, {}, {}}, ""},
      {{Way::kBound, 3210, {"127.0.0.1"}, {}}, "127.0.0.1 port 3210"},
      {{Way::kBound, 3210, {"127.0.0.1", "::1"}, {}}, "127.0.0.1 and ::1 port 3210"},
      {{Way::kRegistered, 3210, {}, "/run/quillbox/broker"},
       "port 3210 through the port broker at /run/quillbox/broker (registered)"},
      {{Way::kWaiting, 4000, {}, "/tmp/b"},
       "port 4000 through the port broker at /tmp/b (waiting: another server of this user is "
       "registered)"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(row.place.Text(), row.text);
  }
}

}  // namespace
}  // namespace qb
