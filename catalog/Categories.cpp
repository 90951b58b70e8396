#include "catalog/Categories.h"

#include "catalog/CatalogueDb.h"
#include "catalog/QueryText.h"

namespace qb {

std::string Categories::GetCategoryList() {
  std::string answer = "<categoryList>\n";
  if (std::optional<CatalogueDb> db = CatalogueDb::Open()) {
    Statement rows = db->Prepare("SELECT id, categoryId, name, thumbnail FROM categories");
    while (rows.Valid() && rows.NextRow()) {
      answer.append("  <categoryInfo>\n");
      if (const auto id = rows.Text(0)) AppendElement(answer, "pno", *id);
      if (const auto category = rows.Text(1)) AppendElement(answer, "category", *category);
      if (const auto name = rows.Text(2)) AppendElement(answer, "label", *name);
      if (const auto thumbnail = rows.Text(3)) {
        AppendElement(answer, "thumbnail", *thumbnail);
        AppendElement(answer, "image", *thumbnail);
      }
      answer.append("  </categoryInfo>\n");
    }
  }
  answer.append("</categoryList>\n");
  return answer;
}

}  // namespace qb
