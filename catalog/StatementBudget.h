// The budget every statement on one catalogue connection runs under: each
// statement may run for its time limit from its first step, and one that has
// run for a while stops early when the client it answers has gone (see
// ClientSocket). A statement over its budget fails with SQLITE_INTERRUPT, so
// its caller answers as for any failed statement. Each stop is logged.
//
// The limits are far above what the catalogue's own queries need (the largest
// category search of a 20,000-product catalogue takes well under a second);
// conditions written by the client get the short limit.
//
// Thread contract: belongs to its connection and runs on that connection's
// thread (SQLite calls it back from sqlite3_step). It must keep its address
// while the connection is open.
#pragma once

#include <sqlite3.h>

#include <chrono>

namespace qb {

inline constexpr std::chrono::milliseconds kStatementTimeLimit{10000};
inline constexpr std::chrono::milliseconds kClientConditionTimeLimit{2000};
// A statement that has run this long is stopped once its client has gone.
inline constexpr std::chrono::milliseconds kClientCheckAfter{100};

class StatementBudget {
 public:
  using Clock = std::chrono::steady_clock;

  // Watches the statements of `db` from now on.
  explicit StatementBudget(sqlite3* db);
  StatementBudget(const StatementBudget&) = delete;
  StatementBudget& operator=(const StatementBudget&) = delete;

  void SetTimeLimit(std::chrono::milliseconds limit) { m_limit = limit; }
  std::chrono::milliseconds TimeLimit() const { return m_limit; }

 private:
  static int OnProgress(void* self);
  static int OnTrace(unsigned type, void* self, void* statement, void* sql);
  bool OverBudget();

  std::chrono::milliseconds m_limit = kStatementTimeLimit;
  Clock::time_point m_started = Clock::now();  // the current statement's first step
  Clock::time_point m_nextClientCheck = Clock::time_point::max();
};

}  // namespace qb
