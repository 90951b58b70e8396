#include "broker/ListenFds.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace qb {
namespace {

TEST(ListenFds, TakesOnlyWhatWasPassedToThisProcess) {
  // Descriptor 3 may be anything in a test run: one that is open is made
  // sure of by duplicating stdin there when it is free.
  const bool madeThree = ::fcntl(3, F_GETFD) < 0 && ::dup2(0, 3) == 3;
  const std::string self = std::to_string(::getpid());
  struct Row {
    const char* name;
    const char* pid;
    const char* count;
    size_t taken;
  };
  const Row rows[] = {
      {"passed to this process", self.c_str(), "1", 1},
      {"meant for another process", "1", "1", 0},
      {"no count", self.c_str(), nullptr, 0},
      {"count not a number", self.c_str(), "1x", 0},
      {"no pid", nullptr, "1", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    row.pid ? ::setenv("LISTEN_PID", row.pid, 1) : ::unsetenv("LISTEN_PID");
    row.count ? ::setenv("LISTEN_FDS", row.count, 1) : ::unsetenv("LISTEN_FDS");
    std::vector<UniqueFd> fds = TakeListenFds();
    ASSERT_EQ(fds.size(), row.taken);
    for (UniqueFd& fd : fds) {
      EXPECT_EQ(fd.Get(), 3);
      EXPECT_NE(::fcntl(fd.Get(), F_GETFD) & FD_CLOEXEC, 0);
      fd.Release();  // not ours to close in a test
    }
    EXPECT_EQ(std::getenv("LISTEN_PID"), nullptr);  // read once, then gone
    EXPECT_EQ(std::getenv("LISTEN_FDS"), nullptr);
  }
  if (madeThree) {
    ::close(3);
  }
}

}  // namespace
}  // namespace qb
