// Import of the catalogue server's paper_size_infos answers into the paper_size_infos table.
// sizeH and sizeW are numbers.
//
// Thread contract: stateless beyond its constant table description; any
// thread may import.
#pragma once

#include "catalog/TableImporter.h"

namespace qb {

class PaperSizeInfosImport : public TableImporter {
 public:
  PaperSizeInfosImport();
};

}  // namespace qb
