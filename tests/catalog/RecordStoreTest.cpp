#include "catalog/RecordStore.h"

#include <gtest/gtest.h>

#include "catalog/CatalogueFixture.h"

namespace qb {
namespace {

constexpr FieldKind N = FieldKind::kNumber;
constexpr FieldKind T = FieldKind::kText;

const CatalogueTable kTable{
    "t", "", "", {{"id", N}, {"size", N}, {"name", T}, {"kind", N, "3"}, {"create_at", T}}};

class RecordStoreTest : public qbtest::CatalogueFixture {
 protected:
  void SetUp() override {
    CatalogueFixture::SetUp();
    Exec("CREATE TABLE t (id INTEGER PRIMARY KEY, size REAL, name TEXT, kind INTEGER, "
         "create_at TEXT)");
  }

  // Every row of t as "id|typeof(size):size|name or NULL|kind|create_at".
  std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    std::optional<CatalogueDb> db = CatalogueDb::Open();
    Statement statement = db->Prepare(
        "SELECT id, typeof(size) || ':' || size, ifnull(name, 'NULL'), kind, create_at "
        "FROM t ORDER BY id");
    while (statement.NextRow()) {
      std::string row;
      for (int i = 0; i < statement.ColumnCount(); ++i) {
        row += (i ? "|" : "") + std::string(statement.Text(i).value_or("NULL"));
      }
      rows.push_back(row);
    }
    return rows;
  }
};

TEST_F(RecordStoreTest, InsertsUpdatesAndSkips) {
  using R = RecordStore::Result;
  struct Row {
    const char* name;
    std::vector<std::string_view> values;
    R result;
  };
  const Row rows[] = {
      {"insert; the fixed number whatever the record says", {"1", "2", "a", "9", "c1"}, R::kStored},
      {"a real number", {"2", "2.5", "O'Neil", "", "c2"}, R::kStored},
      {"an empty text is stored empty, not NULL", {"3", "1e2", "", "", ""}, R::kStored},
      {"an existing id updates all but create_at and the fixed", {"1", "7", "b", "8", "cX"},
       R::kStored},
      {"a number that is no number skips the record", {"4", "two", "x", "", "c4"}, R::kSkipped},
      {"an id that is no number", {"1 OR 1", "1", "x", "", ""}, R::kSkipped},
      {"an empty id", {"", "1", "x", "", ""}, R::kSkipped},
  };
  std::optional<CatalogueDb> db = CatalogueDb::Open();
  RecordStore store(*db, kTable);
  ASSERT_TRUE(store.Valid());
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(store.Store(row.values), row.result);
  }
  EXPECT_EQ(Rows(), (std::vector<std::string>{"1|real:7.0|b|3|c1", "2|real:2.5|O'Neil|3|c2",
                                              "3|real:100.0||3|"}));
}

TEST_F(RecordStoreTest, AMissingTableOrAReadOnlyConnection) {
  CatalogueTable missing = kTable;
  missing.name = "no_such_table";
  std::optional<CatalogueDb> db = CatalogueDb::Open();
  EXPECT_FALSE(RecordStore(*db, missing).Valid());

  std::optional<CatalogueDb> readOnly = CatalogueDb::Open(CatalogueDb::Mode::kReadOnly);
  ASSERT_TRUE(readOnly);
  RecordStore store(*readOnly, kTable);
  ASSERT_TRUE(store.Valid());
  EXPECT_EQ(store.Store({"1", "1", "a", "", ""}), RecordStore::Result::kFailed);
  EXPECT_TRUE(Rows().empty());
}

}  // namespace
}  // namespace qb
