// Import of the catalogue server's pict_group_top_level_infos answers into the pict_group_top_level_infos table.
// Every field is imported; create_at keeps the value of the first insert.
//
// Thread contract: stateless beyond its constant table description; any
// thread may import.
#pragma once

#include "catalog/TableImporter.h"

namespace qb {

class PictGroupTopLevelInfosImport : public TableImporter {
 public:
  PictGroupTopLevelInfosImport();
};

}  // namespace qb
