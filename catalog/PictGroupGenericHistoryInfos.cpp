#include "catalog/PictGroupGenericHistoryInfos.h"

#include "catalog/CatalogueDb.h"
#include "catalog/UsageArguments.h"
#include "util/Log.h"

namespace qb {

bool PictGroupGenericHistoryInfos::InsertHistory(std::string_view argument) {
  const std::optional<UsageValues> values = ReadUsageValues(argument);
  if (!values) {
    LogDebug("picture history entry without its two values: " + std::string(argument));
    return false;
  }
  return ExecuteSql(
      "INSERT INTO pict_generic_history_infos (  id, topLevelId, thumbUrl,   imageUrl)"
      " VALUES (0,0,?1,?2)",
      [&](Statement& statement) {
        return statement.BindText(1, values->first) && statement.BindText(2, values->second);
      });
}

}  // namespace qb
