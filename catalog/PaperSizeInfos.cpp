#include "catalog/PaperSizeInfos.h"

#include "catalog/ReadSession.h"
#include "catalog/ElementLayout.h"

namespace qb {

std::string PaperSizeInfos::GetPaperSizeList() {
  std::string answer = "<paperSize>\n";
  if (std::optional<ReadSession> session = ReadSession::Begin(ReadSession::Missing::kCreate)) {
    Statement& rows = session->Prepare(
        "SELECT id, paperSizeId, name, sizeH, sizeW FROM paper_size_infos WHERE paperSizeId  <> 13");
    while (rows.Valid() && rows.NextRow()) {
      answer.append("  <sizeInfo>\n");
      if (const auto id = rows.Text(1)) AppendElementLine(&answer, "id", *id);
      if (const auto name = rows.Text(2)) AppendElementLine(&answer, "name", *name);
      if (const auto height = rows.Text(3)) AppendElementLine(&answer, "sizeH", *height);
      if (const auto width = rows.Text(4)) AppendElementLine(&answer, "sizeW", *width);
      answer.append("  </sizeInfo>\n");
    }
  }
  answer.append("</paperSize>\n");
  return answer;
}

}  // namespace qb
