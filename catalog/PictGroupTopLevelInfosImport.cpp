#include "catalog/PictGroupTopLevelInfosImport.h"

namespace qb {

PictGroupTopLevelInfosImport::PictGroupTopLevelInfosImport()
    : TableImporter(ImportTable{
          "pict_group_top_level_infos",
          {
              {"id", FieldKind::kNumber},
              {"topLevelId", FieldKind::kNumber},
              {"paperGroupId", FieldKind::kNumber},
              {"name", FieldKind::kText},
              {"folder", FieldKind::kText},
              {"thumbnailUrl", FieldKind::kText},
              {"thumbnailHitUrl", FieldKind::kText},
              {"thumbnailUpUrl", FieldKind::kText},
              {"thumbnailDisUrl", FieldKind::kText},
              {"thumbnailClickUrl", FieldKind::kText},
              {"create_at", FieldKind::kText},
              {"update_at", FieldKind::kText},
          },
          {},
          {},
      }) {}

}  // namespace qb
