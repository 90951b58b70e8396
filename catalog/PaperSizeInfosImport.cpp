#include "catalog/PaperSizeInfosImport.h"

namespace qb {

PaperSizeInfosImport::PaperSizeInfosImport()
    : TableImporter(ImportTable{
          "paper_size_infos",
          {
              {"id", FieldKind::kNumber},
              {"paperSizeId", FieldKind::kNumber},
              {"name", FieldKind::kText},
              {"etcId", FieldKind::kNumber},
              {"sizeH", FieldKind::kNumber},
              {"sizeW", FieldKind::kNumber},
              {"create_at", FieldKind::kText},
              {"update_at", FieldKind::kText},
          },
          {},
          {},
      }) {}

}  // namespace qb
