#include "catalog/KbnInfosImport.h"

namespace qb {

KbnInfosImport::KbnInfosImport()
    : TableImporter(ImportTable{
          "kbn_infos",
          {
              {"id", FieldKind::kNumber},
              {"kbn", FieldKind::kNumber},
              {"kbnId", FieldKind::kNumber},
              {"name", FieldKind::kText},
              {"create_at", FieldKind::kText},
              {"update_at", FieldKind::kText},
          },
          {},
          {},
      }) {}

}  // namespace qb
