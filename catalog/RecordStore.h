// Stores the records of one catalogue table, as field values a RecordReader
// read, on one connection: each record is inserted, and when a row with its id
// exists that row is updated instead (every field except id, create_at and the
// fixed ones). Values reach SQLite as bound parameters, so text holding "'"
// is stored exactly; a number field whose text is not a numeric literal as
// SQL reads one (empty, words, expressions) makes the record be skipped.
//
// Thread contract: belongs to the thread of its connection and goes away
// before it; the table outlives it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "catalog/CatalogueDb.h"
#include "catalog/CatalogueTable.h"

namespace qb {

class RecordStore {
 public:
  enum class Result {
    kStored,   // inserted or updated
    kSkipped,  // a number field was not a number, or the update was refused
    kFailed,   // the insert failed for another reason than an existing id
  };

  RecordStore(CatalogueDb& db, const CatalogueTable& table);

  // False when a statement did not compile (for instance, the table is
  // missing); Store must not be called then.
  bool Valid() const { return m_insert.Valid() && m_update.Valid(); }

  // Stores one record; `values` holds one value per field, in field order,
  // and its text stays unchanged until Store returns.
  Result Store(const std::vector<std::string_view>& values);

 private:
  bool Bind(Statement& statement, int parameter, size_t field, std::string_view value);

  const CatalogueTable& m_table;
  Statement m_insert;
  Statement m_update;
  std::vector<size_t> m_updateFields;  // fields the update binds, from parameter 2 on
};

}  // namespace qb
