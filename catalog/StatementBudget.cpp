#include "catalog/StatementBudget.h"

#include <string>

#include "util/ClientSocket.h"
#include "util/Log.h"

namespace qb {
namespace {

// Virtual machine steps between two looks at the clock: a few microseconds.
constexpr int kProgressSteps = 1000;
constexpr std::chrono::milliseconds kClientCheckInterval{50};

}  // namespace

StatementBudget::StatementBudget(sqlite3* db) {
  sqlite3_progress_handler(db, kProgressSteps, &StatementBudget::OnProgress, this);
  sqlite3_trace_v2(db, SQLITE_TRACE_STMT, &StatementBudget::OnTrace, this);
}

int StatementBudget::OnTrace(unsigned type, void* self, void*, void* sql) {
  // Called as a statement starts running, and again, with a text starting
  // "--", for each trigger it fires: the triggers run within its budget.
  if (type == SQLITE_TRACE_STMT && sql != nullptr &&
      std::string_view(static_cast<const char*>(sql)).substr(0, 2) != "--") {
    auto* budget = static_cast<StatementBudget*>(self);
    budget->m_started = Clock::now();
    budget->m_nextClientCheck = budget->m_started + kClientCheckAfter;
  }
  return 0;
}

int StatementBudget::OnProgress(void* self) {
  return static_cast<StatementBudget*>(self)->OverBudget() ? 1 : 0;
}

bool StatementBudget::OverBudget() {
  const Clock::time_point now = Clock::now();
  const auto ran = std::chrono::duration_cast<std::chrono::milliseconds>(now - m_started);
  if (ran >= m_limit) {
    LogInfo("statement stopped after " + std::to_string(ran.count()) +
            " ms: over its time limit of " + std::to_string(m_limit.count()) + " ms");
    return true;
  }
  if (now >= m_nextClientCheck) {
    m_nextClientCheck = now + kClientCheckInterval;
    if (ClientSocket::ClientGone()) {
      LogInfo("statement stopped after " + std::to_string(ran.count()) +
              " ms: its client has gone");
      return true;
    }
  }
  return false;
}

}  // namespace qb
