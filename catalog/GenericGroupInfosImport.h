// Import of the catalogue server's generic_group_infos answers into the generic_group_infos table.
// level, subLevel and hasSubLevel are stored as text.
//
// Thread contract: stateless beyond its constant table description; any
// thread may import.
#pragma once

#include "catalog/TableImporter.h"

namespace qb {

class GenericGroupInfosImport : public TableImporter {
 public:
  GenericGroupInfosImport();
};

}  // namespace qb
