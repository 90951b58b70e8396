// The catalogue's definitions: the tables the update protocol refreshes with
// the paths of their change counts, the statements that create all fourteen
// tables (the three lists come from the catalogue's table list), and the flag
// that asks the next update run to fetch every product's jan_code again. Also
// the schema operations: creating the tables, adding a missing column, and
// the jan_code check.
//
// Thread contract: one instance lives in the application context. The lists
// are refilled by LoadDefinitions and the flag is written by CheckJanCode on
// connection threads; the update run reads both on its own thread. The lists
// are guarded by m_mutex; the flag is atomic.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "util/Mutex.h"

namespace qb {

class InitDataBase {
 public:
  InitDataBase() = default;
  virtual ~InitDataBase() = default;

  // Fills the table names, count paths and create statements.
  void LoadDefinitions();
  // Creates the data folder when it is missing and runs every CREATE TABLE IF
  // NOT EXISTS statement (they change nothing where the tables exist), then
  // the lookup indexes.
  void CreateTables();
  // True when `table` lacks `column` or a model row of paper_infos has a NULL
  // jan_code (the last such row decides); sets m_janCodeRefresh accordingly.
  bool CheckJanCode(const std::string& table, const std::string& column);

  std::vector<std::string> TableNames() const;
  std::vector<std::string> CountPaths() const;
  std::vector<std::string> CreateStatements() const;

  std::atomic<int> m_janCodeRefresh{0};

 private:
  mutable Mutex m_mutex;
  std::vector<std::string> m_tableNames GUARDED_BY(m_mutex);
  std::vector<std::string> m_countPaths GUARDED_BY(m_mutex);
  std::vector<std::string> m_createStatements GUARDED_BY(m_mutex);
};

// The fourteen CREATE TABLE statements of the catalogue's table list, in
// creation order.
const std::vector<std::string>& CatalogueCreateStatements();

// The indexes the queries look rows up by (product by selection, part and
// product number; relations by part number). They change no answer: every
// query whose order depends on the plan reads these columns by equality.
const std::vector<std::string>& CatalogueIndexStatements();

// Adds `column` as TEXT to `table` unless a column of exactly that name exists.
// Both names come from the program, never from a request.
void AddColumnIfMissing(const std::string& table, const std::string& column);

}  // namespace qb
