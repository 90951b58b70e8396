#include "util/Notifier.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <thread>

namespace qb {
namespace {

bool Readable(const Notifier& notifier) {
  pollfd watched{notifier.Fd(), POLLIN, 0};
  return ::poll(&watched, 1, 0) == 1 && (watched.revents & POLLIN) != 0;
}

TEST(Notifier, DescriptorIsReadableFromNotifyUntilCleared) {
  struct Row {
    const char* name;
    Notifier::Mode mode;
    bool readableAfterClear;
  };
  const Row rows[] = {
      {"repeating", Notifier::Mode::kRepeating, false},
      {"once: stays readable for every watcher", Notifier::Mode::kOnce, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Notifier notifier(row.mode);
    ASSERT_TRUE(notifier.Valid());
    EXPECT_FALSE(Readable(notifier));
    notifier.Notify();
    notifier.Notify();  // notifications do not pile up behind one Clear
    EXPECT_TRUE(Readable(notifier));
    notifier.Clear();
    EXPECT_EQ(Readable(notifier), row.readableAfterClear);
    notifier.Clear();  // nothing to clear: no harm
    notifier.Notify();
    EXPECT_TRUE(Readable(notifier));
  }
}

TEST(Notifier, RunsSubscribedCallbacksUntilUnsubscribed) {
  Notifier notifier;
  int first = 0;
  int second = 0;
  const size_t id = notifier.Subscribe([&first] { ++first; });
  notifier.Subscribe([&second] { ++second; });
  notifier.Notify();
  notifier.Unsubscribe(id);
  notifier.Notify();
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 2);
}

TEST(NotifierConcurrency, WakesAWatcherOnAnotherThread) {
  Notifier notifier;
  std::atomic<bool> woke{false};
  std::thread watcher([&] {
    pollfd watched{notifier.Fd(), POLLIN, 0};
    ::poll(&watched, 1, -1);  // no time-out: only the notification ends it
    notifier.Clear();
    woke.store(true);
  });
  notifier.Notify();
  watcher.join();
  EXPECT_TRUE(woke.load());
  EXPECT_FALSE(Readable(notifier));
}

}  // namespace
}  // namespace qb
