#include <gtest/gtest.h>

#include <stdexcept>

#include "catalog/CatalogueDb.h"
#include "catalog/CatalogueFixture.h"

namespace qb {
namespace {

class CatalogueTransactionTest : public qbtest::CatalogueFixture {
 protected:
  int64_t Count() {
    std::optional<CatalogueDb> db = CatalogueDb::Open();
    Statement count = db->Prepare("SELECT count(*) FROM categories");
    return count.NextRow() ? count.Int(0) : -1;
  }
};

// Inserts a row inside a transaction on `db`, then leaves the way `how` says;
// the Commit result when it was called.
enum class Leave { kCommit, kReturn, kThrow };

std::optional<bool> InsertAndLeave(CatalogueDb& db, Leave how) {
  std::optional<CatalogueDb::Transaction> transaction = db.BeginWrite();
  if (!transaction) {
    ADD_FAILURE() << "no transaction";
    return std::nullopt;
  }
  {
    Statement insert = db.Prepare("INSERT INTO categories (id, name) VALUES (1, 'a')");
    EXPECT_EQ(insert.Step(), SQLITE_DONE);
  }
  switch (how) {
    case Leave::kCommit:
      return transaction->Commit();
    case Leave::kReturn:
      return std::nullopt;
    case Leave::kThrow:
      throw std::runtime_error("left by an exception");
  }
  return std::nullopt;
}

TEST_F(CatalogueTransactionTest, RollsBackUnlessCommitted) {
  struct Row {
    const char* name;
    Leave how;
    int64_t rows;
  };
  const Row rows[] = {
      {"committed", Leave::kCommit, 1},
      {"early return", Leave::kReturn, 0},
      {"exception", Leave::kThrow, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Exec("DELETE FROM categories");
    std::optional<CatalogueDb> db = CatalogueDb::Open();
    ASSERT_TRUE(db);
    std::optional<bool> committed;
    try {
      committed = InsertAndLeave(*db, row.how);
    } catch (const std::runtime_error&) {
      EXPECT_EQ(row.how, Leave::kThrow);
    }
    EXPECT_EQ(committed, row.how == Leave::kCommit ? std::optional<bool>(true) : std::nullopt);
    // The same connection is out of its transaction: another one can start.
    EXPECT_TRUE(sqlite3_get_autocommit(db->Handle()));
    EXPECT_EQ(Count(), row.rows);
  }
}

TEST_F(CatalogueTransactionTest, AFailedCommitReportsItAndStoresNothing) {
  Exec("INSERT INTO categories (id, name) VALUES (7, 'kept')");
  std::optional<CatalogueDb> reader = CatalogueDb::Open();
  std::optional<CatalogueDb> writer = CatalogueDb::Open();
  ASSERT_TRUE(reader && writer);
  sqlite3_busy_timeout(writer->Handle(), 0);
  std::optional<CatalogueDb::Transaction> transaction = writer->BeginWrite();
  ASSERT_TRUE(transaction);
  {
    Statement insert = writer->Prepare("INSERT INTO categories (id, name) VALUES (1, 'a')");
    ASSERT_EQ(insert.Step(), SQLITE_DONE);
  }
  {
    // A reader in the middle of its rows keeps the writer from committing.
    Statement reading = reader->Prepare("SELECT id FROM categories");
    ASSERT_TRUE(reading.NextRow());
    EXPECT_FALSE(transaction->Commit());
    EXPECT_TRUE(sqlite3_get_autocommit(writer->Handle()));
    EXPECT_FALSE(transaction->Commit());
  }
  transaction.reset();
  EXPECT_EQ(Count(), 1);
}

TEST_F(CatalogueTransactionTest, NoTransactionWhileAnotherWriterHoldsTheLock) {
  std::optional<CatalogueDb> holder = CatalogueDb::Open();
  std::optional<CatalogueDb> other = CatalogueDb::Open();
  ASSERT_TRUE(holder && other);
  std::optional<CatalogueDb::Transaction> held = holder->BeginWrite();
  ASSERT_TRUE(held);
  sqlite3_busy_timeout(other->Handle(), 0);
  EXPECT_FALSE(other->BeginWrite().has_value());
  EXPECT_TRUE(held->Commit());
  EXPECT_TRUE(other->BeginWrite().has_value());
}

}  // namespace
}  // namespace qb
