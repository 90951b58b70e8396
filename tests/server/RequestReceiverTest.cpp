#include "server/RequestReceiver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qb {
namespace {

using Outcome = RequestReceiver::Outcome;
using Clock = RequestReceiver::Clock;

struct Step {
  enum Kind { kBytes, kTimer, kClosed, kRestart };
  Kind kind;
  int atMs;
  std::string bytes;  // kBytes
  Outcome expect;     // after the step (kRestart: not checked)
};

Step Bytes(int atMs, std::string bytes, Outcome expect = Outcome::kWaiting) {
  return {Step::kBytes, atMs, std::move(bytes), expect};
}
Step Timer(int atMs, Outcome expect) { return {Step::kTimer, atMs, {}, expect}; }
Step Closed(Outcome expect) { return {Step::kClosed, 0, {}, expect}; }
Step Restart(int atMs) { return {Step::kRestart, atMs, {}, Outcome::kWaiting}; }

// An announced body arriving at exactly the minimum rate for 20 s after the
// grace, the last bytes completing it.
std::vector<Step> BodyAtTheMinimumRate() {
  const int seconds = 30;
  const std::string head =
      "POST /x HTTP/1.1\r\nContent-Length: " + std::to_string(seconds * kMinBodyBytesPerSecond) + "\r\n\r\n";
  std::vector<Step> steps = {Bytes(0, head)};
  const int graceSeconds = static_cast<int>(kBodyGrace.count() / 1000);
  for (int second = graceSeconds; second < graceSeconds + seconds - 1; ++second) {
    steps.push_back(Timer(second * 1000 - 1, Outcome::kWaiting));
    steps.push_back(Bytes(second * 1000, std::string(kMinBodyBytesPerSecond, 'b')));
  }
  steps.push_back(Bytes((graceSeconds + seconds - 1) * 1000, std::string(kMinBodyBytesPerSecond, 'b'),
                        Outcome::kComplete));
  return steps;
}

// A header block sent one byte every 90 ms, never complete.
std::vector<Step> TricklingHeader() {
  std::vector<Step> steps = {Bytes(0, "G")};
  for (int at = 90; at < kHeaderDeadline.count(); at += 90) {
    steps.push_back(Bytes(at, "x"));
  }
  steps.push_back(Timer(static_cast<int>(kHeaderDeadline.count()) - 1, Outcome::kWaiting));
  steps.push_back(Timer(static_cast<int>(kHeaderDeadline.count()), Outcome::kNothing));
  return steps;
}

TEST(RequestReceiver, DecidesFromBytesAndTimeWhenAConnectionIsDone) {
  const std::string get = "GET /x HTTP/1.1\r\nHost: a\r\n\r\n";
  const std::string openHead = "GET /x HTTP/1.1\r\n";
  const std::string post = "POST /x HTTP/1.1\r\nContent-Length: 10\r\n\r\n";
  struct Row {
    const char* name;
    std::vector<Step> steps;
    std::string request;  // when the last outcome is kComplete
  };
  const Row rows[] = {
      {"GET complete at its blank line", {Bytes(0, get, Outcome::kComplete)}, get},
      {"GET in pieces", {Bytes(0, "GET /x HTTP/1.1\r\nHo"), Bytes(50, "st: a\r\n\r\n", Outcome::kComplete)},
       get},
      {"bytes after the request are not part of it",
       {Bytes(0, get + "GET /y HTTP/1.1\r\n\r\n", Outcome::kComplete)}, get},
      {"silent client gets the first-bytes wait",
       {Timer(2199, Outcome::kWaiting), Timer(2200, Outcome::kNothing)}, ""},
      {"head without blank line ends at a 100 ms pause",
       {Bytes(0, openHead), Timer(99, Outcome::kWaiting), Timer(100, Outcome::kComplete)},
       openHead},
      {"every byte restarts the pause",
       {Bytes(0, "GET /x"), Bytes(90, " HTTP/1.1\r\n"), Timer(150, Outcome::kWaiting),
        Timer(190, Outcome::kComplete)},
       openHead},
      {"POST without length ends at a pause",
       {Bytes(0, "POST /x HTTP/1.1\r\n\r\nk=v"), Timer(100, Outcome::kComplete)},
       "POST /x HTTP/1.1\r\n\r\nk=v"},
      {"announced body is not cut at a pause",
       {Bytes(0, post + "abc"), Timer(9999, Outcome::kWaiting),
        Bytes(9999, "defghij", Outcome::kComplete)},
       post + "abcdefghij"},
      {"announced body slower than the minimum rate is dropped after the grace",
       {Bytes(0, post + "abc"), Bytes(5000, "d"), Timer(9999, Outcome::kWaiting),
        Timer(10000, Outcome::kNothing)},
       ""},
      {"a body at the minimum rate stays open", BodyAtTheMinimumRate(), ""},
      {"a large body stalled for 30 s is dropped",
       {Bytes(0, "POST /x HTTP/1.1\r\nContent-Length: 10000000\r\n\r\n" + std::string(1 << 20, 'b')),
        Timer(29999, Outcome::kWaiting), Timer(30000, Outcome::kNothing)},
       ""},
      {"a header not complete in time is dropped", TricklingHeader(), ""},
      {"time not read does not count against the rate",
       {Bytes(0, post + "abc"), Restart(9000), Timer(18999, Outcome::kWaiting),
        Timer(19000, Outcome::kNothing)},
       ""},
      {"close ends a request without length", {Bytes(0, openHead), Closed(Outcome::kComplete)},
       openHead},
      {"close before the announced body is in", {Bytes(0, post + "abc"), Closed(Outcome::kNothing)},
       ""},
      {"close before any byte", {Closed(Outcome::kNothing)}, ""},
      {"announced beyond the limit",
       {Bytes(0, "POST /x HTTP/1.1\r\nContent-Length: 268435457\r\n\r\n", Outcome::kTooLarge)}, ""},
      {"a restart puts the pause off",
       {Bytes(0, openHead), Restart(500), Timer(599, Outcome::kWaiting),
        Timer(600, Outcome::kComplete)},
       openHead},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Clock::time_point opened{};
    RequestReceiver receiver(opened);
    Outcome outcome = Outcome::kWaiting;
    for (size_t i = 0; i < row.steps.size(); ++i) {
      SCOPED_TRACE("step " + std::to_string(i));
      const Step& step = row.steps[i];
      const Clock::time_point at = opened + std::chrono::milliseconds(step.atMs);
      switch (step.kind) {
        case Step::kBytes:
          ASSERT_LE(step.bytes.size(), receiver.Room());
          outcome = receiver.OnBytes(step.bytes, at);
          break;
        case Step::kTimer:
          outcome = receiver.OnTimer(at);
          break;
        case Step::kClosed:
          outcome = receiver.OnClosed();
          break;
        case Step::kRestart:
          receiver.Restart(at);
          continue;
      }
      ASSERT_EQ(outcome, step.expect);
      if (outcome == Outcome::kWaiting) {
        // A waiting receiver has its deadline ahead of it.
        EXPECT_GT(receiver.Deadline(), at);
      }
    }
    if (outcome == Outcome::kComplete && !row.request.empty()) {
      EXPECT_EQ(receiver.TakeRequest(), row.request);
    }
  }
}

// An unannounced upload filling the receiver to the limit never has more
// than the limit reserved, then frees it when it turns out too large.
TEST(RequestReceiver, ReservesNoMoreThanTheLargestRequest) {
  const Clock::time_point opened{};
  RequestReceiver receiver(opened);
  ASSERT_EQ(receiver.OnBytes("POST /x HTTP/1.1\r\n\r\n", opened), Outcome::kWaiting);
  const std::string chunk(4 * 1024 * 1024, 'b');
  Outcome outcome = Outcome::kWaiting;
  while (outcome == Outcome::kWaiting) {
    EXPECT_LE(receiver.Reserved(), kMaxRequestBytes + 4096);  // the string may round up a little
    outcome = receiver.OnBytes(std::string_view(chunk).substr(0, std::min(chunk.size(), receiver.Room())),
                               opened);
  }
  EXPECT_EQ(outcome, Outcome::kTooLarge);
  EXPECT_LT(receiver.Reserved(), 64u);  // only the string's own small buffer
}

// A header announcing the largest body reserves only about what has arrived.
TEST(RequestReceiver, AnAnnouncedLengthIsNotReservedBeforeItArrives) {
  const Clock::time_point opened{};
  RequestReceiver receiver(opened);
  const std::string header =
      "POST /x HTTP/1.1\r\nContent-Length: " + std::to_string(kMaxRequestBytes - 64) + "\r\n\r\n";
  ASSERT_EQ(receiver.OnBytes(header, opened), Outcome::kWaiting);
  ASSERT_EQ(receiver.OnBytes(std::string(1000, 'b'), opened), Outcome::kWaiting);
  EXPECT_LT(receiver.Reserved(), 64u * 1024);
}

}  // namespace
}  // namespace qb
