#include "server/RequestFramer.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

using State = RequestFrame::State;

TEST(RequestFramer, DecidesWhenARequestIsComplete) {
  struct Row {
    const char* name;
    std::string received;
    State state;
    size_t size;     // for kComplete
    bool pauseEnds;  // for kNeedMore
  };
  const Row rows[] = {
      {"GET complete at the blank line", "GET /x HTTP/1.1\r\nHost: a\r\n\r\n", State::kComplete, 28,
       false},
      {"bytes after a GET are not part of it", "GET /x HTTP/1.1\r\n\r\nextra", State::kComplete, 19,
       false},
      {"header block still open", "GET /x HTTP/1.1\r\nHost: a\r\n", State::kNeedMore, 0, true},
      {"announced body not yet in", "POST /x HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc",
       State::kNeedMore, 0, false},
      {"announced body in", "POST /x HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc", State::kComplete,
       42, false},
      {"bytes beyond the announced body cut", "POST /x HTTP/1.1\r\nContent-Length: 3\r\n\r\nabcdef",
       State::kComplete, 42, false},
      {"length name in any case", "POST /x HTTP/1.1\r\ncontent-LENGTH:3\r\n\r\nabc",
       State::kComplete, 41, false},
      {"zero length", "POST /x HTTP/1.1\r\nContent-Length: 0\r\n\r\n", State::kComplete, 39,
       false},
      {"POST without length waits for a pause", "POST /x HTTP/1.1\r\n\r\nk=v", State::kNeedMore,
       0, true},
      {"GET with a body", "GET /x HTTP/1.1\r\nContent-Length: 2\r\n\r\nab", State::kComplete, 40,
       false},
      {"announced beyond the limit", "POST /x HTTP/1.1\r\nContent-Length: 268435457\r\n\r\n",
       State::kTooLarge, 0, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RequestFramer framer;
    const RequestFrame frame = framer.Update(row.received);
    EXPECT_EQ(frame.state, row.state);
    if (row.state == State::kComplete) {
      EXPECT_EQ(frame.size, row.size);
    }
    if (row.state == State::kNeedMore) {
      EXPECT_EQ(frame.pauseEnds, row.pauseEnds);
    }
  }
}

TEST(RequestFramer, FollowsARequestArrivingInPieces) {
  const std::string request =
      "POST /print/add HTTP/1.1\r\nContent-Length: 11\r\n\r\nid=0&img=ab";
  // Every split point, including one inside "\r\n\r\n".
  for (size_t cut = 1; cut < request.size(); ++cut) {
    SCOPED_TRACE(cut);
    RequestFramer framer;
    const RequestFrame first = framer.Update(std::string_view(request).substr(0, cut));
    EXPECT_EQ(first.state, State::kNeedMore);
    const RequestFrame whole = framer.Update(request);
    EXPECT_EQ(whole.state, State::kComplete);
    EXPECT_EQ(whole.size, request.size());
  }
}

TEST(RequestFramer, UnframedBytesBeyondTheLimitAreTooLarge) {
  RequestFramer framer;
  std::string received = "POST /x HTTP/1.1\r\n\r\n";
  EXPECT_EQ(framer.Update(received).state, State::kNeedMore);
  received.resize(kMaxRequestBytes + 1, 'a');
  EXPECT_EQ(framer.Update(received).state, State::kTooLarge);
}

}  // namespace
}  // namespace qb
