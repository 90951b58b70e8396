#include "catalog/GroupFolderPictures.h"

#include "catalog/ReadSession.h"
#include "catalog/ScanPictFolder.h"
#include "util/UserFolders.h"

namespace qb {

std::optional<std::string> GetGroupFolderPictures(std::string_view table,
                                                  std::string_view orderBy,
                                                  std::span<const Condition> filters) {
  for (const Condition& filter : filters) {
    if (!filter.value) {
      return std::nullopt;
    }
  }
  std::string answer(kPictListOpen);
  std::string sql = "SELECT folder FROM ";
  sql.append(table).append(" WHERE ");
  for (size_t i = 0; i < filters.size(); ++i) {
    if (!IsColumnKey(filters[i].name)) {
      answer.append(kPictListClose);
      return answer;
    }
    if (i > 0) {
      sql.append(" AND ");
    }
    sql.append(filters[i].name).append(" = ?");
  }
  sql.append(" ORDER BY ").append(orderBy);

  if (std::optional<ReadSession> session = ReadSession::Begin()) {
    Statement& statement = session->Prepare(sql);
    bool bound = statement.Valid();
    for (size_t i = 0; bound && i < filters.size(); ++i) {
      bound = statement.BindText(static_cast<int>(i + 1), *filters[i].value);
    }
    const std::string dataFolder = GetDataFolder();
    while (bound && statement.NextRow()) {
      if (const std::optional<std::string_view> folder = statement.Text(0)) {
        ScanMaterialFolder(dataFolder, "sozai4_S", *folder, &answer);
      }
    }
  }
  answer.append(kPictListClose);
  return answer;
}

}  // namespace qb
