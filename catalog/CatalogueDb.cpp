#include "catalog/CatalogueDb.h"

#include <atomic>
#include <cstring>
#include <mutex>

#include "catalog/CatalogueDamage.h"
#include "util/Log.h"
#include "util/MutexLock.h"
#include "util/UserFolders.h"

namespace qb {
namespace {

int ReadOnlyAuthorizer(void* data, int action, const char* first, const char*, const char*,
                       const char*) {
  const auto* table = static_cast<const std::string*>(data);
  switch (action) {
    case SQLITE_SELECT:
    case SQLITE_FUNCTION:
      return SQLITE_OK;
    case SQLITE_READ:
      return (first != nullptr && *table == first) ? SQLITE_OK : SQLITE_DENY;
    default:
      return SQLITE_DENY;
  }
}

std::atomic<int> g_clientConditions{0};  // open connections holding a condition slot

}  // namespace

CatalogueDb::ConditionSlot::~ConditionSlot() { g_clientConditions.fetch_sub(1); }

std::string CatalogueDb::Path() {
  return GetDataFolder() + "/" + std::string(kCatalogueFileName);
}

std::optional<CatalogueDb> CatalogueDb::Open(Mode mode) { return OpenFile(Path(), mode); }

std::optional<CatalogueDb> CatalogueDb::OpenFile(const std::string& path, Mode mode) {
  sqlite3* raw = nullptr;
  int flags = SQLITE_OPEN_NOMUTEX;
  switch (mode) {
    case Mode::kReadWrite:
      flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
      break;
    case Mode::kReadOnly:
      flags |= SQLITE_OPEN_READONLY;
      break;
    case Mode::kQueryOnly:
      flags |= SQLITE_OPEN_READWRITE;  // read-only where the file is write-protected
      break;
  }
  const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  NoteCatalogueResult(rc);
  CatalogueDb db(raw);
  if (rc != SQLITE_OK) {
    LogDebug("cannot open " + path + ": " + (raw ? sqlite3_errmsg(raw) : "out of memory"));
    return std::nullopt;
  }
  static std::once_flag heapLimit;
  std::call_once(heapLimit, [] { sqlite3_hard_heap_limit64(kSqliteHeapLimit); });
  sqlite3_busy_timeout(raw, kBusyTimeoutMs);
  sqlite3_limit(raw, SQLITE_LIMIT_LENGTH, kMaxValueBytes);
  db.m_budget = std::make_unique<StatementBudget>(raw);
  // Reading through a memory map spares every new connection copying the
  // pages it scans into a cache of its own.
  sqlite3_exec(raw, "PRAGMA mmap_size=268435456", nullptr, nullptr, nullptr);
  if (mode == Mode::kQueryOnly &&
      sqlite3_exec(raw, "PRAGMA query_only=1", nullptr, nullptr, nullptr) != SQLITE_OK) {
    LogDebug("cannot make a catalogue connection query-only: " + std::string(sqlite3_errmsg(raw)));
    return std::nullopt;
  }
  if (mode == Mode::kQueryOnly) {
    // Its statements are kept and bound again for every request: their plans
    // must not depend on the values bound, or a bound LIKE pattern would have
    // the statement compiled again at every new binding. (Every pattern the
    // queries bind starts with "%", which no plan could use anyway.)
    sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_QPSG, 1, nullptr);
  }
  return db;
}

Statement CatalogueDb::Prepare(std::string_view sql) {
  if (m_bRefused) {
    return Statement();
  }
  sqlite3_stmt* stmt = nullptr;
  const int rc = sqlite3_prepare_v2(m_db.get(), sql.data(), static_cast<int>(sql.size()), &stmt,
                                    nullptr);
  NoteCatalogueResult(rc);
  if (rc != SQLITE_OK) {
    LogDebug("sqlite3_prepare_v2 r=" + std::to_string(rc) + " " + sqlite3_errmsg(m_db.get()));
    sqlite3_finalize(stmt);
    return Statement();
  }
  return Statement(stmt);
}

Statement CatalogueDb::PrepareSingle(std::string_view sql) {
  if (m_bRefused) {
    return Statement();
  }
  sqlite3_stmt* stmt = nullptr;
  const char* tail = nullptr;
  const int rc =
      sqlite3_prepare_v2(m_db.get(), sql.data(), static_cast<int>(sql.size()), &stmt, &tail);
  NoteCatalogueResult(rc);
  Statement statement(stmt);
  if (rc != SQLITE_OK || stmt == nullptr) {
    LogDebug("sqlite3_prepare_v2 r=" + std::to_string(rc) + " " + sqlite3_errmsg(m_db.get()));
    return Statement();
  }
  const std::string_view rest(tail, static_cast<size_t>(sql.data() + sql.size() - tail));
  if (rest.find_first_not_of(" \t\r\n;") != std::string_view::npos) {
    LogDebug("refused a statement followed by more text: " + std::string(sql));
    return Statement();
  }
  return statement;
}

void CatalogueDb::RestrictToReading(const std::string& table) {
  m_readableTable = std::make_unique<std::string>(table);
  sqlite3_set_authorizer(m_db.get(), ReadOnlyAuthorizer, m_readableTable.get());
  m_budget->SetTimeLimit(kClientConditionTimeLimit);
  if (m_conditionSlot || m_bRefused) {
    return;
  }
  if (g_clientConditions.fetch_add(1) >= kMaxClientConditions) {
    g_clientConditions.fetch_sub(1);
    m_bRefused = true;
    LogInfo("refused a client-written condition on " + table + ": " +
            std::to_string(kMaxClientConditions) + " are running already");
    return;
  }
  m_conditionSlot = std::make_unique<ConditionSlot>();
}

bool CatalogueDb::Run(std::string_view sql) {
  Statement statement = Prepare(sql);
  return statement.Valid() && statement.Step() == SQLITE_DONE;
}

std::optional<CatalogueDb::Transaction> CatalogueDb::BeginWrite() {
  if (!Run("BEGIN IMMEDIATE")) {
    LogError(std::string("cannot start a catalogue transaction: ") + sqlite3_errmsg(m_db.get()));
    return std::nullopt;
  }
  return Transaction(this);
}

CatalogueDb::Transaction::Transaction(Transaction&& other) noexcept : m_db(other.m_db) {
  other.m_db = nullptr;
}

CatalogueDb::Transaction::~Transaction() { RollBack(); }

bool CatalogueDb::Transaction::Commit() {
  if (m_db == nullptr) {
    return false;
  }
  if (!m_db->Run("COMMIT")) {
    LogError(std::string("catalogue commit failed: ") + sqlite3_errmsg(m_db->Handle()));
    RollBack();
    return false;
  }
  m_db = nullptr;
  return true;
}

void CatalogueDb::Transaction::RollBack() {
  // An error may have ended the transaction already (SQLite rolls back by
  // itself on some); a failed COMMIT leaves it open.
  if (m_db != nullptr && sqlite3_get_autocommit(m_db->Handle()) == 0 && !m_db->Run("ROLLBACK")) {
    LogError(std::string("catalogue rollback failed: ") + sqlite3_errmsg(m_db->Handle()));
  }
  m_db = nullptr;
}

bool ExecuteSql(std::string_view sql) { return ExecuteSql(sql, nullptr); }

bool ExecuteSql(std::string_view sql, const std::function<bool(Statement&)>& bind) {
  // This process's single-statement writes take turns here rather than in
  // SQLite's busy handler, which does not queue: with many writers at once
  // some waited past the busy timeout and their rows were lost.
  static Mutex writers;
  MutexLock lock(writers);
  std::optional<CatalogueDb> db = CatalogueDb::Open();
  if (!db) {
    return false;
  }
  Statement statement = db->Prepare(sql);
  if (!statement.Valid() || (bind && !bind(statement))) {
    return false;
  }
  return statement.Step() == SQLITE_DONE;
}

}  // namespace qb
