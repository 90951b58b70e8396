// Catalogue server answers into the table importers. The answer's root
// element picks the importer, as the update run does; the catalogue is a real
// one (all fourteen tables, created by the server's own statements) in a data
// folder on a memory file system (/dev/shm when there is one), emptied of the
// imported table's rows after every input.
//
// Properties: an answer that is not stored leaves its table empty (one
// transaction per answer); no more rows than records are stored; the product
// importer hands on at most nine picture paths per record; the schema is
// unchanged afterwards (values never become SQL).

#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "FuzzCheck.h"
#include "catalog/CatalogueDb.h"
#include "catalog/CatalogueTable.h"
#include "catalog/ImportAnswer.h"
#include "catalog/CatalogueSchema.h"
#include "catalog/TableImporter.h"

namespace {

std::string g_home;  // the temporary $XDG_DATA_HOME, removed at exit

void RemoveHome() {
  std::error_code ignored;
  std::filesystem::remove_all(g_home, ignored);
}

int64_t QueryInt(qb::CatalogueDb& db, const std::string& sql) {
  qb::Statement statement = db.Prepare(sql);
  FUZZ_CHECK(statement.Valid() && statement.NextRow());
  return statement.Int(0);
}

std::string SchemaText(qb::CatalogueDb& db) {
  qb::Statement statement = db.Prepare("SELECT group_concat(sql, ';') FROM sqlite_master");
  FUZZ_CHECK(statement.Valid() && statement.NextRow());
  return std::string(statement.Text(0).value_or(""));
}

std::string g_schema;  // the schema after set-up

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const std::string base = std::filesystem::is_directory("/dev/shm")
                               ? std::string("/dev/shm")
                               : std::filesystem::temp_directory_path().string();
  std::string pattern = base + "/qbfuzz-import-XXXXXX";
  FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr);
  g_home = pattern;
  std::atexit(RemoveHome);
  ::setenv("XDG_DATA_HOME", g_home.c_str(), 1);
  qb::CatalogueSchema definitions;
  definitions.CreateTables();
  // The product importer adds jan_code to older catalogues; do it now so that
  // the schema check sees the final shape.
  qb::AddColumnIfMissing("paper_infos", "jan_code");
  std::optional<qb::CatalogueDb> db = qb::CatalogueDb::Open();
  FUZZ_CHECK(db.has_value());
  g_schema = SchemaText(*db);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::optional<pugi::xml_document> document = qb::ParseAnswer(qbfuzz::Bytes(data, size));
  if (!document) {
    return 0;
  }
  const pugi::xml_node root = qb::AnswerRoot(*document);
  const std::string table = root ? root.name() : "";
  const qb::CatalogueTable* entry = qb::FindCatalogueTable(table);
  if (entry == nullptr || !entry->Imported()) {
    return 0;
  }
  size_t records = 0;
  for (const pugi::xml_node& record : root.children()) {
    (void)record;
    ++records;
  }

  size_t handed = 0;
  const bool stored = qb::ImportAnswer(root, [&](std::string_view) { ++handed; }, nullptr);
  FUZZ_CHECK(handed <= 9 * records);

  std::optional<qb::CatalogueDb> db = qb::CatalogueDb::Open();
  FUZZ_CHECK(db.has_value());
  const int64_t rows = QueryInt(*db, "SELECT count(*) FROM " + table);
  FUZZ_CHECK(stored || rows == 0);
  FUZZ_CHECK(rows >= 0 && static_cast<size_t>(rows) <= records);
  FUZZ_CHECK(SchemaText(*db) == g_schema);
  qb::Statement empty = db->Prepare("DELETE FROM " + table);
  FUZZ_CHECK(empty.Valid() && empty.Step() == SQLITE_DONE);
  return 0;
}
