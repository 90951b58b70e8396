#include "catalog/GenericGroupInfosImport.h"

namespace qb {

GenericGroupInfosImport::GenericGroupInfosImport()
    : TableImporter(ImportTable{
          "generic_group_infos",
          {
              {"id", FieldKind::kNumber},
              {"groupInfoId", FieldKind::kNumber},
              {"kbn", FieldKind::kNumber},
              {"level", FieldKind::kText},
              {"subLevel", FieldKind::kText},
              {"hasSubLevel", FieldKind::kText},
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
