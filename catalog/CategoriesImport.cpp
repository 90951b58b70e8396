#include "catalog/CategoriesImport.h"

namespace qb {

CategoriesImport::CategoriesImport()
    : TableImporter(ImportTable{
          "categories",
          {
              {"id", FieldKind::kNumber},
              {"categoryId", FieldKind::kNumber},
              {"name", FieldKind::kText},
              {"thumbnail", FieldKind::kText},
              {"create_at", FieldKind::kText},
              {"update_at", FieldKind::kText},
          },
          {},
          {},
      }) {}

}  // namespace qb
