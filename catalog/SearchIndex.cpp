#include "catalog/SearchIndex.h"

#include <array>
#include <vector>

#include "catalog/ReadSession.h"
#include "util/Log.h"
#include "util/Text.h"

namespace qb {
namespace {

constexpr std::array<std::string_view, 5> kIndexedColumns{
    "goods", "searchSelNo", "searchNo", "goodsPartsNo", "goodsDisplayLabel"};

// The shortest run the trigram index can look up.
constexpr size_t kShortestRun = 3;

// "goods, searchSelNo, ..." with every name after `prefix`.
std::string ColumnList(std::string_view prefix) {
  std::string list;
  for (const std::string_view column : kIndexedColumns) {
    list.append(list.empty() ? "" : ", ").append(prefix).append(column);
  }
  return list;
}

std::string IndexedNames() {
  const std::string table(kSearchIndexTable);
  return "('" + table + "', '" + table + "_insert', '" + table + "_delete', '" + table +
         "_update')";
}

// The index, then the triggers that keep it, each created only where missing.
std::vector<std::string> CreateStatements() {
  const std::string table(kSearchIndexTable);
  const std::string insert = "INSERT INTO " + table + " (rowid, " + ColumnList("") +
                             ") VALUES (new.id, " + ColumnList("new.") + ");";
  const std::string remove = "INSERT INTO " + table + " (" + table + ", rowid, " +
                             ColumnList("") + ") VALUES ('delete', old.id, " +
                             ColumnList("old.") + ");";
  std::string changed = "old.id IS NOT new.id";
  for (const std::string_view column : kIndexedColumns) {
    changed.append(" OR old.").append(column).append(" IS NOT new.").append(column);
  }
  return {
      "CREATE VIRTUAL TABLE IF NOT EXISTS " + table + " USING fts5(" + ColumnList("") +
          ", content='paper_infos', content_rowid='id', tokenize='trigram')",
      "CREATE TRIGGER IF NOT EXISTS " + table + "_insert AFTER INSERT ON paper_infos BEGIN " +
          insert + " END",
      "CREATE TRIGGER IF NOT EXISTS " + table + "_delete AFTER DELETE ON paper_infos BEGIN " +
          remove + " END",
      "CREATE TRIGGER IF NOT EXISTS " + table + "_update AFTER UPDATE ON paper_infos WHEN " +
          changed + " BEGIN " + remove + " " + insert + " END",
  };
}

const std::string& ReadyQuery() {
  static const std::string sql =
      "SELECT count(*) FROM sqlite_master WHERE name IN " + IndexedNames();
  return sql;
}

bool Ready(Statement& count) {
  return count.Valid() && count.NextRow() && count.Int(0) == 4;
}

// Runs `sql` to its end on `db`.
bool Run(CatalogueDb& db, std::string_view sql) {
  Statement statement = db.Prepare(sql);
  return statement.Valid() && statement.Step() == SQLITE_DONE;
}

bool Rebuild(CatalogueDb& db) {
  return Run(db, "INSERT INTO " + std::string(kSearchIndexTable) + " (" +
                     std::string(kSearchIndexTable) + ") VALUES ('rebuild')");
}

// Creates what is missing of the index and its triggers and fills the index
// from the products, inside the caller's transaction.
bool CreateAndFill(CatalogueDb& db) {
  for (const std::string& sql : CreateStatements()) {
    if (!Run(db, sql)) {
      LogError("cannot create the product search index: " +
               std::string(sqlite3_errmsg(db.Handle())));
      return false;
    }
  }
  if (!Rebuild(db)) {
    LogError("cannot fill the product search index: " + std::string(sqlite3_errmsg(db.Handle())));
    return false;
  }
  return true;
}

// Keeping the index row by row costs about this many times a row's share of
// building it once (bench/ImportBench).
constexpr size_t kRowUpdatesPerBuild = 16;

size_t CharacterCount(std::string_view utf8) {
  size_t count = 0;
  for (const char c : utf8) {
    count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
  }
  return count;
}

}  // namespace

bool EnsureSearchIndex(CatalogueDb& db) {
  {
    Statement count = db.Prepare(ReadyQuery());
    if (Ready(count)) {
      return true;
    }
  }
  std::optional<CatalogueDb::Transaction> transaction = db.BeginWrite();
  return transaction && CreateAndFill(db) && transaction->Commit();
}

bool SuspendSearchIndex(CatalogueDb& db, size_t records) {
  {
    Statement count = db.Prepare(ReadyQuery());
    if (!Ready(count)) {
      return false;
    }
  }
  {
    Statement products = db.Prepare("SELECT count(*) FROM paper_infos");
    if (!products.Valid() || !products.NextRow() ||
        records * kRowUpdatesPerBuild < static_cast<size_t>(products.Int(0))) {
      return false;
    }
  }
  const std::string table(kSearchIndexTable);
  return Run(db, "DROP TRIGGER " + table + "_insert") &&
         Run(db, "DROP TRIGGER " + table + "_update") &&
         Run(db, "DROP TRIGGER " + table + "_delete");
}

bool ResumeSearchIndex(CatalogueDb& db) { return CreateAndFill(db); }

bool SearchIndexReady(ReadSession& session) { return Ready(session.Prepare(ReadyQuery())); }

std::optional<std::string> SearchIndexFilter(std::string_view keyword) {
  if (!IsValidUtf8(keyword)) {
    return std::nullopt;
  }
  // LIKE's wildcards split the keyword into runs that each must occur.
  std::string expression;
  size_t start = 0;
  while (start <= keyword.size()) {
    size_t end = keyword.find_first_of("%_", start);
    if (end == std::string_view::npos) {
      end = keyword.size();
    }
    const std::string_view run = keyword.substr(start, end - start);
    if (CharacterCount(run) >= kShortestRun) {
      expression.append(expression.empty() ? "\"" : " AND \"");
      for (const char c : run) {
        expression.append(c == '"' ? "\"\"" : std::string_view(&c, 1));
      }
      expression.append("\"");
    }
    start = end + 1;
  }
  if (expression.empty()) {
    return std::nullopt;
  }
  return expression;
}

bool RepairSearchIndex(CatalogueDb& db) {
  {
    Statement count = db.Prepare(ReadyQuery());
    if (!Ready(count)) {
      return false;
    }
  }
  const std::string table(kSearchIndexTable);
  // Sound when it holds one entry per product and its own structure checks
  // out.
  std::string fault;
  {
    Statement counts = db.Prepare("SELECT (SELECT count(*) FROM " + table +
                                  "_docsize), (SELECT count(*) FROM paper_infos)");
    if (!counts.Valid() || !counts.NextRow()) {
      fault = sqlite3_errmsg(db.Handle());
    } else if (counts.Int(0) != counts.Int(1)) {
      fault = std::to_string(counts.Int(0)) + " entries for " + std::to_string(counts.Int(1)) +
              " products";
    } else if (!Run(db, "INSERT INTO " + table + " (" + table + ") VALUES ('integrity-check')")) {
      fault = sqlite3_errmsg(db.Handle());
    } else {
      return false;
    }
  }
  LogError("the product search index does not match the products (" + fault +
           "); building it again");
  std::optional<CatalogueDb::Transaction> transaction = db.BeginWrite();
  if (!transaction || !Rebuild(db) || !transaction->Commit()) {
    LogError("cannot build the product search index again: " +
             std::string(sqlite3_errmsg(db.Handle())));
    return false;
  }
  ReadSession::DropKeptConnections();
  return true;
}

}  // namespace qb
