#include "catalog/PaperGroupInfosImport.h"

namespace qb {

PaperGroupInfosImport::PaperGroupInfosImport()
    : TableImporter(ImportTable{
          "paper_group_infos",
          {
              {"id", FieldKind::kNumber},
              {"paperGroupId", FieldKind::kNumber},
              {"name", FieldKind::kText},
              {"create_at", FieldKind::kText},
              {"update_at", FieldKind::kText},
          },
          {},
          {},
      }) {}

}  // namespace qb
