#include "catalog/PictGroupSubLevelInfosImport.h"

namespace qb {

PictGroupSubLevelInfosImport::PictGroupSubLevelInfosImport()
    : TableImporter(ImportTable{
          "pict_group_sub_level_infos",
          {
              {"id", FieldKind::kNumber},
              {"topLevelId", FieldKind::kNumber},
              {"subLevelId", FieldKind::kNumber},
              {"name", FieldKind::kText},
              {"folder", FieldKind::kText},
              {"create_at", FieldKind::kText},
              {"update_at", FieldKind::kText},
          },
          {},
          {},
      }) {}

}  // namespace qb
