#include "catalog/PictGroupTopLevelInfos.h"

#include <array>

#include "catalog/ReadSession.h"
#include "catalog/ElementLayout.h"
#include "catalog/GroupFolderPictures.h"

namespace qb {
namespace {

constexpr std::array<ElementName, 7> kTopLevelElements{{
    {"topLevelId", "topLevelId"},
    {"name", "name"},
    {"folder", "folder"},
    {"thumbnailUrl", "thumbnail"},
    {"thumbnailHitUrl", "thumbnailH"},
    {"thumbnailUpUrl", "thumbnailP"},
    {"thumbnailClickUrl", "thumbnailS"},
}};

}  // namespace

std::string_view PictGroupTopLevelInfos::SelectColumns() {
  return "select DISTINCT pgt.topLevelId as topLevelId, "
         "        pgt.paperGroupId as paperGroupId, "
         "        pgt.name  as name, "
         "        pgt.folder as folder, "
         "        pgt.thumbnailUrl as thumbnailUrl, "
         "        pgt.thumbnailHitUrl as thumbnailHitUrl, "
         "        pgt.thumbnailUpUrl as thumbnailUpUrl, "
         "        pgt.thumbnailDisUrl as thumbnailDisUrl, "
         "        pgt.thumbnailClickUrl as thumbnailClickUrl "
         "  from pict_group_top_level_infos pgt "
         " inner join paper_relation2s pr "
         "    on pgt.paperGroupId = pr.itemId "
         "   and pr.kbn = 3 "
         " where pr.goodsPartsNo in (select goodsPartsNo "
         "                             from paper_infos "
         "                            where searchSelNo = ?1";
}

std::string PictGroupTopLevelInfos::GetTopLevelList(std::string_view product) const {
  std::string answer = "<pictGroupTopLevelInfos>\n";
  if (std::optional<ReadSession> session = ReadSession::Begin()) {
    std::string sql(SelectColumns());
    sql.append(") or pr.goodsPartsNo = ?1 ORDER BY topLevelId ");
    Statement& statement = session->Prepare(sql);
    const ElementLayout layout(statement, kTopLevelElements);
    if (statement.Valid() && statement.BindText(1, product)) {
      AppendNumberedRecords(statement, layout, "topLevelInfo", 1, &answer);
    }
  }
  answer.append("</pictGroupTopLevelInfos>\n");
  return answer;
}

std::optional<std::string> PictGroupTopLevelInfos::GetPictList(
    std::span<const Condition> filters) const {
  return GetGroupFolderPictures("pict_group_top_level_infos", "topLevelId", filters);
}

}  // namespace qb
