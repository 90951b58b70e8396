#include "catalog/TemplateInfosImport.h"

namespace qb {

TemplateInfosImport::TemplateInfosImport()
    : TableImporter(ImportTable{
          "template_infos",
          {
              {"id", FieldKind::kNumber},
              {"templateInfoId", FieldKind::kNumber},
              {"templateName", FieldKind::kText},
              {"goodsThumbName", FieldKind::kText},
              {"templateUrl", FieldKind::kText},
              {"thumbnailUrl", FieldKind::kText},
              {"create_at", FieldKind::kText},
              {"update_at", FieldKind::kText},
          },
          {},
          {},
      }) {}

}  // namespace qb
