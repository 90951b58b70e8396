// A catalogue in a temporary data folder for one test: $XDG_DATA_HOME points
// into a temporary folder, the fourteen tables are created, and Exec runs
// setup statements on it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "TempDir.h"
#include "catalog/CatalogueDb.h"
#include "catalog/CatalogueSchema.h"
#include "util/UserFolders.h"

namespace qbtest {

class CatalogueFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    qb::CatalogueSchema definitions;
    definitions.CreateTables();
  }

  // Runs setup SQL (several statements allowed); fails the test on error.
  void Exec(const std::string& sql) {
    std::optional<qb::CatalogueDb> db = qb::CatalogueDb::Open();
    ASSERT_TRUE(db.has_value());
    char* error = nullptr;
    const int rc = sqlite3_exec(db->Handle(), sql.c_str(), nullptr, nullptr, &error);
    const std::string message = error ? error : "";
    sqlite3_free(error);
    ASSERT_EQ(rc, SQLITE_OK) << message << "\n" << sql;
  }

  std::string DataFolder() const { return qb::GetDataFolder(); }

  TempDir m_home;
  ScopedEnv m_dataHome{"XDG_DATA_HOME", m_home.Path() + "/share"};
};

}  // namespace qbtest
