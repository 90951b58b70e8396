// Import of the catalogue server's paper_relation2s answers into the paper_relation2s table.
// kbn is always stored as 3 and kept on update; itemId is sent as text.
//
// Thread contract: stateless beyond its constant table description; any
// thread may import.
#pragma once

#include "catalog/TableImporter.h"

namespace qb {

class PaperRelationsImport : public TableImporter {
 public:
  PaperRelationsImport();
};

}  // namespace qb
