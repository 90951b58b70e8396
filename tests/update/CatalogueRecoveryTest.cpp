#include "update/CatalogueRecovery.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "catalog/CatalogueDamage.h"
#include "catalog/CatalogueFixture.h"

namespace qb {
namespace {

namespace fs = std::filesystem;

using qbtest::ReadAll;

class CatalogueRecoveryTest : public qbtest::CatalogueFixture {
 protected:
  std::string Path(const std::string& name) const { return DataFolder() + "/" + name; }
  // The files moved aside.
  std::vector<std::string> Damaged() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(DataFolder())) {
      if (entry.path().filename().string().starts_with("qkprint.db.damaged-")) {
        names.push_back(entry.path().filename().string());
      }
    }
    return names;
  }
  // Lets a statement meet the file as the server's operations do.
  static void Touch() {
    if (std::optional<CatalogueDb> db = CatalogueDb::Open()) {
      db->Prepare("SELECT count(*) FROM categories").Step();
    }
  }
};

TEST_F(CatalogueRecoveryTest, OnlyADamagedFileIsMovedAsideAndRebuilt) {
  enum class Spoil { kNone, kJunk, kJunkSchema, kLocked, kReadOnly };
  struct Row {
    const char* name;
    Spoil spoil;
    bool rebuilt;
  };
  const Row rows[] = {
      {"sound file", Spoil::kNone, false},
      {"not a database", Spoil::kJunk, true},
      {"corrupt schema page", Spoil::kJunkSchema, true},
      {"locked by another connection", Spoil::kLocked, false},
      {"read-only", Spoil::kReadOnly, false},
  };
  CatalogueSchema definitions;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(DataFolder());
    definitions.CreateTables();
    Exec("INSERT INTO categories (id, name) VALUES (1, 'kept')");
    qbtest::WriteFile(Path("verFile_DB.txt"), "DBVER=20\n");
    qbtest::WriteFile(Path("New_verFile_DB.txt"), "DBVER=21\n");
    const std::string db = Path("qkprint.db");
    std::string bytes = ReadAll(db);
    std::optional<CatalogueDb> holder;
    switch (row.spoil) {
      case Spoil::kJunk:
        qbtest::WriteFile(db, std::string(8192, 'J'));
        qbtest::WriteFile(db + "-journal", "stale journal");
        break;
      case Spoil::kJunkSchema:
        bytes.replace(100, 3000, std::string(3000, '\x7f'));
        qbtest::WriteFile(db, bytes);
        break;
      case Spoil::kLocked:
        holder = CatalogueDb::Open();
        ASSERT_EQ(sqlite3_exec(holder->Handle(), "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr),
                  SQLITE_OK);
        break;
      case Spoil::kReadOnly:
        ::chmod(db.c_str(), 0444);
        break;
      case Spoil::kNone:
        break;
    }
    const std::string before = ReadAll(db);
    Touch();
    // A locked or read-only file gives no cause to look: the repair is asked
    // all the same, as after a damage report from elsewhere.
    if (row.spoil == Spoil::kLocked || row.spoil == Spoil::kReadOnly) {
      NoteCatalogueResult(SQLITE_CORRUPT);
    }
    EXPECT_EQ(RecoverDamagedCatalogue(definitions), row.rebuilt);
    holder.reset();
    const std::vector<std::string> damaged = Damaged();
    if (!row.rebuilt) {
      EXPECT_TRUE(damaged.empty());
      EXPECT_EQ(ReadAll(db), before);
      EXPECT_EQ(ReadAll(Path("verFile_DB.txt")), "DBVER=20\n");
      ::chmod(db.c_str(), 0644);
      continue;
    }
    ASSERT_EQ(damaged.size(), 1u);
    EXPECT_EQ(ReadAll(Path(damaged[0])), before);
    EXPECT_FALSE(fs::exists(db + "-journal")) << "no journal is left for the new file";
    // Rebuilt empty, from version 0, nothing pending.
    std::optional<CatalogueDb> fresh = CatalogueDb::Open(CatalogueDb::Mode::kReadOnly);
    ASSERT_TRUE(fresh.has_value());
    Statement count = fresh->Prepare("SELECT count(*) FROM categories");
    ASSERT_TRUE(count.NextRow());
    EXPECT_EQ(count.Int(0), 0);
    EXPECT_EQ(ReadAll(Path("verFile_DB.txt")), "DBVER=0\n");
    EXPECT_FALSE(fs::exists(Path("New_verFile_DB.txt")));
    EXPECT_FALSE(CatalogueSuspect());
  }
}

}  // namespace
}  // namespace qb
