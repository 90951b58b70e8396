#include "catalog/CatalogueSchema.h"

#include <filesystem>

#include "catalog/CatalogueDb.h"
#include "catalog/CatalogueTable.h"
#include "catalog/ReadSession.h"
#include "catalog/SearchIndex.h"
#include "util/Log.h"
#include "util/UserFolders.h"

namespace qb {
namespace {

// True when `db`'s `table` has a column named exactly `column`; nullopt when
// the table information cannot be read.
std::optional<bool> HasColumn(CatalogueDb& db, const std::string& table,
                              const std::string& column) {
  Statement info = db.Prepare("PRAGMA table_info( " + table + ")");
  if (!info.Valid()) {
    return std::nullopt;
  }
  while (info.NextRow()) {
    if (info.Text(1) == std::optional<std::string_view>(column)) {
      return true;
    }
  }
  return false;
}

}  // namespace

const std::vector<std::string>& CatalogueCreateStatements() {
  static const std::vector<std::string> statements = [] {
    std::vector<std::string> list;
    for (const CatalogueTable& table : CatalogueTables()) {
      list.emplace_back(table.createStatement);
    }
    return list;
  }();
  return statements;
}

const std::vector<std::string>& CatalogueIndexStatements() {
  static const std::vector<std::string> statements = {
      "CREATE INDEX IF NOT EXISTS paper_infos_searchSelNo ON paper_infos (searchSelNo)",
      "CREATE INDEX IF NOT EXISTS paper_infos_goodsPartsNo ON paper_infos (goodsPartsNo)",
      "CREATE INDEX IF NOT EXISTS paper_infos_paperInfoId ON paper_infos (paperInfoId)",
      "CREATE INDEX IF NOT EXISTS paper_relation2s_goodsPartsNo ON paper_relation2s (goodsPartsNo)",
  };
  return statements;
}

void CatalogueSchema::CreateTables() {
  const std::string folder = GetDataFolder();
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    LogError("cannot create the data folder " + folder + ": " + error.message());
    return;
  }
  std::optional<CatalogueDb> db = CatalogueDb::Open();
  if (!db) {
    return;
  }
  for (const std::string& sql : CatalogueCreateStatements()) {
    Statement statement = db->Prepare(sql);
    statement.Step();
  }
  for (const std::string& sql : CatalogueIndexStatements()) {
    Statement statement = db->Prepare(sql);
    statement.Step();
  }
  EnsureSearchIndex(*db);
  ReadSession::DropKeptConnections();
}

bool CatalogueSchema::CheckJanCode(const std::string& table, const std::string& column) {
  m_janCodeRefresh.store(0);
  std::optional<CatalogueDb> db = CatalogueDb::Open();
  if (!db) {
    return false;
  }
  const std::optional<bool> hasColumn = HasColumn(*db, table, column);
  if (!hasColumn) {
    return false;
  }
  if (!*hasColumn) {
    m_janCodeRefresh.store(1);
    return true;
  }
  bool result = false;
  Statement rows = db->Prepare(
      "SELECT jan_code from paper_infos WHERE searchSelNo = 'ZZ-KQW7PA' AND goodsBackFront = "
      "'\xE3\x81\xAA\xE3\x81\x97'");
  while (rows.Valid() && rows.NextRow()) {
    for (int i = 0; i < rows.ColumnCount(); ++i) {
      if (rows.ColumnName(i) == "jan_code") {
        if (rows.IsNull(i)) {
          result = true;
          m_janCodeRefresh.store(1);
        } else {
          result = false;
        }
        break;
      }
    }
  }
  return result;
}

void AddColumnIfMissing(const std::string& table, const std::string& column) {
  std::optional<CatalogueDb> db = CatalogueDb::Open();
  if (!db) {
    return;
  }
  if (HasColumn(*db, table, column) == std::optional<bool>(false)) {
    Statement alter = db->Prepare("ALTER TABLE " + table + " ADD " + column + " TEXT");
    alter.Step();
    ReadSession::DropKeptConnections();
  }
}

}  // namespace qb
