#include "catalog/InitDataBase.h"

#include <filesystem>

#include "catalog/CatalogueDb.h"
#include "util/Log.h"
#include "util/MutexLock.h"
#include "util/UserFolders.h"

namespace qb {
namespace {

const std::vector<std::string> kTableNames = {
    "kbn_infos",          "categories",          "paper_size_infos",
    "paper_infos",        "paper_group_infos",   "pict_group_infos",
    "generic_group_infos", "paper_relation2s",   "template_infos",
    "pict_group_top_level_infos", "pict_group_sub_level_infos",
};

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
  static const std::vector<std::string> statements = {
      "CREATE TABLE IF NOT EXISTS kbn_infos (id INTEGER  PRIMARY KEY, \t\tkbn INTEGER, \t\tkbnId INTEGER, \t\tname TEXT, \t\tcreate_at TEXT, \t\tupdate_at TEXT)",
      "CREATE TABLE IF NOT EXISTS categories (id INTEGER  PRIMARY KEY, \tcategoryId  INTEGER, \tname  TEXT, \tthumbnail  TEXT, \tcreate_at  TEXT, \tupdate_at  TEXT)",
      "CREATE TABLE IF NOT EXISTS paper_size_infos (id INTEGER  PRIMARY KEY, \t\tpaperSizeId INTEGER, \t\tname  TEXT, \t\tetcId INTEGER, \t\tsizeH float, \t\tsizeW float, \t\tcreate_at  TEXT, \t\tupdate_at  TEXT)",
      "CREATE TABLE IF NOT EXISTS modify_kinds (id INTEGER  PRIMARY KEY, \tmodifyKind  INTEGER, \tname  TEXT, \tthumbnail  TEXT, \tcreate_at  TEXT, update_at  TEXT)",
      "CREATE TABLE IF NOT EXISTS paper_infos (id INTEGER  PRIMARY KEY, \tpaperInfoId INTEGER, \tcategory_id INTEGER, \tgoods  TEXT, \tgoodsPartsNo  TEXT, \tsearchNo  TEXT, \tsearchSelNo  TEXT, \tgoodsBackFront  TEXT, \tgoodsAllEdit  TEXT, \tgoodsDisplayLabel  TEXT, \tgoodsThumbName  TEXT, goodsThumbName2  TEXT, goodsPictFileName  TEXT, goodsPictPartsLabel  TEXT, goodsPictPartsCut  TEXT, goodsPictPartsBending  TEXT, goodsPictPartsDesign1  TEXT, goodsPictPartsDesign2  TEXT, goodsPictMask  TEXT, goodsType  TEXT, goodsLabel  TEXT, goodsDrawSize INTEGER, paperSizeInfo_id INTEGER, templateInfo_id INTEGER, paperFieldsNo INTEGER, paperLocationType INTEGER, paperFieldsHNo INTEGER, paperFieldsWNo INTEGER, paperOnePieceH REAL, paperOnePieceW REAL, paperUnfiliedSpaceU REAL, paperUnfiliedSpaceD REAL, paperUnfiliedSpaceL REAL, paperUnfiliedSpaceR REAL, paperUnfiliedSpaceUD REAL, paperUnfiliedSpaceLR REAL, partsUrl  TEXT, create_at  TEXT, update_at  TEXT, jan_code TEXT)",
      "CREATE TABLE IF NOT EXISTS paper_group_infos (id INTEGER  PRIMARY KEY, \tpaperGroupId INTEGER, \tname  TEXT, \tcreate_at  TEXT, \tupdate_at  TEXT)",
      "CREATE TABLE IF NOT EXISTS pict_group_infos (id INTEGER  PRIMARY KEY, \t\tpictGroupId  INTEGER, \t\tpictCategoryId  INTEGER, \t\tpaperGroupId  INTEGER, \t\tfolder  TEXT, \t\tthumbnailUrl  TEXT, \t\tthumbnailHitUrl  TEXT, \t\tthumbnailUpUrl  TEXT, \t\tthumbnailDisUrl  TEXT, \t\tthumbnailClickUrl  TEXT, \t\tcreate_at  TEXT, \t\tupdate_at  TEXT)",
      "CREATE TABLE IF NOT EXISTS generic_group_infos (id INTEGER  PRIMARY KEY, \t\tgroupInfoId  INTEGER, \t\tkbn  INTEGER, \t\tlevel  TEXT, \t\tsubLevel  TEXT, \t\thasSubLevel  TEXT, \t\tname  TEXT, \t\tfolder  TEXT, \t\tthumbnailUrl  TEXT, \t\tthumbnailHitUrl  TEXT, \t\tthumbnailUpUrl  TEXT, \t\tthumbnailDisUrl  TEXT, \t\tthumbnailClickUrl  TEXT, \t\tcreate_at  TEXT, \t\tupdate_at  TEXT)",
      "CREATE TABLE IF NOT EXISTS paper_relation2s (id INTEGER  PRIMARY KEY, \t\tkbn  INTEGER, \t\tgoodsPartsNo  TEXT, \t\titemId  INTEGER, \t\tcreate_at  TEXT, \t\tupdate_at  TEXT)",
      "CREATE TABLE IF NOT EXISTS logs (id INTEGER  PRIMARY KEY, \t\tmac_address  TEXT, \t\tevent_type  INTEGER, \t\tevent_contents1  TEXT, \t\tevent_contents2  TEXT, \t\tevent_contents3  TEXT, \t\tcreate_at  TEXT, \t\tupdate_at  TEXT)",
      "CREATE TABLE IF NOT EXISTS template_infos (id INTEGER  PRIMARY KEY, \t\ttemplateInfoId  INTEGER, \t\ttemplateName  TEXT, \t\tgoodsThumbName  TEXT, \t\ttemplateUrl  TEXT, \t\tthumbnailUrl  TEXT, \t\tcreate_at  TEXT, \t\tupdate_at  TEXT)",
      "CREATE TABLE IF NOT EXISTS pict_group_top_level_infos (id INTEGER  PRIMARY KEY, \t\ttopLevelId  INTEGER, \t\tpaperGroupId  INTEGER, \t\tname  TEXT, \t\tfolder  TEXT, \t\tthumbnailUrl  TEXT, \t\tthumbnailHitUrl  TEXT, \t\tthumbnailUpUrl  TEXT, \t\tthumbnailDisUrl  TEXT, \t\tthumbnailClickUrl  TEXT, \t\tcreate_at  TEXT, \t\tupdate_at  TEXT)",
      "CREATE TABLE IF NOT EXISTS pict_group_sub_level_infos (id INTEGER  PRIMARY KEY, \t\ttopLevelId  INTEGER, \t\tsubLevelId  INTEGER, \t\tname  TEXT, \t\tfolder  TEXT, \t\tcreate_at  TEXT, \t\tupdate_at  TEXT)",
      "CREATE TABLE IF NOT EXISTS pict_generic_history_infos (id INTEGER, \t\ttopLevelId  INTEGER, \t\tthumbUrl  TEXT  PRIMARY KEY, \t\timageUrl  TEXT)",
  };
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

void InitDataBase::LoadDefinitions() {
  MutexLock lock(m_mutex);
  m_tableNames = kTableNames;
  m_countPaths.clear();
  for (const std::string& table : kTableNames) {
    m_countPaths.push_back("/" + table + "_count/count");
  }
  m_createStatements = CatalogueCreateStatements();
}

void InitDataBase::CreateTables() {
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
  for (const std::string& sql : CreateStatements()) {
    Statement statement = db->Prepare(sql);
    statement.Step();
  }
  for (const std::string& sql : CatalogueIndexStatements()) {
    Statement statement = db->Prepare(sql);
    statement.Step();
  }
}

int InitDataBase::CheckJanCode(const std::string& table, const std::string& column) {
  m_janCodeRefresh.store(0);
  std::optional<CatalogueDb> db = CatalogueDb::Open();
  if (!db) {
    return 0;
  }
  const std::optional<bool> hasColumn = HasColumn(*db, table, column);
  if (!hasColumn) {
    return 0;
  }
  if (!*hasColumn) {
    m_janCodeRefresh.store(1);
    return 1;
  }
  int result = 0;
  Statement rows = db->Prepare(
      "SELECT jan_code from paper_infos WHERE searchSelNo = 'ZZ-KQW7PA' AND goodsBackFront = "
      "'\xE3\x81\xAA\xE3\x81\x97'");
  while (rows.Valid() && rows.NextRow()) {
    for (int i = 0; i < rows.ColumnCount(); ++i) {
      if (rows.ColumnName(i) == "jan_code") {
        if (rows.IsNull(i)) {
          result = 1;
          m_janCodeRefresh.store(1);
        } else {
          result = 0;
        }
        break;
      }
    }
  }
  return result;
}

std::vector<std::string> InitDataBase::TableNames() const {
  MutexLock lock(m_mutex);
  return m_tableNames;
}

std::vector<std::string> InitDataBase::CountPaths() const {
  MutexLock lock(m_mutex);
  return m_countPaths;
}

std::vector<std::string> InitDataBase::CreateStatements() const {
  MutexLock lock(m_mutex);
  return m_createStatements.empty() ? CatalogueCreateStatements() : m_createStatements;
}

void AddColumnIfMissing(const std::string& table, const std::string& column) {
  std::optional<CatalogueDb> db = CatalogueDb::Open();
  if (!db) {
    return;
  }
  if (HasColumn(*db, table, column) == std::optional<bool>(false)) {
    Statement alter = db->Prepare("ALTER TABLE " + table + " ADD " + column + " TEXT");
    alter.Step();
  }
}

}  // namespace qb
