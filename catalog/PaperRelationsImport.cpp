#include "catalog/PaperRelationsImport.h"

namespace qb {

PaperRelationsImport::PaperRelationsImport()
    : TableImporter(ImportTable{
          "paper_relation2s",
          {
              {"id", FieldKind::kNumber},
              {"kbn", FieldKind::kNumber},
              {"goodsPartsNo", FieldKind::kText},
              {"itemId", FieldKind::kText},
              {"create_at", FieldKind::kText},
              {"update_at", FieldKind::kText},
          },
          {},
          {{"kbn", "3"}},
      }) {}

}  // namespace qb
