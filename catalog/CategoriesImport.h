// Import of the catalogue server's categories answers into the categories table.
// Every field is imported; create_at keeps the value of the first insert.
//
// Thread contract: stateless beyond its constant table description; any
// thread may import.
#pragma once

#include "catalog/TableImporter.h"

namespace qb {

class CategoriesImport : public TableImporter {
 public:
  CategoriesImport();
};

}  // namespace qb
