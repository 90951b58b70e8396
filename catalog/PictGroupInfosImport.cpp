#include "catalog/PictGroupInfosImport.h"

namespace qb {

PictGroupInfosImport::PictGroupInfosImport()
    : TableImporter(ImportTable{
          "pict_group_infos",
          {
              {"id", FieldKind::kNumber},
              {"pictGroupId", FieldKind::kNumber},
              {"pictCategoryId", FieldKind::kNumber},
              {"paperGroupId", FieldKind::kNumber},
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
