#include "catalog/CatalogueTable.h"

#include <gtest/gtest.h>

#include <set>

#include "catalog/CatalogueFixture.h"

namespace qb {
namespace {

TEST(CatalogueTable, LookupByName) {
  struct Row {
    const char* name;
    bool found;
    bool imported;
    bool refreshed;
  };
  const Row rows[] = {
      {"categories", true, true, true},
      {"paper_infos", true, true, true},
      {"pict_group_sub_level_infos", true, true, true},
      {"logs", true, false, false},
      {"modify_kinds", true, false, false},
      {"pict_generic_history_infos", true, false, false},
      {"no_such_table", false, false, false},
      {"", false, false, false},
      {"Categories", false, false, false},
      {"categories ", false, false, false},
      {"categories_count", false, false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const CatalogueTable* table = FindCatalogueTable(row.name);
    ASSERT_EQ(table != nullptr, row.found);
    if (table != nullptr) {
      EXPECT_EQ(table->name, row.name);
      EXPECT_EQ(table->Imported(), row.imported);
      EXPECT_EQ(table->Refreshed(), row.refreshed);
    }
  }
}

TEST(CatalogueTable, TablesInCreationOrderWithTheRefreshedOnesInRequestOrder) {
  std::vector<std::string_view> created;
  std::vector<std::string_view> refreshed;
  for (const CatalogueTable& table : CatalogueTables()) {
    created.push_back(table.name);
    if (table.Refreshed()) {
      refreshed.push_back(table.name);
      EXPECT_EQ(table.countPath, "/" + std::string(table.name) + "_count/count");
      EXPECT_TRUE(table.Imported()) << table.name;
    }
  }
  EXPECT_EQ(created, (std::vector<std::string_view>{
                         "kbn_infos", "categories", "paper_size_infos", "modify_kinds",
                         "paper_infos", "paper_group_infos", "pict_group_infos",
                         "generic_group_infos", "paper_relation2s", "logs", "template_infos",
                         "pict_group_top_level_infos", "pict_group_sub_level_infos",
                         "pict_generic_history_infos"}));
  EXPECT_EQ(refreshed, (std::vector<std::string_view>{
                           "kbn_infos", "categories", "paper_size_infos", "paper_infos",
                           "paper_group_infos", "pict_group_infos", "generic_group_infos",
                           "paper_relation2s", "template_infos", "pict_group_top_level_infos",
                           "pict_group_sub_level_infos"}));
}

class CatalogueTableSchemaTest : public qbtest::CatalogueFixture {};

// Every import field names a column its own create statement makes, once, the
// first being id; only products ask for the jan_code refresh.
TEST_F(CatalogueTableSchemaTest, ImportFieldsAreColumnsOfTheirTable) {
  std::optional<CatalogueDb> db = CatalogueDb::Open();
  ASSERT_TRUE(db);
  for (const CatalogueTable& table : CatalogueTables()) {
    SCOPED_TRACE(std::string(table.name));
    EXPECT_NE(table.createStatement.find("CREATE TABLE IF NOT EXISTS " + std::string(table.name) +
                                         " ("),
              std::string_view::npos);
    EXPECT_EQ(table.janCodeRefresh, table.name == "paper_infos");
    if (!table.Imported()) {
      continue;
    }
    std::set<std::string> columns;
    Statement info = db->Prepare("PRAGMA table_info(" + std::string(table.name) + ")");
    while (info.NextRow()) {
      columns.emplace(*info.Text(1));
    }
    EXPECT_EQ(table.fields.front().name, "id");
    std::set<std::string_view> seen;
    for (const ImportField& field : table.fields) {
      EXPECT_TRUE(columns.contains(std::string(field.name))) << field.name;
      EXPECT_TRUE(seen.insert(field.name).second) << field.name << " twice";
      EXPECT_EQ(table.FieldIndex(field.name), static_cast<int>(seen.size() - 1));
    }
    EXPECT_EQ(table.FieldIndex("no_such_field"), -1);
  }
}

}  // namespace
}  // namespace qb
