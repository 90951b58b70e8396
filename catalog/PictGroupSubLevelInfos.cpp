#include "catalog/PictGroupSubLevelInfos.h"

#include <array>

#include "catalog/CatalogueDb.h"
#include "catalog/ElementLayout.h"
#include "catalog/GroupFolderPictures.h"

namespace qb {
namespace {

constexpr std::string_view kTable = "pict_group_sub_level_infos";

constexpr std::array<ElementName, 4> kSubLevelElements{{
    {"topLevelId", "topLevelId"},
    {"subLevelId", "subLevelId"},
    {"name", "name"},
    {"folder", "folder"},
}};

}  // namespace

std::string PictGroupSubLevelInfos::GetSubLevelList(std::string_view condition) const {
  std::string answer = "<pictGroupSubLevelInfos>\n";
  // The condition is the client's own SQL: it runs read-only, as one
  // statement, allowed to read this table only.
  if (std::optional<CatalogueDb> db = CatalogueDb::Open(CatalogueDb::Mode::kReadOnly)) {
    db->RestrictToReading(std::string(kTable));
    std::string sql =
        "select  pgt.topLevelId as topLevelId, "
        "        pgt.subLevelId as subLevelId, "
        "        pgt.name  as name, "
        "        pgt.folder as folder "
        "  from pict_group_sub_level_infos pgt "
        "WHERE ";
    sql.append(condition).append(" ORDER BY topLevelId, subLevelId ");
    Statement statement = db->PrepareSingle(sql);
    const ElementLayout layout(statement, kSubLevelElements);
    std::string records;
    AppendNumberedRecords(statement, layout, "subLevelInfo", 1, &records);
    // A statement stopped part-way (its budget) answers as one that failed.
    if (!statement.Failed()) {
      answer.append(records);
    }
  }
  answer.append("</pictGroupSubLevelInfos>\n");
  return answer;
}

std::optional<std::string> PictGroupSubLevelInfos::GetPictList(
    std::span<const Condition> filters) const {
  return GetGroupFolderPictures(kTable, "topLevelId, subLevelId", filters);
}

}  // namespace qb
