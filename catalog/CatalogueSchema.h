// The catalogue's schema operations: creating the tables of the catalogue's
// table list (CatalogueTable.h, which also names the tables an update
// refreshes), adding a missing column, and the jan_code check with its flag
// that asks the next update run to fetch every product's jan_code again.
//
// Thread contract: one instance lives in the application context. The flag is
// written by CheckJanCode on connection threads and read by the update run on
// its own; it is atomic.
#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace qb {

class CatalogueSchema {
 public:
  // Creates the data folder when it is missing and runs every CREATE TABLE IF
  // NOT EXISTS statement (they change nothing where the tables exist), then
  // the lookup indexes.
  void CreateTables();
  // True when `table` lacks `column` or a model row of paper_infos has a NULL
  // jan_code (the last such row decides); sets m_janCodeRefresh accordingly.
  bool CheckJanCode(const std::string& table, const std::string& column);

  std::atomic<int> m_janCodeRefresh{0};
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
