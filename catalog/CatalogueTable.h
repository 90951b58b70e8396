// The catalogue's tables, in one list: for each, its name, the statement that
// creates it and, for the tables the update protocol refreshes from the
// catalogue server, the path of the change count in a chkUpdate answer and
// the fields a getUpdate record is read into. Everything that asks which
// tables exist (table creation, the update run's requests, the import of an
// answer by its root element) reads this list.
//
// Thread contract: the list is built once, on first use, and never changes;
// any thread may read it.
#pragma once

#include <string_view>
#include <vector>

namespace qb {

enum class FieldKind { kNumber, kText };

// One field of a server record, read from the record's child element of the
// same name and written to the column of the same name.
struct ImportField {
  std::string_view name;
  FieldKind kind;
  // When not empty, the number the column gets on insert whatever the record
  // holds; the update leaves the column alone.
  std::string_view fixed = {};
};

struct CatalogueTable {
  std::string_view name;
  std::string_view createStatement;
  // The XPath of the count in the table's chkUpdate answer; empty for the
  // tables the update protocol does not refresh.
  std::string_view countPath;
  // The fields a server record is read into, in insert order, the first
  // being "id"; empty for the tables never filled from the server.
  std::vector<ImportField> fields;
  // Asks for changes since the jan_code refresh date when a refresh is due.
  bool janCodeRefresh = false;

  bool Refreshed() const { return !countPath.empty(); }
  bool Imported() const { return !fields.empty(); }
  // Index of `field` in `fields`, or -1.
  int FieldIndex(std::string_view field) const;
};

// The fourteen tables in creation order. The refreshed ones, in this order,
// are the update run's table list.
const std::vector<CatalogueTable>& CatalogueTables();

// The tables the update protocol refreshes (those with a count path), in
// the update run's order.
const std::vector<const CatalogueTable*>& RefreshedCatalogueTables();

// The table named exactly `name`; nullptr when the catalogue has none.
const CatalogueTable* FindCatalogueTable(std::string_view name);

}  // namespace qb
