#include "catalog/CatalogueSchema.h"

#include "catalog/CatalogueFixture.h"

#include <chrono>
#include <vector>

#include "catalog/CatalogueDb.h"
#include "catalog/CatalogueTable.h"

namespace qb {
namespace {

class CatalogueSchemaTest : public qbtest::CatalogueFixture {};

std::vector<std::string> Columns(const std::string& table) {
  std::vector<std::string> names;
  std::optional<CatalogueDb> db = CatalogueDb::Open();
  Statement info = db->Prepare("PRAGMA table_info(" + table + ")");
  while (info.NextRow()) names.emplace_back(*info.Text(1));
  return names;
}

TEST_F(CatalogueSchemaTest, CreatesTheFourteenTablesInAFreshDataFolder) {
  std::optional<CatalogueDb> db = CatalogueDb::Open();
  ASSERT_TRUE(db);
  // Beside them, the product search index and the tables it keeps itself in.
  Statement count = db->Prepare(
      "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name NOT GLOB "
      "'paper_infos_search*'");
  ASSERT_TRUE(count.NextRow());
  EXPECT_EQ(count.Int(0), 14);
  Statement search = db->Prepare(
      "SELECT count(*) FROM sqlite_master WHERE name GLOB 'paper_infos_search*' AND "
      "(type = 'trigger' OR sql GLOB 'CREATE VIRTUAL TABLE*')");
  ASSERT_TRUE(search.NextRow());
  EXPECT_EQ(search.Int(0), 4);
  Statement indexes = db->Prepare(
      "SELECT count(*) FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL");
  ASSERT_TRUE(indexes.NextRow());
  EXPECT_EQ(indexes.Int(0), 4);
  // The statements are stored as sent, TABs and doubled blanks included.
  Statement sql = db->Prepare("SELECT sql FROM sqlite_master WHERE name = 'categories'");
  ASSERT_TRUE(sql.NextRow());
  EXPECT_EQ(*sql.Text(0),
            "CREATE TABLE categories (id INTEGER  PRIMARY KEY, \tcategoryId  INTEGER, \tname  "
            "TEXT, \tthumbnail  TEXT, \tcreate_at  TEXT, \tupdate_at  TEXT)");
}

TEST_F(CatalogueSchemaTest, CreatingAgainKeepsRows) {
  Exec("INSERT INTO categories (id, name) VALUES (1, 'a')");
  CatalogueSchema definitions;
  definitions.CreateTables();
  std::optional<CatalogueDb> db = CatalogueDb::Open();
  Statement count = db->Prepare("SELECT count(*) FROM categories");
  ASSERT_TRUE(count.NextRow());
  EXPECT_EQ(count.Int(0), 1);
}

TEST_F(CatalogueSchemaTest, DefinitionsListTheElevenUpdatableTables) {
  ASSERT_EQ(RefreshedCatalogueTables().size(), 11u);
  EXPECT_EQ(RefreshedCatalogueTables()[3]->name, "paper_infos");
  EXPECT_EQ(RefreshedCatalogueTables()[3]->countPath, "/paper_infos_count/count");
  EXPECT_EQ(CatalogueCreateStatements().size(), 14u);
}

TEST_F(CatalogueSchemaTest, AddColumnIfMissingAddsTheColumnOnce) {
  Exec("DROP TABLE paper_infos; CREATE TABLE paper_infos (id INTEGER PRIMARY KEY, goods TEXT);"
       "INSERT INTO paper_infos (id) VALUES (1)");
  AddColumnIfMissing("paper_infos", "jan_code");
  AddColumnIfMissing("paper_infos", "jan_code");
  EXPECT_EQ(Columns("paper_infos"), (std::vector<std::string>{"id", "goods", "jan_code"}));
  std::optional<CatalogueDb> db = CatalogueDb::Open();
  Statement read = db->Prepare("SELECT jan_code FROM paper_infos WHERE id = 1");
  ASSERT_TRUE(read.NextRow());
  EXPECT_TRUE(read.IsNull(0));
}

TEST_F(CatalogueSchemaTest, AddColumnIfMissingLeavesACaseVariantAsItIs) {
  // The name does not match exactly, so the column is added; SQLite refuses a
  // name that differs only in case, which leaves the table as it was.
  Exec("DROP TABLE paper_infos; CREATE TABLE paper_infos (id INTEGER PRIMARY KEY, JAN_CODE TEXT)");
  AddColumnIfMissing("paper_infos", "jan_code");
  EXPECT_EQ(Columns("paper_infos"), (std::vector<std::string>{"id", "JAN_CODE"}));
}

TEST_F(CatalogueSchemaTest, CheckJanCodeRowLogic) {
  const std::string model =
      "INSERT INTO paper_infos (id, searchSelNo, goodsBackFront, jan_code) VALUES ";
  struct Row {
    const char* name;
    std::string rows;  // inserted in id order
    bool result;
    int flag;
  };
  const Row rows[] = {
      {"no model row", "", false, 0},
      {"model row with a code", "(1, 'ZZ-KQW7PA', 'なし', '4900000000000')", false, 0},
      {"model row without a code", "(1, 'ZZ-KQW7PA', 'なし', NULL)", true, 1},
      {"NULL then a code: last row decides, flag stays",
       "(1, 'ZZ-KQW7PA', 'なし', NULL), (2, 'ZZ-KQW7PA', 'なし', 'x')", false, 1},
      {"other rows do not count", "(1, 'ZZ-OTHER', 'なし', NULL), (2, 'ZZ-KQW7PA', 'あり', NULL)", false,
       0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Exec("DELETE FROM paper_infos");
    if (!row.rows.empty()) Exec(model + row.rows);
    CatalogueSchema definitions;
    definitions.m_janCodeRefresh.store(7);
    EXPECT_EQ(definitions.CheckJanCode("paper_infos", "jan_code"), row.result);
    EXPECT_EQ(definitions.m_janCodeRefresh.load(), row.flag);
  }
}

TEST_F(CatalogueSchemaTest, CheckJanCodeWithoutTheColumnAsksForARefreshAndAltersNothing) {
  Exec("DROP TABLE paper_infos; CREATE TABLE paper_infos (id INTEGER PRIMARY KEY, Jan_Code TEXT)");
  CatalogueSchema definitions;
  EXPECT_TRUE(definitions.CheckJanCode("paper_infos", "jan_code"));
  EXPECT_EQ(definitions.m_janCodeRefresh.load(), 1);
  EXPECT_EQ(Columns("paper_infos"), (std::vector<std::string>{"id", "Jan_Code"}));
}

TEST_F(CatalogueSchemaTest, ClientConditionsReadOnlyTheNamedTable) {
  Exec("INSERT INTO pict_group_sub_level_infos (id, topLevelId, name) VALUES (1, 3, 'a');"
       "INSERT INTO logs (id, mac_address) VALUES (1, 'secret')");
  struct Row {
    const char* name;
    std::string condition;
    bool compiles;
  };
  const Row rows[] = {
      {"plain condition", "topLevelId = 3", true},
      {"union with another table", "1=1 UNION SELECT id, mac_address FROM logs", false},
      {"subquery on another table", "id IN (SELECT id FROM logs)", false},
      {"second statement", "1=1; DELETE FROM logs", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::optional<CatalogueDb> db = CatalogueDb::Open(CatalogueDb::Mode::kReadOnly);
    ASSERT_TRUE(db);
    db->RestrictToReading("pict_group_sub_level_infos");
    Statement statement =
        db->PrepareSingle("SELECT id, name FROM pict_group_sub_level_infos WHERE " + row.condition);
    EXPECT_EQ(statement.Valid(), row.compiles);
  }
  // A read-only connection cannot write even without the restriction.
  std::optional<CatalogueDb> db = CatalogueDb::Open(CatalogueDb::Mode::kReadOnly);
  Statement write = db->Prepare("DELETE FROM logs");
  EXPECT_NE(write.Step(), SQLITE_DONE);
}

TEST_F(CatalogueSchemaTest, ExecuteSqlReportsCompletionAndBindsValues) {
  EXPECT_TRUE(ExecuteSql("INSERT INTO pict_generic_history_infos (id, thumbUrl) VALUES (1, 'a')"));
  // A second row with the same thumbUrl is refused.
  EXPECT_FALSE(ExecuteSql("INSERT INTO pict_generic_history_infos (id, thumbUrl) VALUES (2, 'a')"));
  EXPECT_FALSE(ExecuteSql("INSERT INTO no_such_table VALUES (1)"));
  EXPECT_TRUE(ExecuteSql("INSERT INTO logs (id, event_contents1) VALUES (?, ?)", [](Statement& s) {
    return s.BindInt(1, 5) && s.BindText(2, "it's");
  }));
  std::optional<CatalogueDb> db = CatalogueDb::Open();
  Statement read = db->Prepare("SELECT event_contents1 FROM logs WHERE id = 5");
  ASSERT_TRUE(read.NextRow());
  EXPECT_EQ(*read.Text(0), "it's");
}

TEST_F(CatalogueSchemaTest, StatementsStayWithinTheirBudget) {
  Exec("INSERT INTO pict_group_sub_level_infos (id, topLevelId, name) VALUES (1, 3, 'a'),"
       " (2, 3, 'b'), (3, 3, 'c'), (4, 3, 'd'), (5, 3, 'e'), (6, 3, 'f'), (7, 3, 'g')");
  std::string join = "SELECT count(*) FROM pict_group_sub_level_infos t0";
  for (int i = 1; i < 10; ++i) {
    join += ", pict_group_sub_level_infos t" + std::to_string(i);
  }
  struct Row {
    const char* name;
    std::string sql;
    int result;
  };
  const Row rows[] = {
      {"value of exactly the length limit",
       "SELECT length(zeroblob(" + std::to_string(kMaxValueBytes) + "))", SQLITE_ROW},
      {"value one byte over the length limit",
       "SELECT length(zeroblob(" + std::to_string(kMaxValueBytes + 1) + "))", SQLITE_TOOBIG},
      {"huge random value", "SELECT length(hex(randomblob(500000000)))", SQLITE_TOOBIG},
      {"runaway join stopped at the time limit", join, SQLITE_INTERRUPT},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::optional<CatalogueDb> db = CatalogueDb::Open(CatalogueDb::Mode::kReadOnly);
    ASSERT_TRUE(db);
    db->Budget().SetTimeLimit(std::chrono::milliseconds(200));
    Statement statement = db->Prepare(row.sql);
    ASSERT_TRUE(statement.Valid());
    EXPECT_EQ(statement.Step(), row.result);
    EXPECT_EQ(statement.Failed(), row.result != SQLITE_ROW);
  }
}

TEST_F(CatalogueSchemaTest, OnlyAFewClientConditionsRunAtOnce) {
  const std::string sql = "SELECT id FROM pict_group_sub_level_infos WHERE 1=1";
  std::vector<CatalogueDb> open;
  for (int i = 0; i < kMaxClientConditions; ++i) {
    std::optional<CatalogueDb> db = CatalogueDb::Open(CatalogueDb::Mode::kReadOnly);
    ASSERT_TRUE(db);
    db->RestrictToReading("pict_group_sub_level_infos");
    EXPECT_EQ(db->Budget().TimeLimit(), kClientConditionTimeLimit);
    EXPECT_TRUE(db->PrepareSingle(sql).Valid()) << "up to exactly the bound";
    open.push_back(std::move(*db));
  }
  std::optional<CatalogueDb> over = CatalogueDb::Open(CatalogueDb::Mode::kReadOnly);
  over->RestrictToReading("pict_group_sub_level_infos");
  EXPECT_FALSE(over->PrepareSingle(sql).Valid()) << "one over";
  open.pop_back();  // a closed connection gives its slot back
  std::optional<CatalogueDb> again = CatalogueDb::Open(CatalogueDb::Mode::kReadOnly);
  again->RestrictToReading("pict_group_sub_level_infos");
  EXPECT_TRUE(again->PrepareSingle(sql).Valid());
}

}  // namespace
}  // namespace qb
