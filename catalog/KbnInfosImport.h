// Import of the catalogue server's kbn_infos answers into the kbn_infos table.
// Every field is imported; create_at keeps the value of the first insert.
//
// Thread contract: stateless beyond its constant table description; any
// thread may import.
#pragma once

#include "catalog/TableImporter.h"

namespace qb {

class KbnInfosImport : public TableImporter {
 public:
  KbnInfosImport();
};

}  // namespace qb
