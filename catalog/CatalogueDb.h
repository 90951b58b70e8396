// One short-lived connection to the catalogue database "qkprint.db" in the
// data folder. Every database operation opens its own, works and lets it go;
// the destructor closes it. Every connection waits up to 5 s for a lock held
// by another connection instead of failing at once.
//
// The file is opened by its full path in the data folder: the process's
// current directory is never changed.
//
// Every statement runs under a StatementBudget, and no text or blob value may
// grow past kMaxValueBytes; SQLite as a whole keeps its heap under
// kSqliteHeapLimit, so a statement that would need more fails instead.
//
// Thread contract: a connection belongs to the thread that opened it.
// Statements prepared on it must be destroyed before it.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "catalog/Statement.h"
#include "catalog/StatementBudget.h"

namespace qb {

inline constexpr std::string_view kCatalogueFileName = "qkprint.db";
inline constexpr int kBusyTimeoutMs = 5000;
inline constexpr int kMaxValueBytes = 16 * 1024 * 1024;
inline constexpr int64_t kSqliteHeapLimit = int64_t{256} * 1024 * 1024;
// Statements with a client-written condition that may run at once; more are
// refused at once rather than kept waiting on a worker.
inline constexpr int kMaxClientConditions = 2;

class CatalogueDb {
 public:
  // One write transaction on a connection: rolled back when the guard goes
  // away uncommitted, whether by an early return or an exception. The
  // connection stays where it is while the guard lives, and statements that
  // ran inside it are finished (run to the end, reset or destroyed) before
  // Commit.
  class Transaction {
   public:
    Transaction(Transaction&& other) noexcept;
    Transaction& operator=(Transaction&&) = delete;
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    ~Transaction();

    // True when the changes were stored; on false they are rolled back.
    [[nodiscard]] bool Commit();

   private:
    friend class CatalogueDb;
    explicit Transaction(CatalogueDb* db) : m_db(db) {}
    void RollBack();
    CatalogueDb* m_db;  // null once committed or rolled back
  };

  enum class Mode {
    kReadWrite,  // creates the file when it is missing
    kReadOnly,   // fails when the file is missing; nothing can be written
    // Fails when the file is missing; statements may only read (query_only),
    // but the connection may roll back a journal a dead writer left behind.
    kQueryOnly,
  };

  // The catalogue of the current data folder; nullopt when it cannot be opened.
  static std::optional<CatalogueDb> Open(Mode mode = Mode::kReadWrite);
  // The database file at `path` (tests and tools).
  static std::optional<CatalogueDb> OpenFile(const std::string& path, Mode mode);
  // Full path of the catalogue file in the current data folder.
  static std::string Path();

  CatalogueDb(CatalogueDb&&) noexcept = default;
  CatalogueDb& operator=(CatalogueDb&&) noexcept = default;

  // Compiles `sql`; an invalid handle when it does not compile (the reason is
  // written as a debug trace).
  Statement Prepare(std::string_view sql);
  // Compiles `sql` only when it is exactly one statement (nothing but blanks
  // and an optional ";" may follow it).
  Statement PrepareSingle(std::string_view sql);

  // Lets statements compiled from now on read only `table` (and run plain
  // functions); anything else makes the compilation fail. For statements whose
  // conditions come from the client: they also get the short time limit, and
  // when kMaxClientConditions such connections are open already, every
  // compilation on this one fails (logged).
  void RestrictToReading(const std::string& table);

  // Starts a write transaction that takes the write lock at once (waiting up
  // to the busy timeout for another writer); nullopt when it cannot start
  // (logged).
  std::optional<Transaction> BeginWrite();

  StatementBudget& Budget() { return *m_budget; }

  sqlite3* Handle() const { return m_db.get(); }

 private:
  struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
  };
  struct ConditionSlot {
    ~ConditionSlot();
  };
  explicit CatalogueDb(sqlite3* db) : m_db(db) {}
  // Runs one statement without rows; true when it completed.
  bool Run(std::string_view sql);

  std::unique_ptr<std::string> m_readableTable;  // read by the authorizer callback
  std::unique_ptr<StatementBudget> m_budget;      // called back by the connection
  std::unique_ptr<ConditionSlot> m_conditionSlot;  // held while restricted
  bool m_bRefused = false;                        // no slot was free: compile nothing
  std::unique_ptr<sqlite3, Closer> m_db;          // closed before the members above go
};

// Runs `sql` once on its own connection; true exactly when it ran to
// completion (SQLITE_DONE). Calls from several threads run one at a time.
bool ExecuteSql(std::string_view sql);
// The same with parameters: `bind` binds them and returns false to give up.
bool ExecuteSql(std::string_view sql, const std::function<bool(Statement&)>& bind);

}  // namespace qb
