#include "catalog/PictGroupGenericHistoryInfos.h"

#include "catalog/CatalogueDb.h"
#include "catalog/ScanPictFolder.h"

namespace qb {

bool PictGroupGenericHistoryInfos::InsertHistory(std::string_view thumbUrl,
                                                  std::string_view imageUrl) {
  return ExecuteSql(
      "INSERT INTO pict_generic_history_infos (  id, topLevelId, thumbUrl,   imageUrl)"
      " VALUES (0,0,?1,?2)",
      [&](Statement& statement) {
        return statement.BindText(1, thumbUrl) && statement.BindText(2, imageUrl);
      });
}

std::string PictGroupGenericHistoryInfos::GetHistoryPictList(std::string_view condition) const {
  std::string answer(kPictListOpen);
  // The condition is the client's own SQL: it runs read-only, as one
  // statement, allowed to read this table only.
  if (std::optional<CatalogueDb> db = CatalogueDb::Open(CatalogueDb::Mode::kReadOnly)) {
    db->RestrictToReading("pict_generic_history_infos");
    std::string sql = "SELECT thumbUrl, imageUrl FROM pict_generic_history_infos  WHERE ";
    sql.append(condition);
    Statement statement = db->PrepareSingle(sql);
    std::string records;
    while (statement.NextRow()) {
      AppendPictRecord(&records, "99", statement.Text(0), statement.Text(1));
    }
    // A statement stopped part-way (its budget) answers as one that failed.
    if (!statement.Failed()) {
      answer.append(records);
    }
  }
  answer.append(kPictListClose);
  return answer;
}

}  // namespace qb
