#include "catalog/Categories.h"

#include "catalog/ReadSession.h"
#include "catalog/ElementLayout.h"

namespace qb {

std::string Categories::GetCategoryList() {
  std::string answer = "<categoryList>\n";
  if (std::optional<ReadSession> session = ReadSession::Begin(ReadSession::Missing::kCreate)) {
    Statement& rows = session->Prepare("SELECT id, categoryId, name, thumbnail FROM categories");
    while (rows.Valid() && rows.NextRow()) {
      answer.append("  <categoryInfo>\n");
      if (const auto id = rows.Text(0)) AppendElementLine(&answer, "pno", *id);
      if (const auto category = rows.Text(1)) AppendElementLine(&answer, "category", *category);
      if (const auto name = rows.Text(2)) AppendElementLine(&answer, "label", *name);
      if (const auto thumbnail = rows.Text(3)) {
        AppendElementLine(&answer, "thumbnail", *thumbnail);
        AppendElementLine(&answer, "image", *thumbnail);
      }
      answer.append("  </categoryInfo>\n");
    }
  }
  answer.append("</categoryList>\n");
  return answer;
}

}  // namespace qb
