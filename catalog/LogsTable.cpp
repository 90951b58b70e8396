#include "catalog/LogsTable.h"

#include "catalog/CatalogueDb.h"
#include "catalog/UsageArguments.h"
#include "util/Log.h"
#include "util/MacAddress.h"

namespace qb {

bool Logs::InsertLog(std::string_view argument) {
  const std::optional<UsageValues> values = ReadUsageValues(argument);
  if (!values) {
    LogDebug("usage log entry without its two values: " + std::string(argument));
    return false;
  }
  const std::string identity = GetMacAddress();
  return ExecuteSql(
      "INSERT INTO logs (mac_address, event_type, "
      "                  event_contents1, event_contents2, event_contents3, "
      "                  create_at, update_at)"
      " VALUES (?1,3,'','',?2,?3,?3)",
      [&](Statement& statement) {
        return statement.BindText(1, identity) && statement.BindText(2, values->first) &&
               statement.BindText(3, values->second);
      });
}

}  // namespace qb
